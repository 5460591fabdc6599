// TPopDlg's window: its frame (panels, page control, bottom buttons), the keys Esc and Enter,
// the first showing, and the Cancel and Help buttons. The pages are built in their own units.
#include "settings/pop_dlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTabBar>

#include "platform/help.h"
#include "settings/artwork.h"
#include "settings/service_control.h"

namespace vrel {

TPopDlg* PopDlg = nullptr;

namespace {

constexpr int kBottomPanelHeight = 36;
constexpr int kPanelBorder = 5;
// The bottom buttons in the form's full width: OK first, each next one a pitch further.
constexpr int kFirstButtonLeft = 344;
constexpr int kButtonPitch = 80;
constexpr int kButtonTop = 5;

QFrame* MakePanel(QWidget* parent, const char* name) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    return panel;
}

}  // namespace

TPopDlg::TPopDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("PopDlg");
    setWindowTitle(Ansi(kPopDlgCaption));
    SetHint(*this, "Configures the POP3 Server.");
    vcl::SetHelpContext(*this, 10000);
    setFixedSize(kPopDlgClientWidth, kPopDlgClientHeight);
    BuildFrame();
    BuildGeneralTab();
    BuildUserAccTab();
    BuildAliasTab();
    BuildWizardTab();
    BuildAboutTab();
    ConnectStatistics();
    ConnectApplyHandlers();
    ConnectLoading();
    ConnectPickers();
    PageControl->setCurrentWidget(DesignActivePage());
    CentreOnScreen();
}

TPopDlg::~TPopDlg() {
    SetServiceProgressDisplay({});
}

// Across the screen's width as the platform reports it (Screen.Width), down its work area.
void TPopDlg::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    move(area.left() + (vcl::ScreenWidth() - width()) / 2,
         area.top() + (area.height() - height()) / 2);
}

void TPopDlg::BuildFrame() {
    TopPanel = MakePanel(this, "TopPanel");
    PageControl = new TPageControl(TopPanel);
    PageControl->setObjectName("PageControl");
    PageControl->tabBar()->setExpanding(false);
    BottomPanel = MakePanel(this, "BottomPanel");
    Image1 = new TClickImage(BottomPanel);
    Image1->setObjectName("Image1");
    Image1->setGeometry(10, 2, 32, 32);
    Image1->setPixmap(ProductLogo(32));
    Image1->OnClick = [this] { Image1Click(); };
    OKBtn = MakeButton(BottomPanel, "OKBtn", "OK", {});
    OKBtn->setDefault(true);
    SetHint(*OKBtn, "Saves the current settings and closes the dialog.");
    CancelBtn = MakeButton(BottomPanel, "CancelBtn", "Cancel", {});
    SetHint(*CancelBtn, "Discards any changes and closes the dialog.");
    ApplyButton = MakeButton(BottomPanel, "ApplyButton", "Apply", {});
    ApplyButton->setEnabled(false);
    SetHint(*ApplyButton, "Applies the current settings.");
    HelpBtn = MakeButton(BottomPanel, "HelpBtn", "Help", {});
    SetHint(*HelpBtn, "Brings up help.");
    LayOutFrame(kPopDlgClientWidth);
    Bind(CancelBtn, &QPushButton::clicked, this, &TPopDlg::CancelBtnClick);
    Bind(HelpBtn, &QPushButton::clicked, this, &TPopDlg::HelpBtnClick);
}

// The top panel fills the client area above the bottom panel, both as wide as the window;
// the bottom buttons keep their distance to its right edge, so a narrowed window still
// shows them whole.
void TPopDlg::LayOutFrame(int width) {
    const int topHeight = kPopDlgClientHeight - kBottomPanelHeight;
    TopPanel->setGeometry(0, 0, width, topHeight);
    PageControl->setGeometry(
        TopPanel->rect().adjusted(kPanelBorder, kPanelBorder, -kPanelBorder, -kPanelBorder));
    BottomPanel->setGeometry(0, topHeight, width, kBottomPanelHeight);
    int left = width - (kPopDlgClientWidth - kFirstButtonLeft);
    for (QPushButton* button : {OKBtn, CancelBtn, ApplyButton, HelpBtn}) {
        button->move(left, kButtonTop);
        left += kButtonPitch;
    }
}

void TPopDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOutFrame(width());
}

void TPopDlg::CancelBtnClick() {
    close();
}

// The page's own help context: the wizard page's per-step contexts serve only F1.
void TPopDlg::HelpBtnClick() {
    win::HelpContext(vcl::HelpContextOf(*PageControl->ActivePage()));
}

// Esc clicks the visible, enabled cancel button; Qt's own reject() never closes the window.
void TPopDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    // The wizard's Finish button is visible only while its page is.
    for (QPushButton* cancel : {WizFinishButton, CancelBtn}) {
        if (cancel->isVisible() && cancel->isEnabled()) {
            cancel->click();
            break;
        }
    }
    event->accept();
}

}  // namespace vrel
