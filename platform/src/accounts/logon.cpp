#include "platform/logon.h"

#include "platform/accounts.h"

namespace win {
namespace {

// The authority that holds the accounts, or nothing when it cannot be reached.
std::optional<Authority> LogonAuthority(AccountDirectory& directory, std::string_view domain) {
    if (domain.empty() || domain == ".") return directory.FindAuthority(directory.ComputerName());
    return directory.FindReachableAuthority(domain);
}

// Every path hashes once (PasswordMatches does so for a blank account too), so that a
// logon takes as long for a blank, disabled or unknown account as for a wrong password.
DWORD Check(AccountDirectory& directory, const Account& user, std::string_view password) {
    const bool blankAccount = !directory.HasPassword(user);
    const bool matches = directory.PasswordMatches(user, password);
    const bool proven = blankAccount ? password.empty() : matches;
    if (!proven) return ERROR_LOGON_FAILURE;
    if (user.disabled) return ERROR_ACCOUNT_DISABLED;
    return blankAccount ? ERROR_ACCOUNT_RESTRICTION : ERROR_SUCCESS;
}

}  // namespace

DWORD LogonUser(std::string_view userName, std::string_view domain, std::string_view password,
                DWORD logonType, DWORD logonProvider, std::unique_ptr<AccessToken>& token) {
    token.reset();
    if (logonType != LOGON32_LOGON_NETWORK || logonProvider != LOGON32_PROVIDER_DEFAULT) {
        return ERROR_INVALID_PARAMETER;
    }
    AccountDirectory directory;
    const auto authority = LogonAuthority(directory, domain);
    if (!authority) return ERROR_NO_SUCH_DOMAIN;
    const auto user = directory.FindAccount(*authority, userName);
    if (!user || user->kind != AccountClass::User) {
        directory.HashInVain(password);
        return ERROR_LOGON_FAILURE;
    }
    const DWORD result = Check(directory, *user, password);
    if (result == ERROR_SUCCESS) token = TokenOf(*user);
    return result;
}

DWORD NetGetDCName(std::string_view serverName, std::string_view domainName,
                   std::string& controllerName) {
    controllerName.clear();
    if (!serverName.empty()) return ERROR_INVALID_PARAMETER;
    AccountDirectory directory;
    const std::string domain =
        domainName.empty() ? directory.ComputerDomain() : std::string(domainName);
    if (!IsValidNetBiosName(domain)) return ERROR_INVALID_NAME;
    const auto authority = directory.FindAuthority(domain);
    if (!authority || authority->isComputer || authority->controller.empty()) {
        return NERR_DCNotFound;
    }
    controllerName = "\\\\" + authority->controller;
    return ERROR_SUCCESS;
}

}  // namespace win
