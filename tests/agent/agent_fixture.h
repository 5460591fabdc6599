// Test fixture of the message agent: a fresh machine whose SettingsKey and metabase the
// tests fill, a frozen local clock, and the running program posing as popagent (its
// version block) for the log header.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "common/alias_table.h"
#include "common/system_module.h"
#include "platform/accounts.h"
#include "platform/cdo.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "settings_fixture.h"

namespace vrel::test {

class AgentTest : public SettingsTest {
  protected:
    void SetUp() override {
        SetFixedTime("2026-12-09T10:10:10.001");
        UseVersionBlockOf("popagent");
    }
    void TearDown() override {
        ::unsetenv("VREL_FIXED_TIME");
        SystemModule.reset();
    }

    static void SetFixedTime(const char* time) { ::setenv("VREL_FIXED_TIME", time, 1); }

    static void UseVersionBlockOf(const char* program) {
        SystemModule = std::make_unique<TSystemModule>();
        SystemModule->VersionInfo =
            TWSAExeVersion(win::ToWindowsPath(BinFolder() / program) + ".exe");
    }

    static std::string ReadFile(std::string_view windowsPath) {
        std::ifstream in(win::ToHostPath(windowsPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static bool HostExists(std::string_view windowsPath) {
        return std::filesystem::exists(win::ToHostPath(windowsPath));
    }

    // Every entry name of a folder, hidden ones included.
    static std::set<std::string> Entries(std::string_view windowsFolder) {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(win::ToHostPath(windowsFolder), error)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

// A mail host: the computer MAILHOST, whose "Users" group holds the mail users alice and
// Bob (carol is an account outside the group); the SMTP service with the default domain
// mail.test and the Domain node other.test; mailboxes in C:\Mail, the log in C:\Logs;
// both counter switches on and logging on. Arriving messages are files in the queue folder.
class ArrivalTest : public AgentTest {
  protected:
    static constexpr const char* kBadMail = "C:\\Inetpub\\mailroot\\Badmail";
    static constexpr const char* kPickup = "C:\\Inetpub\\mailroot\\Pickup";
    static constexpr const char* kQueue = "C:\\Inetpub\\mailroot\\Queue";
    static constexpr const char* kContent =
        "From: Sender <sender@remote.test>\r\n"
        "To: alice@mail.test, Bob@mail.test\r\n"
        "Subject: Lunch\r\n"
        "\r\n"
        "At noon?\r\n";

    void SetUp() override {
        AgentTest::SetUp();
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(
            "\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true));
        registry.WriteString("ComputerName", "MAILHOST");
        win::AccountDirectory directory;
        const win::Authority host = *directory.FindAuthority("MAILHOST");
        const win::Account users = *directory.FindAccount(host, "Users");
        for (const char* name : {"alice", "Bob", "carol"}) directory.AddUser(host, name, "");
        directory.AddMember(users, *directory.FindAccount(host, "alice"));
        directory.AddMember(users, *directory.FindAccount(host, "Bob"));

        InstallSmtpServer({{"DefaultDomain", "mail.test"},
                           {"BadMailDirectory", kBadMail},
                           {"PickupDirectory", kPickup}});
        CreateNode("/smtpsvc/1/Domain", "IIsSmtpDomain", "other.test");
        for (const char* folder : {kBadMail, kPickup, kQueue}) win::ForceDirectories(folder);

        StoreText(settings_value::MailInBoxDir, "C:\\Mail");
        StoreText(settings_value::LogFileLocation, "C:\\Logs");
        for (const auto name : {settings_value::CountConnections, settings_value::CountMessages,
                                settings_value::LoggingEnabled}) {
            StoreNumber(name, 1);
        }
    }

    static void WriteAliases(const std::vector<std::pair<const char*, const char*>>& aliases) {
        if (!Pop3MetabaseExists()) CreatePop3Metabase();
        for (const auto& [alias, target] : aliases) ASSERT_TRUE(WriteAlias(alias, target));
    }

    // A message in the queue folder with the SMTP service's envelope; the empty sender is
    // the null reverse-path.
    static std::shared_ptr<win::IMessage> Arrive(const std::string& recipients,
                                                 const std::string& content = kContent,
                                                 const std::string& clientIp = "10.0.0.5",
                                                 const std::string& sender = "sender@remote.test") {
        const std::string file = std::string(kQueue) + "\\arrived.eml";
        std::ofstream(win::ToHostPath(file), std::ios::binary) << content;
        return win::OpenMessage(file, win::MakeSmtpEnvelope(recipients, sender, clientIp));
    }

    static std::int32_t Counter(std::string_view name) {
        win::TRegistry registry;
        if (!registry.OpenKey(kSettingsKey, false) || !registry.ValueExists(name)) return 0;
        return registry.ReadInteger(name);
    }

    // Names of the files of a folder that a mailbox listing takes.
    static std::set<std::string> EmlFiles(const std::string& folder) {
        std::set<std::string> names;
        win::TSearchRec found;
        for (int rc = win::FindFirst(folder + "\\*.eml", win::faAnyFile, found); rc == 0;
             rc = win::FindNext(found)) {
            names.insert(found.Name);
        }
        return names;
    }
};

}  // namespace vrel::test
