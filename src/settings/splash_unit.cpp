// TSplashScnForm; see splash_unit.h.
#include "settings/splash_unit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "platform/clock.h"
#include "platform/vcl.h"
#include "settings/artwork.h"
#include "settings/pop_dlg.h"

namespace vrel {

TSplashScnForm* SplashScnForm = nullptr;

namespace {

constexpr QSize kClientSize(320, 260);
constexpr QRect kLogo(2, 2, 316, 256);

}  // namespace

TSplashScnForm::TSplashScnForm(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("SplashScnForm");
    setFixedSize(kClientSize);
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(rect());
    Image1 = new TClickImage(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry(kLogo);
    Image1->setPixmap(ProductLogo(kLogo.height()));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->OnClick = [this] { SplashTimerTimer(); };
    SplashTimer = new QTimer(this);
    SplashTimer->setObjectName("SplashTimer");
    SplashTimer->setInterval(static_cast<int>(win::ScaledWait(kSplashInterval).count()));
    Bind(SplashTimer, &QTimer::timeout, this, &TSplashScnForm::SplashTimerTimer);
    SplashTimer->start();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
}

TSplashScnForm::~TSplashScnForm() {
    if (SplashScnForm == this) SplashScnForm = nullptr;
}

// The main window may not exist yet (a box of the start-up still open): then only the splash
// goes, and the start-up shows the main window itself.
void TSplashScnForm::SplashTimerTimer() {
    close();
    if (PopDlg) PopDlg->show();
}

void TSplashScnForm::FormClose() {
    SplashTimer->stop();
    setAttribute(Qt::WA_DeleteOnClose);
}

void TSplashScnForm::closeEvent(QCloseEvent* event) {
    vcl::Guarded([this] { FormClose(); });
    QDialog::closeEvent(event);
}

}  // namespace vrel
