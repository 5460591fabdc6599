// The whole installation through the main window's buttons alone, on a fresh machine: the SMTP
// component (sysocmgr), then the POP3 side (the agent registered and bound, the service
// installed and started); then a message sent over SMTP to a mail user is fetched over POP3.
// Everything is real: the installer, the SMTP service, COM starting the agent, the POP3
// service, and sockets on 127.0.0.1.
#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "loopback.h"
#include "mail_account.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings_fixture.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::LoopbackClient;

constexpr const char* kMessage =
    "From: sender@remote.test\r\nTo: ann@mailhost01\r\nSubject: installed\r\n\r\n"
    "Installed through the settings window.\r\n";

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
        vrel::test::KillAgentsOfThisMachine();
    }

    // A click on the row, then on Install, as the administrator does.
    void InstallRow(int row) {
        vcl::TOwnerDrawListBox& list = *Form().GenStatusListBox;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(60, row * 18 + 9));
        ASSERT_TRUE(Form().InstallButton->isEnabled());
        QTest::mouseClick(Form().InstallButton, Qt::LeftButton);
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

    vrel::test::SendOverSmtp(smtpPort_, "sender@remote.test", "ann@mailhost01", kMessage);
    const std::string fetched = FetchOverPop3();
    EXPECT_NE(fetched.find("Subject: installed\r\n"), std::string::npos) << fetched;
    EXPECT_NE(fetched.find("\r\nInstalled through the settings window.\r\n"), std::string::npos);
}

}  // namespace
