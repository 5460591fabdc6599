// The Setup Wizard page through the window: every step page and both final pages as the
// machine's state makes them, the lock of step 1 on editions that cannot run the services,
// the local-domain list and its scroll bar, the PostMaster step with its question, and
// ReStart. Each page is saved as a screenshot.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "common/alias_table.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "common/smtp_config.h"
#include "mail_account.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "platform/vcl.h"
#include "settings/browse_list_dlg.h"
#include "settings/os_version.h"
#include "settings/service_control.h"
#include "settings_fixture.h"

namespace {

using vrel::TPopDlg;
using vrel::test::SaveScreenshot;

constexpr const char* kNotComplete = "   **** The POP3 installation is not complete. ****";

// The Windows version the machine poses as.
void PoseAs(int platform, const char* version, const char* build, int suiteMask) {
    win::TRegistry registry;
    registry.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", true);
    registry.WriteString("CurrentVersion", version);
    registry.WriteString("CurrentBuildNumber", build);
    registry.WriteString("CSDVersion", "");
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Version", true);
    registry.WriteInteger("PlatformId", platform);
    registry.WriteInteger("ProductType", 1);
    registry.WriteInteger("SuiteMask", suiteMask);
}

class WizardTest : public vrel::test::PopDlgTest {
  protected:
    // The window's first showing, as the program's loop shows it.
    TPopDlg& Open() {
        Form().show();
        QApplication::processEvents();
        return Form();
    }

    void ShowStep(int step) {
        Form().wizardStep = step;
        vrel::ShowWizardPage();
        QApplication::processEvents();
    }

    std::vector<std::string> Memo() {
        std::vector<std::string> lines;
        for (const QString& line : Form().WizMemo->toPlainText().split('\n')) {
            lines.push_back(line.toStdString());
        }
        return lines;
    }

    bool MemoHas(const std::string& line) {
        const std::vector<std::string> lines = Memo();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // Previous, Next, Finish enabled.
    std::vector<bool> Buttons() {
        return {Form().WizPrevButton->isEnabled(), Form().WizNextButton->isEnabled(),
                Form().WizFinishButton->isEnabled()};
    }

    void Click(QPushButton* button) {
        ASSERT_TRUE(button->isVisible() && button->isEnabled())
            << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
    }

    static bool SettingsKeyExists() {
        win::TRegistry registry;
        return registry.OpenKeyReadOnly(vrel::kSettingsKey);
    }
};

// An incomplete installation opens the window on the wizard's welcome step, built at start.
TEST_F(WizardTest, WelcomeIsBuiltAtStartAndSaysTheInstallationIsIncomplete) {
    TPopDlg& form = Open();
    EXPECT_EQ(form.PageControl->ActivePage(), form.WizardTab);
    EXPECT_EQ(form.wizardStep, 0);
    EXPECT_EQ(form.WizStepLabel->text(), "Welcome to the POP3 Setup Wizard");
    EXPECT_EQ(Memo().front(), kNotComplete);
    EXPECT_EQ(Memo()[1], "This wizard will help setup your POP3 Server using the following steps.");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(form.WizNextLabel->text(), "Click the Next button to continue.");
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14000);
    EXPECT_EQ(form.WizMemo->geometry(), QRect(16, 56, 560, 170));
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-step0");

    form.installComplete = true;
    ShowStep(0);
    EXPECT_EQ(Memo().front(),
              "This wizard will help setup your POP3 Server using the following steps.");
}

// Steps 1 to 3 on a fresh Windows Server 2003: ready, then the SMTP and POP3 services to be
// installed, each offering its action in place of Previous and Next.
TEST_F(WizardTest, StepsOneToThreeOnAFreshMachine) {
    TPopDlg& form = Open();
    Click(form.WizNextButton);
    EXPECT_EQ(form.wizardStep, 1);
    EXPECT_EQ(form.WizStepLabel->text(), "Step 1: System Information");
    EXPECT_TRUE(MemoHas("   Operating System: " + vrel::GetOSVersionText()));
    EXPECT_TRUE(MemoHas("   Computer Name: " + vrel::GetLocalComputerName()));
    EXPECT_EQ(Memo().back(), "Your computer is ready to setup the SMTP Services.");
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14010);
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-step1");

