// The whole installation through the main window's buttons alone, on a fresh machine: the SMTP
// component (sysocmgr), then the POP3 side (the agent registered and bound, the service
// installed and started); then a message sent over SMTP to a mail user is fetched over POP3.
// Everything is real: the installer, the SMTP service, COM starting the agent, the POP3
// service, and sockets on 127.0.0.1.
#include "install_flow_fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/alias_table.h"
#include "common/settings_key.h"
#include "common/smtp_config.h"
#include "platform/vcl.h"
#include "settings/browse_list_dlg.h"
#include "settings/service_control.h"

namespace {

using vrel::test::InstallFlowTest;

std::vector<std::string> MemoLines(const vrel::TPopDlg& form) {
    std::vector<std::string> lines;
    for (const QString& line : form.WizMemo->toPlainText().split('\n')) {
        lines.push_back(line.toStdString());
    }
    return lines;
}

std::vector<std::string> LastLines(const std::vector<std::string>& lines, std::size_t count) {
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
}

TEST_F(InstallFlowTest, ButtonsInstallEverythingAndMailFlows) {
    vrel::TPopDlg& form = Form();
    ShowPage(form.GeneralTab);
    ASSERT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Not Installed)");

    InstallRow(0);
    ASSERT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Running)");
    EXPECT_EQ(form.GenStatusListBox->ItemText(1), "POP3 Service (Not Installed)");
    EXPECT_FALSE(form.installComplete);

    InstallRow(1);
    EXPECT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Running)");
    ASSERT_EQ(form.GenStatusListBox->ItemText(1), "POP3 Service (Running)");
    EXPECT_TRUE(form.installComplete);
    vrel::test::SaveScreenshot(form, "popsetup_PopDlg-GeneralTab-installed");

    SendOverSmtp();
    const std::string fetched = FetchOverPop3();
    EXPECT_NE(fetched.find("Subject: installed\r\n"), std::string::npos) << fetched;
    EXPECT_NE(fetched.find("\r\nInstalled through the settings window.\r\n"), std::string::npos);
}

// A new administrator's way through the wizard on a fresh machine: welcome, system
// information, the SMTP component installed and started, the POP3 side installed and started,
// a local domain added, the PostMaster picked from the list, Finish; then mail to the new
// domain flows.
TEST_F(InstallFlowTest, WizardSetsUpEverythingAndMailFlows) {
    vrel::TPopDlg& form = Form();
    form.show();
    ASSERT_EQ(form.WizStepLabel->text(), "Welcome to the POP3 Setup Wizard");
    Click(form.WizNextButton);
    ASSERT_EQ(form.WizStepLabel->text(), "Step 1: System Information");
    Click(form.WizNextButton);
    ASSERT_EQ(form.WizStartButton->text(), "Install SMTP Server");
    Click(form.WizStartButton);
    ASSERT_NE(form.WizMemo->toPlainText().indexOf("   SMTP Server is INSTALLED and RUNNING"), -1)
        << form.WizMemo->toPlainText().toStdString();
    Click(form.WizNextButton);
    ASSERT_EQ(form.WizStartButton->text(), "Install POP3 Server");
    // While the new service starts, the memo tells what was done before, in order.
    std::vector<std::string> memoWhenStarting;
    vrel::SetServiceProgressDisplay([&](const std::string& service, std::uint32_t waitTime) {
        if (service == vrel::kPop3ServiceName && memoWhenStarting.empty()) {
            memoWhenStarting = MemoLines(form);
        }
        form.DrawServiceProgress(service, waitTime);
    });
    Click(form.WizStartButton);
    EXPECT_EQ(
        LastLines(memoWhenStarting, 4),
        (std::vector<std::string>{" ", "Registering Message Agent ...",
                                  "Installing POP3 service ...", "Starting POP3 service ..."}));
    ASSERT_NE(form.WizMemo->toPlainText().indexOf("   POP3 Server is INSTALLED and RUNNING"), -1)
        << form.WizMemo->toPlainText().toStdString();
    EXPECT_TRUE(form.installComplete);
    Click(form.WizNextButton);
    ASSERT_EQ(form.WizStepLabel->text(), "Step 4: Local Domains");
    QTest::keyClicks(form.WizDomainEdit, "newdomain.test");
    Click(form.WizDomainAddButton);
    EXPECT_NE(form.WizMemo->toPlainText().indexOf("   2: newdomain.test"), -1);
    Click(form.WizNextButton);
    ASSERT_EQ(form.WizStepLabel->text(), "Step 5: Setup PostMaster Account");
    // The PostMaster is an alias made first, then picked from the list; the pick is put at
    // the SMTP service's default domain, not at the domain just added.
    ASSERT_TRUE(vrel::WriteAlias("boss", "ann"));
    const std::string defaultDomain = vrel::GetSmtpDefaultDomain();
    ASSERT_FALSE(defaultDomain.empty());
    const QString postMaster = QString::fromStdString("boss@" + defaultDomain);
    QTest::keyClick(form.WizDomainEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form.WizDomainEdit, Qt::Key_Backspace);  // any change enables Browse
    ASSERT_EQ(form.WizDomainAddButton->text(), "Browse");
    vcl::ModalScript script;
    script.Then([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select PostMaster");
        const auto found =
            vrel::BrowseListDlg->GroupListBox->findItems("boss (alias)", Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1);
        if (!found.isEmpty()) found.front()->setSelected(true);
        return vcl::mrOk;
    });
    Click(form.WizDomainAddButton);
    EXPECT_EQ(script.Shown(), std::vector<std::string>{"BrowseListDlg"});
    EXPECT_EQ(form.WizDomainEdit->text(), postMaster);
    Click(form.WizNextButton);
    EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard Completed");
    EXPECT_EQ(vrel::GetPostMaster(), postMaster.toStdString());
    EXPECT_EQ(form.PMEdit->text(), postMaster);
    vrel::test::SaveScreenshot(form, "popsetup_PopDlg-Wizard-walked");

    SendOverSmtp("ann@newdomain.test");
    const std::string fetched = FetchOverPop3();
    EXPECT_NE(fetched.find("Subject: installed\r\n"), std::string::npos) << fetched;
    EXPECT_NE(fetched.find("\r\nInstalled through the settings window.\r\n"), std::string::npos);
}

}  // namespace
