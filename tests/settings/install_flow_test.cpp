// The whole installation through the main window's buttons alone, on a fresh machine: the SMTP
// component (sysocmgr), then the POP3 side (the agent registered and bound, the service
// installed and started); then a message sent over SMTP to a mail user is fetched over POP3.
// Everything is real: the installer, the SMTP service, COM starting the agent, the POP3
// service, and sockets on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/alias_table.h"
#include "common/settings_key.h"
#include "loopback.h"
#include "mail_account.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings_fixture.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::LoopbackClient;

constexpr const char* kMessage =
    "From: sender@remote.test\r\nSubject: installed\r\n\r\n"
    "Installed through the settings window.\r\n";

// The popagent processes that COM started for this test's machine.
void KillAgentsOfThisMachine() {
    const std::string mark = std::string("VREL_MACHINE=") + std::getenv("VREL_MACHINE");
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream command(entry.path() / "cmdline");
        std::ifstream environment(entry.path() / "environ");
        const std::string commandLine((std::istreambuf_iterator<char>(command)), {});
        std::string variable;
        bool ours = false;
        while (std::getline(environment, variable, '\0')) ours = ours || variable == mark;
        if (ours && commandLine.find("popagent") != std::string::npos) {
            ::kill(std::stoi(pid), SIGKILL);
        }
    }
}

// Sends a line (CR LF added) and returns the first line of the reply.
std::string Say(LoopbackClient& client, const std::string& line) {
    client.Send(line + "\r\n");
    return client.ReadLine();
}

class InstallFlowTest : public vrel::test::PopDlgTest {
  protected:
    void SetUp() override {
        PopDlgTest::SetUp();
        win::TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST01");
        smtpPort_ = vrel::test::FreePort();
        pop3Port_ = vrel::test::FreePort();
        std::ofstream(win::ToHostPath(win::GetSystemDirectory() + "\\drivers\\etc\\services"))
            << "smtp " << smtpPort_ << "/tcp mail\npop3 " << pop3Port_ << "/tcp\n";
        vrel::test::AddComputerUser("ann", "Secret1", true);
    }

    void TearDown() override {
        PopDlgTest::TearDown();
        KillAgentsOfThisMachine();
    }

    // A click on the row, then on Install, as the administrator does.
    void InstallRow(int row) {
        vcl::TOwnerDrawListBox& list = *Form().GenStatusListBox;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(60, row * 18 + 9));
        ASSERT_TRUE(Form().InstallButton->isEnabled());
        QTest::mouseClick(Form().InstallButton, Qt::LeftButton);
    }

    void SendOverSmtp(const std::string& recipient = "ann@mailhost01") {
        LoopbackClient smtp(smtpPort_);
        ASSERT_EQ(smtp.ReadLine().substr(0, 3), "220");
        EXPECT_EQ(Say(smtp, "HELO client.test").substr(0, 3), "250");
        EXPECT_EQ(Say(smtp, "MAIL FROM:<sender@remote.test>").substr(0, 3), "250");
        EXPECT_EQ(Say(smtp, "RCPT TO:<" + recipient + ">").substr(0, 3), "250");
        EXPECT_EQ(Say(smtp, "DATA").substr(0, 3), "354");
        smtp.Send(kMessage);
        EXPECT_EQ(Say(smtp, ".").substr(0, 3), "250");
        Say(smtp, "QUIT");
    }

    // The first message of ann's mailbox over POP3, once it has arrived; "" when none did.
    std::string FetchOverPop3() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            LoopbackClient pop3(pop3Port_);
            EXPECT_EQ(pop3.ReadLine().substr(0, 3), "+OK");
            EXPECT_EQ(Say(pop3, "USER ann").substr(0, 3), "+OK");
            EXPECT_EQ(Say(pop3, "PASS Secret1").substr(0, 3), "+OK");
            if (Say(pop3, "STAT").rfind("+OK 0 ", 0) == 0) {
                Say(pop3, "QUIT");
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            std::string text;
            EXPECT_EQ(Say(pop3, "RETR 1").substr(0, 3), "+OK");
            for (std::string line = pop3.ReadLine(); line != ".\r\n" && !line.empty();
                 line = pop3.ReadLine()) {
                text += line;
            }
            Say(pop3, "QUIT");
            return text;
        }
        return "";
    }

    void Click(QPushButton* button) {
        ASSERT_TRUE(button->isVisible() && button->isEnabled())
            << button->objectName().toStdString() << " " << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    int smtpPort_ = 0;
    int pop3Port_ = 0;
};

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
// a local domain added, the PostMaster set, Finish; then mail to the new domain flows.
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
    Click(form.WizStartButton);
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
    // The PostMaster is an alias made first, typed as its address.
    ASSERT_TRUE(vrel::WriteAlias("boss", "ann"));
    form.WizDomainEdit->setText("boss@newdomain.test");
    Click(form.WizNextButton);
    EXPECT_EQ(form.WizStepLabel->text(), "POP3 Setup Wizard Completed");
    EXPECT_EQ(vrel::GetPostMaster(), "boss@newdomain.test");
    EXPECT_EQ(form.PMEdit->text(), "boss@newdomain.test");
    vrel::test::SaveScreenshot(form, "popsetup_PopDlg-Wizard-walked");

    SendOverSmtp("ann@newdomain.test");
    const std::string fetched = FetchOverPop3();
    EXPECT_NE(fetched.find("Subject: installed\r\n"), std::string::npos) << fetched;
    EXPECT_NE(fetched.find("\r\nInstalled through the settings window.\r\n"), std::string::npos);
}

}  // namespace
