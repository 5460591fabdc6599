// TPopDlg's window: its frame (panels, page control, bottom buttons), the keys Esc and Enter,
// the first showing, and the Cancel and Help buttons. The pages are built in their own units.
#include "settings/pop_dlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
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

QFrame* MakePanel(QWidget* parent, const char* name, QRect geometry) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
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
    const int topHeight = kPopDlgClientHeight - kBottomPanelHeight;
    TopPanel = MakePanel(this, "TopPanel", QRect(0, 0, kPopDlgClientWidth, topHeight));
    PageControl = new TPageControl(TopPanel);
    PageControl->setObjectName("PageControl");
    PageControl->setGeometry(
        TopPanel->rect().adjusted(kPanelBorder, kPanelBorder, -kPanelBorder, -kPanelBorder));
    PageControl->tabBar()->setExpanding(false);
    BottomPanel =
        MakePanel(this, "BottomPanel", QRect(0, topHeight, kPopDlgClientWidth, kBottomPanelHeight));
    Image1 = new TClickImage(BottomPanel);
    Image1->setObjectName("Image1");
    Image1->setGeometry(10, 2, 32, 32);
    Image1->setPixmap(ProductLogo(32));
    Image1->OnClick = [this] { Image1Click(); };
    OKBtn = MakeButton(BottomPanel, "OKBtn", "OK", {344, 5});
    OKBtn->setDefault(true);
    SetHint(*OKBtn, "Saves the current settings and closes the dialog.");
    CancelBtn = MakeButton(BottomPanel, "CancelBtn", "Cancel", {424, 5});
    SetHint(*CancelBtn, "Discards any changes and closes the dialog.");
    ApplyButton = MakeButton(BottomPanel, "ApplyButton", "Apply", {504, 5});
    ApplyButton->setEnabled(false);
    SetHint(*ApplyButton, "Applies the current settings.");
    HelpBtn = MakeButton(BottomPanel, "HelpBtn", "Help", {584, 5});
    SetHint(*HelpBtn, "Brings up help.");
    Bind(CancelBtn, &QPushButton::clicked, this, &TPopDlg::CancelBtnClick);
    Bind(HelpBtn, &QPushButton::clicked, this, &TPopDlg::HelpBtnClick);
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