    Click(form.WizNextButton);
    EXPECT_EQ(form.WizStepLabel->text(), "Step 2: SMTP Service Information");
    EXPECT_TRUE(MemoHas(
        "Note: You will require the Windows Installation CDROM to install the SMTP service."));
    EXPECT_EQ(form.WizStartButton->text(), "Install SMTP Server");
    EXPECT_TRUE(form.WizStartButton->isVisible());
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14020);
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, false, true})) << "Finish is left to exit";
    EXPECT_EQ(form.WizNextLabel->text(), "");
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-step2");

    EXPECT_TRUE(vrel::test::CreateTestService(vrel::kSmtpServiceName, "-waithint:250"));
    ShowStep(2);
    EXPECT_EQ(Memo()[2], "   SMTP Server is installed but NOT running.");
    EXPECT_EQ(form.WizStartButton->text(), "Start SMTP Server");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, false, false}));
    Click(form.WizStartButton);
    EXPECT_EQ(Memo()[2], "   SMTP Server is INSTALLED and RUNNING");
    EXPECT_FALSE(form.WizStartButton->isVisible());
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, true, false}));

    Click(form.WizNextButton);
    EXPECT_EQ(form.WizStepLabel->text(), "Step 3: POP3 Service Information");
    EXPECT_EQ(Memo()[2],
              "POP3 Server service is NOT installed. Click the Install POP3 Server button "
              "to install and start the POP3 service.");
    EXPECT_EQ(form.WizStartButton->text(), "Install POP3 Server");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14030);
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-step3");
}

// The POP3 service running without the agent's binding is not complete: the action completes
// it; with a stopped service the action starts it.
TEST_F(WizardTest, StepThreeWithTheBindingMissingOffersTheInstall) {
    TPopDlg& form = Open();
    EXPECT_TRUE(vrel::test::CreateTestService(vrel::kPop3ServiceName, "-waithint:250"));
    ShowStep(3);
    EXPECT_EQ(form.WizStartButton->text(), "Start POP3 Server");
    vrel::test::ControlService(vrel::kPop3ServiceName, true);
    vrel::test::RegisterAgent();
    ShowStep(3);
    EXPECT_EQ(Memo()[2],
              "POP3 Server service is NOT complete. Click the Install POP3 Server button "
              "to complete the install and start the POP3 service.");
    EXPECT_EQ(form.WizStartButton->text(), "Install POP3 Server");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(form.installComplete);

    vrel::test::BindAgent();
    ShowStep(3);
    EXPECT_EQ(Memo()[2], "   POP3 Server is INSTALLED and RUNNING");
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, true, true}));
    EXPECT_TRUE(form.installComplete);
}

// Exactly seven local domains fit without a scroll bar; the eighth brings one. Only the
// first is the default.
TEST_F(WizardTest, LocalDomainsAreListedAndAddedWithAScrollBarFromEight) {
    vrel::test::InstallSmtpServer({{"DefaultDomain", "mailhost.test"}});
    TPopDlg& form = Open();
    ShowStep(4);
    EXPECT_EQ(form.WizStepLabel->text(), "Step 4: Local Domains");
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14040);
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(form.WizDomainAddButton->isEnabled());
    QTest::mouseClick(form.WizDomainAddButton, Qt::LeftButton);  // disabled: nothing
    EXPECT_EQ(vrel::GetLocalDomains().size(), 1u);
    const std::size_t existing = vrel::GetLocalDomains().size();
    for (std::size_t i = existing; i < 7; ++i) {
        QTest::keyClicks(form.WizDomainEdit, QString("d%1.example").arg(i));
        EXPECT_TRUE(form.WizDomainAddButton->isEnabled());
        Click(form.WizDomainAddButton);
        EXPECT_EQ(form.WizDomainEdit->text(), "") << "the page is rebuilt";
    }
    ASSERT_EQ(vrel::GetLocalDomains().size(), 7u);
    EXPECT_EQ(form.WizMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(MemoHas("   1: mailhost.test (default)"));
    EXPECT_TRUE(MemoHas("   2: d1.example")) << "only the first is the default";
    EXPECT_TRUE(MemoHas("   7: d6.example"));
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-step4");

    QTest::keyClicks(form.WizDomainEdit, "eighth.example");
    QTest::keyClick(form.WizDomainEdit, Qt::Key_Backspace);
    form.WizDomainEdit->clear();
    EXPECT_FALSE(form.WizDomainAddButton->isEnabled()) << "an empty edit disables Add";
    QTest::keyClicks(form.WizDomainEdit, "eighth.example");
    Click(form.WizDomainAddButton);
    EXPECT_EQ(form.WizMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(MemoHas("   8: eighth.example"));
}

// Next on step 5 stores the PostMaster as typed; an empty edit asks, OK takes the default and
// Cancel stores nothing and empties the User Accounts page's edit.
TEST_F(WizardTest, PostMasterStepStoresTheAddressOrAsksForTheDefault) {
    TPopDlg& form = Open();
    ShowStep(5);
    EXPECT_EQ(form.WizStepLabel->text(), "Step 5: Setup PostMaster Account");
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14050);
    EXPECT_EQ(form.WizDomainEdit->text().toStdString(), vrel::GetPostMaster());
    EXPECT_EQ(form.WizDomainAddButton->text(), "Browse");
    EXPECT_FALSE(form.WizDomainAddButton->isEnabled());
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-step5");
    form.WizDomainEdit->setText("someone");
    EXPECT_TRUE(form.WizDomainAddButton->isEnabled()) << "Browse after any change";
    form.ApplyButton->setEnabled(true);
    std::vector<std::string> memoWhenStored;
    const QMetaObject::Connection storing = QObject::connect(
        form.PMEdit, &QLineEdit::textChanged, form.PMEdit, [&] { memoWhenStored = Memo(); });
    Click(form.WizNextButton);
    QObject::disconnect(storing);
    ASSERT_GE(memoWhenStored.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(memoWhenStored.end() - 2, memoWhenStored.end()),
              (std::vector<std::string>{" ", "Verifying the Postmaster account ..."}));
    EXPECT_EQ(form.wizardStep, 99);
    EXPECT_EQ(vrel::GetPostMaster(), "someone") << "stored as typed";
    EXPECT_EQ(form.PMEdit->text(), "someone");
    EXPECT_FALSE(form.ApplyButton->isEnabled());

    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, false);
    registry.DeleteValue("PostMaster");
    const std::string fallback = vrel::GetPostMaster();
    for (const int answer : {win::IDOK, win::IDCANCEL}) {
        registry.DeleteValue("PostMaster");
        ShowStep(5);
        form.WizDomainEdit->clear();
        const win::MessageBoxScript boxes({answer});
        Click(form.WizNextButton);
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text,
                  "The PostMaster account is not specified. Do you want to use the default?");
        EXPECT_EQ(boxes.Shown()[0].caption, "ERROR");
        EXPECT_EQ(boxes.Shown()[0].buttons, (std::vector<int>{win::IDOK, win::IDCANCEL}));
        EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard NOT complete.");
        if (answer == win::IDOK) {
            EXPECT_EQ(registry.ReadString("PostMaster"), fallback);
            EXPECT_EQ(form.PMEdit->text().toStdString(), fallback);
        } else {
            EXPECT_FALSE(registry.ValueExists("PostMaster"));
            EXPECT_EQ(form.PMEdit->text(), "");
        }
    }
}

