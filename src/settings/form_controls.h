// Small builders for the settings program's forms: each control is made with its form name
// (objectName), the component library's pixel geometry, its caption, hint and help context,
// so the forms read as the component list they are. Also the clickable picture or link
// label (TImage and a link TLabel with OnClick).
//
// Texts are the suite's 8-bit (Windows-1252) text; GUI thread only.
#pragma once

#include <QLabel>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/vcl.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vcl {
class TRadioGroup;
}

namespace vrel {

// 8-bit suite text as Qt text, and back.
QString Ansi(std::string_view text);
std::string AnsiText(const QString& text);

// An edit's text as 8-bit suite text, and the other way.
std::string EditText(const QLineEdit& edit);
void SetEditText(QLineEdit& edit, std::string_view text);

// A control's hint, shown as its tool tip.
void SetHint(QWidget& widget, std::string_view hint);

// Enables or disables each of the controls.
void SetEnabled(std::initializer_list<QWidget*> controls, bool enabled);

// A picture or link that runs OnClick when clicked with the left button.
class TClickImage : public QLabel {
  public:
    explicit TClickImage(QWidget* parent);
    std::function<void()> OnClick;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

QPushButton* MakeButton(QWidget* parent, const char* name, std::string_view caption, QPoint topLeft,
                        int width = 75);
// Labels size themselves to their text, as an auto-sized label does.
QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view caption, QPoint topLeft);
// A statistics line, wide enough for the counter and average its handler writes into it.
QLabel* MakeStatsLabel(QWidget* parent, const char* name, std::string_view caption, int top);
QLineEdit* MakeEdit(QWidget* parent, const char* name, std::string_view text, QRect geometry);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, std::string_view caption,
                        QRect geometry);
QGroupBox* MakeGroupBox(QWidget* parent, const char* name, std::string_view caption, QRect geometry,
                        int helpContext);
// A radio group with its items, the given one chosen.
vcl::TRadioGroup* MakeRadioGroup(QWidget* parent, const char* name, std::string_view caption,
                                 QRect geometry, const QStringList& items, int itemIndex = 0);

// Binds a control's signal to a handler of its form, run inside the exception guard.
template <typename Sender, typename Signal, typename Form>
void Bind(Sender* sender, Signal signal, Form* form, void (Form::*handler)()) {
    QObject::connect(sender, signal, form,
                     [form, handler] { vcl::Guarded([form, handler] { (form->*handler)(); }); });
}

}  // namespace vrel
