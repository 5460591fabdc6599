// TStartForm; see start_form.h.
#include "agent/start_form.h"

#include <QGuiApplication>
#include <QScreen>

#include "agent/agent_server.h"

namespace vrel {
namespace {

QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TStartForm::TStartForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Label1(new QLabel(Text(kStartFormText), this)),
      OKButton(new QPushButton("OK", this)) {
    setObjectName("StartForm");
    setWindowTitle(Text(kStartFormCaption));
    setFixedSize(186, 88);
    Label1->setObjectName("Label1");
    Label1->move(24, 24);
    Label1->adjustSize();
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(56, 56, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TStartForm::OKButtonClick() {
    close();
}

void TStartForm::reject() {
    if (ComServerCanClose()) QDialog::reject();
}

}  // namespace vrel
