// A machine ready for the whole installation through the main window: a computer name, free
// SMTP and POP3 ports in the services file, and the mail user "ann" (password "Secret1").
// The test installs with the status list's buttons (InstallRow), then sends a message over
// SMTP and fetches it over POP3 on 127.0.0.1. The agents COM started are killed at teardown.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
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

namespace vrel::test {

inline constexpr const char* kMessage =
    "From: sender@remote.test\r\nTo: ann@mailhost01\r\nSubject: installed\r\n\r\n"
    "Installed through the settings window.\r\n";

// Sends a line (CR LF added) and returns the first line of the reply.
inline std::string Say(LoopbackClient& client, const std::string& line) {
    client.Send(line + "\r\n");
    return client.ReadLine();
}

class InstallFlowTest : public PopDlgTest {
  protected:
    void SetUp() override {
        PopDlgTest::SetUp();
        win::TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST01");
        smtpPort_ = FreePort();
        pop3Port_ = FreePort();
        std::ofstream(win::ToHostPath(win::GetSystemDirectory() + "\\drivers\\etc\\services"))
            << "smtp " << smtpPort_ << "/tcp mail\npop3 " << pop3Port_ << "/tcp\n";
        AddComputerUser("ann", "Secret1", true);
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
        vrel::test::SendOverSmtp(smtpPort_, "sender@remote.test", recipient, kMessage);
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

}  // namespace vrel::test
