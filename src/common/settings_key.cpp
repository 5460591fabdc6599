#include "common/settings_key.h"

#include "common/smtp_config.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace vrel {
namespace {

namespace value = settings_value;

// One getter call: open without create, test the value, read it with the read type.
template <typename Result, typename Read>
Result ReadSetting(std::string_view name, Result fallback, Read read) {
    win::TRegistry registry;
    if (!registry.OpenKey(kSettingsKey, false) || !registry.ValueExists(name)) return fallback;
    return read(registry, name);
}

bool ReadFlag(std::string_view name, bool fallback) {
    return ReadSetting(name, fallback,
                       [](win::TRegistry& r, std::string_view n) { return r.ReadInteger(n) != 0; });
}

std::int32_t ReadNumber(std::string_view name, std::int32_t fallback) {
    return ReadSetting(name, fallback,
                       [](win::TRegistry& r, std::string_view n) { return r.ReadInteger(n); });
}

std::string ReadText(std::string_view name) {
    return ReadSetting(name, std::string(),
                       [](win::TRegistry& r, std::string_view n) { return r.ReadString(n); });
}

constexpr std::string_view kDefaultMailInBoxDir = "C:\\InetPub\\MailRoot\\Users";

}  // namespace

bool GetShowSplashScreen() {
    return ReadFlag(value::ShowSplashScreen, true);
}
bool GetCountConnections() {
    return ReadFlag(value::CountConnections, false);
}
bool GetCountMessages() {
    return ReadFlag(value::CountMessages, false);
}
bool GetLoggingEnabled() {
    return ReadFlag(value::LoggingEnabled, false);
}
std::int32_t GetLoginEventLogOption() {
    return ReadNumber(value::LoginEventLogOption, 63);
}
std::int32_t GetLogoutEventLogOption() {
    return ReadNumber(value::LogoutEventLogOption, 63);
}
std::int32_t GetMessageEventLogOption() {
    return ReadNumber(value::MessageEventLogOption, 31);
}
std::int32_t GetUserAuthentication() {
    return ReadNumber(value::UserAuthentication, 0);
}
std::int32_t GetUndeliverableMailStatus() {
    return ReadNumber(value::UndeliverableMailStatus, 0);
}

std::string GetLogFileLocation() {
    std::string location = ReadText(value::LogFileLocation);
    if (location.empty()) location = win::GetSystemDirectory() + "\\LogFiles";
    return location;
}

std::string GetEmailUsersGroup() {
    std::string group = ReadText(value::EmailUsersGroup);
    if (group.empty()) group = "Users";
    return group;
}

std::string GetPostMaster() {
    std::string postMaster = ReadText(value::PostMaster);
    if (postMaster.empty()) {
        const std::string domain = GetSmtpDefaultDomain();
        if (!domain.empty()) postMaster = "administrator@" + domain;
    }
    return postMaster;
}

// Beside the SMTP service's drop folder when there is one: D:\Mail\Drop gives D:\Mail\Users.
std::string GetMailInBoxDir() {
    std::string folder = ReadText(value::MailInBoxDir);
    if (folder.empty()) {
        folder = kDefaultMailInBoxDir;
        const std::string drop = GetSmtpDropDirectory();
        const std::size_t lastSeparator = drop.rfind('\\');
        if (lastSeparator != std::string::npos)
            folder = drop.substr(0, lastSeparator + 1) + "Users";
    }
    return folder;
}

void IncrementCounter(std::string_view valueName) {
    win::TRegistry registry;
    registry.OpenKey(kSettingsKey, true);
    registry.UpdateInteger(valueName, [](std::optional<std::int32_t> count) {
        // A full counter wraps round, as the 32-bit register it stands for would.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(count.value_or(0)) + 1);
    });
}

}  // namespace vrel