// The final page while the installation is incomplete offers ReStart, which goes to step 0;
// Finish shows it from any step.
TEST_F(WizardTest, FinishShowsTheIncompletePageAndReStartTheWelcome) {
    TPopDlg& form = Open();
    ShowStep(4);
    Click(form.WizFinishButton);
    EXPECT_EQ(form.wizardStep, 99);
    EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard NOT complete.");
    EXPECT_EQ(form.WizNextButton->text(), "ReStart");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(form.WizNextLabel->text(), "Click the ReStart button to start the wizard again.");
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14099);
    EXPECT_EQ(form.WizMemo->height(), 200);
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-final-incomplete");
    Click(form.WizNextButton);
    EXPECT_EQ(form.wizardStep, 0);
    EXPECT_EQ(form.WizStepLabel->text(), "Welcome to the POP3 Setup Wizard");
    EXPECT_EQ(form.WizNextButton->text(), "Next");
}

// A complete installation opens on the About page; its final wizard page congratulates.
TEST_F(WizardTest, CompleteInstallationOpensOnAboutAndFinishesCompleted) {
    for (const char* service : {vrel::kSmtpServiceName, vrel::kPop3ServiceName}) {
        EXPECT_TRUE(vrel::test::CreateTestService(service, "-waithint:250"));
        vrel::test::ControlService(service, true);
    }
    vrel::test::RegisterAgent();
    vrel::test::BindAgent();
    vrel::test::AddComputerUser("ann", "", true);
    vrel::CreatePop3Metabase();
    ASSERT_TRUE(vrel::WriteAlias("boss", "ann"));
    TPopDlg& form = Open();
    EXPECT_TRUE(form.installComplete);
    EXPECT_EQ(form.PageControl->ActivePage(), form.AboutTab);
    ShowPage(form.WizardTab);
    ShowStep(99);
    EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard Completed");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(form.WizStartButton->text(), "List User Accounts");
    EXPECT_TRUE(form.WizStartButton->isVisible());
    EXPECT_EQ(Memo().back(), "Valid users are members of the \"Users\" group on " +
                                 vrel::GetAccountAuthority() +
                                 ". This is a Local Computer. To see a list of valid users, click "
                                 "the List User Accounts button.");
    SaveScreenshot(form, "popsetup_PopDlg-Wizard-final-complete");

    // Its action lists the mail users and aliases for looking only: the choice changes nothing.
    const QString postMaster = form.PMEdit->text();
    std::vector<std::string> memoWhenListed;
    std::vector<std::string> listed;
    vcl::ModalScript script;
    script.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "List User Accounts");
        EXPECT_EQ(vrel::BrowseListDlg->helpTopic, "UA_UserAccounts");
        memoWhenListed = Memo();
        QListWidget& list = *vrel::BrowseListDlg->GroupListBox;
        for (int i = 0; i < list.count(); ++i) listed.push_back(list.item(i)->text().toStdString());
        const auto ann = list.findItems("ann", Qt::MatchExactly);
        if (!ann.isEmpty()) ann.front()->setSelected(true);
        return vcl::mrOk;
    });
    Click(form.WizStartButton);
    EXPECT_EQ(script.Shown(), std::vector<std::string>{"BrowseListDlg"});
    ASSERT_GE(memoWhenListed.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(memoWhenListed.end() - 2, memoWhenListed.end()),
              (std::vector<std::string>{" ", "Looking for User accounts ..."}));
    for (const char* line : {"ann", "boss (alias)"}) {
        EXPECT_NE(std::find(listed.begin(), listed.end(), line), listed.end()) << line;
    }
    EXPECT_EQ(vrel::BrowseListDlg->GroupListBox->count(), 0) << "emptied after OK";
    EXPECT_EQ(form.PMEdit->text(), postMaster);
    EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard Completed");
    EXPECT_NE(Memo().back().find("click the List User Accounts button."), std::string::npos)
        << "the page is rebuilt";
}

