// The About page of TPopDlg: product name, version and copyright of the running settings
// program, the web-page link and the logo; and the link's handler shared with both logos.
#include "common/system_module.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "settings/artwork.h"
#include "settings/pop_dlg.h"

namespace vrel {
namespace {

constexpr int kTextLeft = 200;
constexpr int kTextWidth = 430;

QLabel* AboutLabel(QWidget* page, const char* name, std::string_view caption, int top) {
    QLabel* label = MakeLabel(page, name, caption, {kTextLeft, top});
    label->resize(kTextWidth, label->height());
    return label;
}

}  // namespace

void TPopDlg::BuildAboutTab() {
    AboutTab = new QWidget;
    AboutTab->setObjectName("AboutTab");
    PageControl->AddPage(AboutTab, "About", 15000, [this] { AboutTabShow(); });

    LogoPanel = new QFrame(AboutTab);
    LogoPanel->setObjectName("LogoPanel");
    LogoPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    LogoPanel->setGeometry(24, 24, 152, 152);
    Image2 = new TClickImage(LogoPanel);
    Image2->setObjectName("Image2");
    Image2->setGeometry(2, 2, 148, 148);
    Image2->setScaledContents(true);
    Image2->setPixmap(ProductLogo(148));
    SetHint(*Image2, "Just a picture. Click to go to the web page.");
    Image2->OnClick = [this] { Image1Click(); };

    ProductName = AboutLabel(AboutTab, "ProductName", "POP3 Server", 28);
    QFont large("Liberation Serif");
    large.setPixelSize(32);
    large.setBold(true);
    ProductName->setFont(large);
    ProductName->resize(kTextWidth, 40);
    Label8 = AboutLabel(AboutTab, "Label8", "for Windows\xAE 2000/XP", 74);
    VersionLabel = AboutLabel(AboutTab, "VersionLabel", "", 112);
    CopyRight = AboutLabel(AboutTab, "CopyRight", "", 134);
    Label1 = MakeLabel(AboutTab, "Label1", "Web Page:", {kTextLeft, 166});
    WebSiteLabel = new TClickImage(AboutTab);
    WebSiteLabel->setObjectName("WebSiteLabel");
    WebSiteLabel->setText("Tavimere");
    QFont link = WebSiteLabel->font();
    link.setUnderline(true);
    WebSiteLabel->setFont(link);
    WebSiteLabel->setStyleSheet("color: blue");
    WebSiteLabel->move(Label1->geometry().right() + 8, 166);
    WebSiteLabel->adjustSize();
    SetHint(*WebSiteLabel, "Click to go to the POP3 Server web page.");
    WebSiteLabel->OnClick = [this] { Image1Click(); };
}

void TPopDlg::AboutTabShow() {
    wizardStep = 0;
    const TWSAExeVersion& versionInfo = SystemModule->VersionInfo;
    ProductName->setText(Ansi(versionInfo.GetProductName()));
    VersionLabel->setText(Ansi(GetVersionText()));
    CopyRight->setText(Ansi(versionInfo.GetLegalCopyright()));
}

void TPopDlg::Image1Click() {
    if (win::ShellExecute("open", kWebPageAddress) <= 32) {
        win::MessageDlg("Could not open Internet Browser.", win::mtCustom, win::mbOK, 0);
    }
}

}  // namespace vrel
