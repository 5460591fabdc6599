// The settings program's small modal dialogs (the alias options, the browse list): a fixed
// dialog that stays on top, centred on the main window when shown, whose OK and Cancel
// buttons end its modal run with mrOk and mrCancel. Esc clicks Cancel (so Qt's own reject()
// never closes the form behind the handlers' back) and Enter the default button. The form's
// FormShow runs inside the exception guard each time the form is shown.
//
// GUI thread only; the forms are created once at start-up and live until the program ends.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <string_view>

namespace vrel {

class TDialogForm : public QDialog {
  public:
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    virtual void FormShow() = 0;

  protected:
    // The form's name, caption and client size; OK and Cancel made at the given places.
    TDialogForm(const char* name, std::string_view caption, QSize clientSize, QPoint okAt,
                QPoint cancelAt);

    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace vrel
