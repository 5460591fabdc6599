// An alias added in the window is in force for the next message: the SMTP component
// installed by its installer, the agent registered and bound, then an alias typed into the
// Aliases page, and a message sent over SMTP to the alias lands in the target's mailbox.
// Everything is real: the installer, the SMTP service, COM starting the agent, and sockets
// on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "agent/mailbox.h"
#include "alias_fixture.h"
#include "loopback.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "settings/agent_install.h"
#include "settings/smtp_component.h"

namespace {

namespace fs = std::filesystem;

class AliasMailFlowTest : public vrel::test::AliasTabTest {
  protected:
    void SetUp() override {
        win::TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST01");
        smtpPort_ = vrel::test::FreePort();
        std::ofstream(win::ToHostPath(win::GetSystemDirectory() + "\\drivers\\etc\\services"))
            << "smtp " << smtpPort_ << "/tcp mail\n";
        AliasTabTest::SetUp();
    }

    void TearDown() override {
        AliasTabTest::TearDown();
        vrel::test::KillAgentsOfThisMachine();
    }

    // The text of the first message file in the user's mailbox once one is there.
    static std::string FirstMessage(const std::string& user) {
        const fs::path folder = win::ToHostPath(vrel::GetUserMailDir(user));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& entry : fs::directory_iterator(folder)) {
                if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') {
                    continue;
                }
                std::ostringstream text;
                text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }

    int smtpPort_ = 0;
};

TEST_F(AliasMailFlowTest, AnAliasAddedInTheWindowDeliversTheNextMessage) {
    vrel::SetSmtpComponent(true);
    ASSERT_EQ(vrel::test::WaitForState("SMTPSVC", win::SERVICE_RUNNING, std::chrono::seconds(30))
                  .dwCurrentState,
              win::SERVICE_RUNNING);
    ASSERT_TRUE(vrel::RegisterMessageAgent());
    Seed({});
    Add("sales", "bob");
    ASSERT_EQ(StoredAliases(), (vrel::test::AliasPairs{{"sales", "bob"}}));

    vrel::test::SendOverSmtp(smtpPort_, "sender@remote.test", "Sales@mailhost01",
                             "From: sender@remote.test\r\nTo: Sales@mailhost01\r\n"
                             "Subject: aliased\r\n\r\nTo the sales alias.\r\n");
    const std::string message = FirstMessage("bob");
    EXPECT_NE(message.find("Subject: aliased\r\n"), std::string::npos) << message;
    EXPECT_NE(message.find("To the sales alias."), std::string::npos);
}

}  // namespace
