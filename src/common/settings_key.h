// The SettingsKey: every configuration value of the suite, read through one getter per
// value, and the increment of the usage counters.
//
// Called by all three programs, from any thread. Each call opens the key, reads one value
// and closes it again; nothing is cached, so a change applies at the next call. Absence
// gives the default; a value stored with another registry type raises
// win::ERegistryException to the caller. The SMTP service's values behind the defaults of
// GetPostMaster and GetMailInBoxDir come from smtp_config.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrel {

// HKEY_LOCAL_MACHINE, absolute from the root.
inline constexpr std::string_view kSettingsKey = "\\Software\\Tavimere\\POP3 Server";

// Value names of the SettingsKey.
namespace settings_value {
inline constexpr std::string_view ShowSplashScreen = "ShowSplashScreen";
inline constexpr std::string_view MailInBoxDir = "MailInBoxDir";
inline constexpr std::string_view PostMaster = "PostMaster";
inline constexpr std::string_view LoggingEnabled = "LoggingEnabled";
inline constexpr std::string_view LogFileLocation = "LogFileLocation";
inline constexpr std::string_view LoginEventLogOption = "LoginEventLogOption";
inline constexpr std::string_view LogoutEventLogOption = "LogoutEventLogOption";
inline constexpr std::string_view MessageEventLogOption = "MessageEventLogOption";
inline constexpr std::string_view CountConnections = "CountConnections";
inline constexpr std::string_view CountMessages = "CountMessages";
inline constexpr std::string_view UserAuthentication = "UserAuthentication";
inline constexpr std::string_view NTDomainLogonServer = "NTDomainLogonServer";
inline constexpr std::string_view EmailUsersGroup = "EmailUsersGroup";
inline constexpr std::string_view UndeliverableMailStatus = "UndeliverableMailStatus";
inline constexpr std::string_view AppendAliases = "AppendAliases";
inline constexpr std::string_view DuplicateAliasOptions = "DuplicateAliasOptions";
inline constexpr std::string_view InvalidUserOptions = "InvalidUserOptions";
inline constexpr std::string_view InstallDirectory = "InstallDirectory";
inline constexpr std::string_view ConnectionCountStarted = "ConnectionCountStarted";
inline constexpr std::string_view MessageCountStarted = "MessageCountStarted";
// UsageCounters
inline constexpr std::string_view SMTPConnections = "SMTPConnections";
inline constexpr std::string_view MessagesReceived = "MessagesReceived";
inline constexpr std::string_view MessagesDelivered = "MessagesDelivered";
inline constexpr std::string_view POP3Connections = "POP3Connections";
inline constexpr std::string_view POP3Logons = "POP3Logons";
}  // namespace settings_value

bool GetShowSplashScreen();
bool GetCountConnections();
bool GetCountMessages();
bool GetLoggingEnabled();
std::int32_t GetLoginEventLogOption();
std::int32_t GetLogoutEventLogOption();
std::int32_t GetMessageEventLogOption();
std::int32_t GetUserAuthentication();
std::int32_t GetUndeliverableMailStatus();
std::string GetLogFileLocation();
std::string GetEmailUsersGroup();
std::string GetPostMaster();
std::string GetMailInBoxDir();

// Adds 1 to a usage counter (an absent counter counts as 0), creating the key when needed.
// Callers test the counter's flag first. The read and the write are one transaction, so
// concurrent increments from several programs and threads are all kept.
void IncrementCounter(std::string_view valueName);

}  // namespace vrel
