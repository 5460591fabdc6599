// The POP3 session's lines in the daily log: logins, failed logins and logouts, each naming
// the user and the client's address and host name.
//
// Called by the authorization phase and the session thread. The user name and the host
// name of the reverse lookup come from outside: their control characters are shown as "?"
// so that neither can break a log line or forge one.
#pragma once

#include <string>
#include <string_view>

#include "platform/sockets.h"

namespace vrel {

inline constexpr std::string_view kLoginEvent = "  login: ";
inline constexpr std::string_view kLogoutEvent = " logout: ";

// The current local date and time, the event, the user, " from: [", the client's address,
// "] ", its host name (empty when none is found), " -> " and the outcome, as given.
std::string ClientLogLine(std::string_view event, std::string_view userName,
                          const win::TServerClientWinSocket& client, std::string_view outcome);

}  // namespace vrel
