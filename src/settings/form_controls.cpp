// Builders of form controls; see form_controls.h.
#include "settings/form_controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "platform/codepage.h"
#include "platform/vcl.h"

namespace vrel {
namespace {

constexpr int kButtonHeight = 25;
constexpr int kEditHeight = 21;
constexpr int kStatsLineWidth = 420;

template <class Control>
Control* Named(Control* control, const char* name) {
    control->setObjectName(name);
    return control;
}

}  // namespace

QString Ansi(std::string_view text) {
    return QString::fromStdString(win::AnsiToUtf8(text));
}

std::string AnsiText(const QString& text) {
    return win::Utf8ToAnsi(text.toStdString());
}

std::string EditText(const QLineEdit& edit) {
    return AnsiText(edit.text());
}

void SetEditText(QLineEdit& edit, std::string_view text) {
    edit.setText(Ansi(text));
}

void SetHint(QWidget& widget, std::string_view hint) {
    widget.setToolTip(Ansi(hint));
}

void SetEnabled(std::initializer_list<QWidget*> controls, bool enabled) {
    for (QWidget* control : controls) control->setEnabled(enabled);
}

TClickImage::TClickImage(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TClickImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick) {
        vcl::Guarded(OnClick);
    }
    QLabel::mouseReleaseEvent(event);
}

QPushButton* MakeButton(QWidget* parent, const char* name, std::string_view caption, QPoint topLeft,
                        int width) {
    auto* button = Named(new QPushButton(Ansi(caption), parent), name);
    button->setGeometry(QRect(topLeft, QSize(width, kButtonHeight)));
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view caption, QPoint topLeft) {
    auto* label = Named(new QLabel(Ansi(caption), parent), name);
    label->move(topLeft);
    label->adjustSize();
    return label;
}

QLabel* MakeStatsLabel(QWidget* parent, const char* name, std::string_view caption, int top) {
    QLabel* label = MakeLabel(parent, name, caption, {12, top});
    label->resize(kStatsLineWidth, label->height());
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, std::string_view text, QRect geometry) {
    auto* edit = Named(new QLineEdit(Ansi(text), parent), name);
    edit->setGeometry(QRect(geometry.topLeft(), QSize(geometry.width(), kEditHeight)));
    return edit;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, std::string_view caption,
                        QRect geometry) {
    auto* box = Named(new QCheckBox(Ansi(caption), parent), name);
    box->setGeometry(geometry);
    return box;
}

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, std::string_view caption, QRect geometry,
                        int helpContext) {
    auto* group = Named(new QGroupBox(Ansi(caption), parent), name);
    group->setGeometry(geometry);
    vcl::SetHelpContext(*group, helpContext);
    return group;
}

vcl::TRadioGroup* MakeRadioGroup(QWidget* parent, const char* name, std::string_view caption,
                                 QRect geometry, const QStringList& items, int itemIndex) {
    auto* group = Named(new vcl::TRadioGroup(parent), name);
    group->setTitle(Ansi(caption));
    group->setGeometry(geometry);
    group->SetItems(items);
    group->SetItemIndex(itemIndex);
    return group;
}

}  // namespace vrel
