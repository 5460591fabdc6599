// TStartForm: the message agent's main window when it is started by hand, saying that the
// agent is installed; closing it ends the program, after the COM server's question when
// clients still hold objects.
//
// Created by the program's start-up on the GUI thread; it shows fixed texts only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "agent/start_form_module.h"

namespace vrel {

class TStartForm : public QDialog {
  public:
    explicit TStartForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QPushButton* OKButton;

    void OKButtonClick();

  protected:
    // Every way of closing the dialog (the button, the close box, Escape) ends here.
    void reject() override;
};

}  // namespace vrel
