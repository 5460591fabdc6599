// Test fixture of POP3 sessions: a machine named MAILHOST with the mail user bob (password
// "secret") in the group Users and the account eve outside it, mailboxes under C:\Mail,
// the daily log under C:\Logs at a frozen date, and the running program posing as
// popservice (its version block). Each session runs on its own TMyServerThread over a real
// loopback connection.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "common/system_module.h"
#include "loopback.h"
#include "mail_account.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "service/my_server_thread.h"
#include "settings_fixture.h"

namespace vrel::test {

// A session thread serving one loopback client; ended and joined on destruction.
class Session {
  public:
    explicit Session(ClientLimits& limits) : Session(ConnectLoopback(), limits) {}

    ~Session() {
        thread_->Terminate();
        thread_->CloseClient();
        thread_->WaitFor();
    }

    LoopbackClient& Client() { return client_; }
    const std::string& ClientHost() const { return clientHost_; }
    TMyServerThread& Thread() { return *thread_; }

    // Sends a command line and returns as much reply as `expected` is long (less when the
    // server falls silent or closes first).
    std::string Exchange(const std::string& command, const std::string& expected) {
        client_.Send(command + "\r\n");
        return Read(expected.size());
    }
    std::string Read(std::size_t length) {
        std::string reply;
        while (reply.size() < length) {
            const std::string line = client_.ReadLine();
            if (line.empty()) break;
            reply += line;
        }
        return reply;
    }

  private:
    Session(LoopbackPair pair, ClientLimits& limits)
        : client_(std::move(pair.client)), clientHost_(pair.server->RemoteHost()) {
        thread_ = std::make_unique<TMyServerThread>(std::move(pair.server), limits);
        thread_->Resume();
    }

    LoopbackClient client_;
    std::string clientHost_;
    std::unique_ptr<TMyServerThread> thread_;
};

class SessionTest : public SettingsTest {
  protected:
    static constexpr const char* kMailbox = "C:\\Mail\\bob";
    static constexpr const char* kLog = "C:\\Logs\\POP3Srv\\261209.log";

    void SetUp() override {
        ::setenv("VREL_FIXED_TIME", "2026-12-09T10:10:10.001", 1);
        SystemModule = std::make_unique<TSystemModule>();
        SystemModule->VersionInfo =
            TWSAExeVersion(win::ToWindowsPath(BinFolder() / "popservice") + ".exe");
        {
            win::TRegistry registry;
            registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                             true);
            registry.WriteString("ComputerName", "MAILHOST");
        }
        AddComputerUser("bob", "secret", true);
        AddComputerUser("eve", "evepass", false);
        StoreText(settings_value::MailInBoxDir, "C:\\Mail");
        StoreNumber(settings_value::LoggingEnabled, 1);
        StoreText(settings_value::LogFileLocation, "C:\\Logs");
    }

    void TearDown() override {
        ::unsetenv("VREL_FIXED_TIME");
        SystemModule.reset();
    }

    static std::filesystem::path Host(std::string_view windowsPath) {
        return win::ToHostPath(windowsPath);
    }
    static void Store(const std::string& name, const std::string& content) {
        std::filesystem::create_directories(Host(kMailbox));
        std::ofstream(Host(std::string(kMailbox) + "\\" + name), std::ios::binary) << content;
    }
    static bool Exists(const std::string& name) {
        return std::filesystem::exists(Host(std::string(kMailbox) + "\\" + name));
    }
    static std::string ReadLog() {
        std::ifstream in(Host(kLog), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::int32_t Counter(std::string_view name) {
        win::TRegistry registry;
        if (!registry.OpenKeyReadOnly(kSettingsKey) || !registry.ValueExists(name)) return 0;
        return registry.ReadInteger(name);
    }

    // The listener's limits, shared by the sessions of one test.
    ClientLimits limits_;

    // The greeting line of a new session.
    static std::string Greeting() {
        return "+OK " + win::gethostname() + " Vrel POP3 Server " +
               SystemModule->VersionInfo.GetFileVersion() + " Ready\r\n";
    }
    // A session that has read its greeting.
    std::unique_ptr<Session> Open() {
        auto session = std::make_unique<Session>(limits_);
        EXPECT_EQ(session->Read(1), Greeting());
        return session;
    }
    // A session logged on as bob, its mailbox greeting read.
    std::unique_ptr<Session> LogOn() {
        auto session = Open();
        const std::string welcome = "+OK bob is welcome here, password please\r\n";
        EXPECT_EQ(session->Exchange("USER bob", welcome), welcome);
        session->Client().Send("PASS secret\r\n");
        const std::string greeting = session->Read(1);
        EXPECT_EQ(greeting.rfind("+OK bob's mailbox has ", 0), 0u) << greeting;
        return session;
    }
};

}  // namespace vrel::test
