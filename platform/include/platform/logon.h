// Network logon and domain-controller lookup against the machine's account directory.
//
// Called by the POP3 service to prove a password and by the settings program to test
// that a domain's controller can be reached. The user name, domain and password come from
// the network or a window and are not trusted: they are only looked up and hashed.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/token.h"
#include "platform/winerror.h"

namespace win {

inline constexpr DWORD LOGON32_LOGON_NETWORK = 3;
inline constexpr DWORD LOGON32_PROVIDER_DEFAULT = 0;

// LogonUser: ERROR_SUCCESS and the account's token, or the error Windows gives:
//   ERROR_LOGON_FAILURE (1326)       unknown user or wrong password
//   ERROR_ACCOUNT_RESTRICTION (1327) the right, blank password: blank passwords never log on
//   ERROR_ACCOUNT_DISABLED (1331)    the right password of a disabled account
//   ERROR_NO_SUCH_DOMAIN (1355)      the domain is unknown or its controller unreachable
//   ERROR_INVALID_PARAMETER (87)     a logon type or provider other than network, default
// The domain "." (or empty) is the local computer, as is the computer's own name; any
// other name is an NT domain.
DWORD LogonUser(std::string_view userName, std::string_view domain, std::string_view password,
                DWORD logonType, DWORD logonProvider, std::unique_ptr<AccessToken>& token);

// NetGetDCName, asked of the local computer (an empty server name): ERROR_SUCCESS and
// "\\" + the controller's name for a known domain with a controller; NERR_DCNotFound
// (2453) for a workgroup, an unknown domain or one without a reachable controller;
// ERROR_INVALID_NAME (123) for "." or a name that is no valid domain name. An empty
// domain name is the computer's own domain. Any other server: ERROR_INVALID_PARAMETER.
DWORD NetGetDCName(std::string_view serverName, std::string_view domainName,
                   std::string& controllerName);

}  // namespace win
