// The Setup Wizard page of TPopDlg: the panel as the form lays it out (heading, memo, domain
// edit and the row of buttons; the buttons on the right and the lower bevel keep their
// distance to the panel's bottom right corner, and the bevels stretch with its width), and
// the page's handlers, which move the step, run the actions the pages offer and rebuild the
// page with ShowWizardPage.
#include <QEvent>
#include <QVBoxLayout>

#include "common/agent_binding.h"
#include "common/settings_key.h"
#include "common/smtp_config.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "settings/agent_install.h"
#include "settings/os_version.h"
#include "settings/pop3_install.h"
#include "settings/pop_dlg.h"
#include "settings/service_control.h"
#include "settings/smtp_component.h"

namespace vrel {
namespace {

// The panel's size in the form; anchored controls keep their distances to its edges.
constexpr QSize kDesignPanel(651, 328);

QFrame* MakeBevel(QWidget* panel, const char* name, QRect geometry) {
    auto* bevel = new QFrame(panel);
    bevel->setObjectName(name);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(geometry);
    return bevel;
}

// Moves and stretches the anchored controls of the wizard panel whenever it is resized.
class WizardAnchors : public QObject {
  public:
    explicit WizardAnchors(TPopDlg& form) : QObject(form.WizPanel), form_(form) {
        form.WizPanel->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) Anchor();
        return false;
    }

  private:
    void Anchor() {
        const QSize grow = form_.WizPanel->size() - kDesignPanel;
        form_.Bevel1->setGeometry(8, 40, 635 + grow.width(), 2);
        form_.Bevel2->setGeometry(8, 279 + grow.height(), 635 + grow.width(), 2);
        const int buttonTop = 295 + grow.height();
        form_.WizPrevButton->move(408 + grow.width(), buttonTop);
        form_.WizNextButton->move(488 + grow.width(), buttonTop);
        form_.WizFinishButton->move(568 + grow.width(), buttonTop);
    }

    TPopDlg& form_;
};

// Step 5's Next: the edit's PostMaster (or, asked, the default) stored and shown on the User
// Accounts page.
void StorePostMaster(TPopDlg& form) {
    AddWizardLines(form, {" ", "Verifying the Postmaster account ..."});
    if (form.WizDomainEdit->text().isEmpty() &&
        win::MessageBox("The PostMaster account is not specified. Do you want to use the default?",
                        "ERROR", win::MB_OKCANCEL | win::MB_ICONWARNING) == win::IDOK) {
        form.WizDomainEdit->setText(Ansi(GetPostMaster()));
    }
    win::TRegistry registry;
    if (registry.OpenKey(kSettingsKey, true)) {
        if (!form.WizDomainEdit->text().isEmpty()) {
            registry.WriteString(settings_value::PostMaster, AnsiText(form.WizDomainEdit->text()));
        }
        registry.CloseKey();
    }
    form.PMEdit->setText(form.WizDomainEdit->text());
    form.ApplyButton->setEnabled(false);
}

// The POP3 side completed in its order: agent registered and bound, service installed,
// service started.
void CompletePop3(TPopDlg& form) {
    AddWizardLines(form, {" "});
    if (!IsMessageAgentRegistered() || FindAgentBinding(kAgentSinkClass).empty()) {
        AddWizardLines(form, {"Registering Message Agent ..."});
        RegisterMessageAgent();
    }
    if (!IsServiceInstalled(kPop3ServiceName)) {
        AddWizardLines(form, {"Installing POP3 service ..."});
        InstallPop3Service();
    }
    AddWizardLines(form, {"Starting POP3 service ..."});
    StartServiceAndWait(kPop3ServiceName);
}

void StartOrInstallSmtp(TPopDlg& form) {
    if (IsServiceInstalled(kSmtpServiceName)) {
        AddWizardLines(form, {" ", "Starting SMTP service ..."});
        StartServiceAndWait(kSmtpServiceName);
    } else {
        AddWizardLines(form, {" ", "Installing SMTP service ..."});
        SetSmtpComponent(true);
    }
}

// Browse on step 5: the chosen user, or an alias without its " (alias)" mark, at the SMTP
// default domain.
void PickPostMaster(TPopDlg& form) {
    std::string entry;
    if (BrowseMailUsersAndAliases("UA_PostMaster", "Select PostMaster", entry)) {
        form.WizDomainEdit->setText(Ansi(PostMasterAddress(entry)));
    }
}

}  // namespace

void TPopDlg::WizardTabShow() {
    StatusButtonClick();
    ShowWizardPage();
}

void TPopDlg::WizNextButtonClick() {
    {
        const vcl::THourGlass hourGlass;
        if (wizardStep < 0 || wizardStep > 5) wizardStep = -1;
        if (wizardStep == 5) StorePostMaster(*this);
    }
    wizardStep = wizardStep == 5 ? kWizardFinalStep : wizardStep + 1;
    ShowWizardPage();
}