struct LockedCase {
    const char* name;
    int platform;
    const char* version;
    const char* build;
    int suiteMask;
    const char* problem;
};

class WizardLockTest : public WizardTest, public ::testing::WithParamInterface<LockedCase> {};

// NT 4.0 and XP Home open locked at step 1, read and write nothing, and Finish ends the
// program; Windows 98 opens at the welcome step, locks at step 1, and Finish shows the final
// page.
TEST_P(WizardLockTest, StepOneLocksTheWindow) {
    const LockedCase& c = GetParam();
    PoseAs(c.platform, c.version, c.build, c.suiteMask);
    TPopDlg& form = Open();
    const bool nonNt = c.platform != 2;
    if (nonNt) {
        EXPECT_EQ(form.wizardStep, 0);
        Click(form.WizNextButton);
    } else {
        EXPECT_FALSE(SettingsKeyExists()) << "nothing is written";
    }
    EXPECT_EQ(form.PageControl->ActivePage(), form.WizardTab);
    EXPECT_EQ(form.WizStepLabel->text(), "Step 1: System Information");
    EXPECT_EQ(form.wizardStep, 99);
    EXPECT_EQ(Memo().back(), c.problem);
    EXPECT_TRUE(MemoHas(" *** Problem ***"));
    EXPECT_EQ(form.WizNextLabel->text(), "Click the Finish button to Exit.");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, false, true}));
    EXPECT_FALSE(form.OKBtn->isEnabled() || form.OKBtn->isDefault() ||
                 form.ApplyButton->isEnabled());
    EXPECT_TRUE(form.CancelBtn->isDefault());
    for (QWidget* page : {form.GeneralTab, form.UserAccTab, form.AliasTab,
                          static_cast<QWidget*>(form.SplashCheckBox)}) {
        EXPECT_FALSE(page->isEnabled()) << page->objectName().toStdString();
    }
    EXPECT_EQ(vcl::HelpContextOf(*form.WizPanel), 14010);
    if (std::string(c.name) == "NT4") SaveScreenshot(form, "popsetup_PopDlg-Wizard-locked-NT4");

    // The locked General page still runs its show handler, which disables its controls.
    ShowPage(form.GeneralTab);
    EXPECT_FALSE(form.InBoxRootDirEdit->isEnabled() || form.LoggingCheckBox->isChecked());
    ShowPage(form.WizardTab);
    if (nonNt) {
        EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard NOT complete.");
        ShowStep(1);
    }
    EXPECT_EQ(form.WizStepLabel->text(), "Step 1: System Information");
    EXPECT_FALSE(form.GeneralTab->isEnabled()) << "the lock stays";
    Click(form.WizFinishButton);
    if (nonNt) {
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard NOT complete.");
    } else {
        EXPECT_FALSE(form.isVisible()) << "Finish ends the program";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Editions, WizardLockTest,
    ::testing::Values(
        LockedCase{"NT4", 2, "4.0", "1381", 0,
                   "This is Windows NT 4.0. It does not support eMail Services. The POP3 service "
                   "cannot be installed on this version of Windows."},
        LockedCase{"XPHome", 2, "5.1", "2600", 0x0300,
                   "This is the Windows XP Home Edition. It does not support eMail Services. The "
                   "POP3 service cannot be installed on this version of Windows."},
        LockedCase{"Windows98", 1, "4.10", "1998", 0,
                   "The SMTP Services are not available on your computer."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
