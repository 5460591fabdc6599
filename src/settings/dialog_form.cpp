#include "settings/dialog_form.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "platform/vcl.h"
#include "settings/form_controls.h"
#include "settings/pop_dlg.h"

namespace vrel {

TDialogForm::TDialogForm(const char* name, std::string_view caption, QSize clientSize, QPoint okAt,
                         QPoint cancelAt)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint) {
    setObjectName(name);
    setWindowTitle(Ansi(caption));
    setFixedSize(clientSize);
    OKBtn = MakeButton(this, "OKBtn", "OK", okAt);
    OKBtn->setDefault(true);
    CancelBtn = MakeButton(this, "CancelBtn", "Cancel", cancelAt);
    connect(OKBtn, &QPushButton::clicked, this, [this] { vcl::EndModal(*this, vcl::mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this,
            [this] { vcl::EndModal(*this, vcl::mrCancel); });
}

void TDialogForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelBtn->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TDialogForm::showEvent(QShowEvent* event) {
    const QWidget* owner = PopDlg;
    if (owner && owner->isVisible()) {
        move(owner->frameGeometry().center() - rect().center());
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
    vcl::Guarded([this] { FormShow(); });
}

}  // namespace vrel