void TPopDlg::WizPrevButtonClick() {
    --wizardStep;
    ShowWizardPage();
}

void TPopDlg::WizStartButtonClick() {
    const vcl::THourGlass hourGlass;
    const QString caption = WizStartButton->text();
    if (caption.contains("SMTP Server")) {
        StartOrInstallSmtp(*this);
    } else if (caption.contains("POP3 Server")) {
        CompletePop3(*this);
    } else if (caption == "List User Accounts") {
        AddWizardLines(*this, {" ", "Looking for User accounts ..."});
        std::string ignored;
        BrowseMailUsersAndAliases("UA_UserAccounts", "List User Accounts", ignored);
    }
    ShowWizardPage();
}

void TPopDlg::WizDomainAddButtonClick() {
    if (wizardStep == 4) {
        if (WizDomainEdit->text().isEmpty()) return;
        CreateLocalDomain(AnsiText(WizDomainEdit->text()));
        ShowWizardPage();
    } else if (wizardStep == 5) {
        PickPostMaster(*this);
    }
}

void TPopDlg::WizDomainEditChange() {
    WizDomainAddButton->setEnabled(true);
    if (WizDomainAddButton->text() == "Add" && WizDomainEdit->text().isEmpty()) {
        WizDomainAddButton->setEnabled(false);
    }
}

void TPopDlg::WizFinishButtonClick() {
    if (IsXPHome() || IsNT4OrOlder()) {
        close();
        return;
    }
    wizardStep = kWizardFinalStep;
    PageControl->SetActivePage(WizardTab);
    ShowWizardPage();
}

void TPopDlg::ConnectWizard() {
    Bind(WizNextButton, &QPushButton::clicked, this, &TPopDlg::WizNextButtonClick);
    Bind(WizPrevButton, &QPushButton::clicked, this, &TPopDlg::WizPrevButtonClick);
    Bind(WizStartButton, &QPushButton::clicked, this, &TPopDlg::WizStartButtonClick);
    Bind(WizDomainAddButton, &QPushButton::clicked, this, &TPopDlg::WizDomainAddButtonClick);
    Bind(WizFinishButton, &QPushButton::clicked, this, &TPopDlg::WizFinishButtonClick);
    Bind(WizDomainEdit, &QLineEdit::textChanged, this, &TPopDlg::WizDomainEditChange);
}

void TPopDlg::BuildWizardTab() {
    WizardTab = new QWidget;
    WizardTab->setObjectName("WizardTab");
    PageControl->AddPage(WizardTab, "Setup Wizard", 14000, [this] { WizardTabShow(); });

    WizPanel = new QFrame(WizardTab);
    WizPanel->setObjectName("WizPanel");
    WizPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    WizPanel->setAutoFillBackground(true);
    WizPanel->setBackgroundRole(QPalette::Base);
    WizStepLabel = MakeLabel(WizPanel, "WizStepLabel", "Step: ", {17, 17});
    QFont heading = WizStepLabel->font();
    heading.setBold(true);
    heading.setPixelSize(16);
    WizStepLabel->setFont(heading);
    WizStepLabel->resize(600, 20);
    Bevel1 = MakeBevel(WizPanel, "Bevel1", {8, 40, 635, 2});
    WizMemo = new QPlainTextEdit(WizPanel);
    WizMemo->setObjectName("WizMemo");
    WizMemo->setGeometry(168, 56, 408, 169);
    WizMemo->setFrameShape(QFrame::NoFrame);
    WizMemo->setReadOnly(true);
    WizDomainEdit = MakeEdit(WizPanel, "WizDomainEdit", "", {68, 232, 357, 21});
    WizDomainEdit->hide();
    WizDomainAddButton = MakeButton(WizPanel, "WizDomainAddButton", "Add", {448, 230});
    WizDomainAddButton->hide();
    WizDomainAddButton->setEnabled(false);
    WizNextLabel =
        MakeLabel(WizPanel, "WizNextLabel", "Click the Next button to continue.", {16, 264});
    QFont bold = WizNextLabel->font();
    bold.setBold(true);
    WizNextLabel->setFont(bold);
    WizNextLabel->adjustSize();
    Bevel2 = MakeBevel(WizPanel, "Bevel2", {8, 279, 635, 2});
    WizStartButton = MakeButton(WizPanel, "WizStartButton", "Start SMTP Server", {16, 295}, 137);
    WizStartButton->hide();
    WizPrevButton = MakeButton(WizPanel, "WizPrevButton", "Previous", {408, 295});
    WizNextButton = MakeButton(WizPanel, "WizNextButton", "Next", {488, 295});
    WizFinishButton = MakeButton(WizPanel, "WizFinishButton", "Finish", {568, 295});
    new WizardAnchors(*this);
    ConnectWizard();
    auto* fill = new QVBoxLayout(WizardTab);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(WizPanel);
}

}  // namespace vrel
