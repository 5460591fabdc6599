#include "platform/token.h"

#include <cstdlib>
#include <string_view>

#include "platform/accounts.h"
#include "platform/text.h"

namespace win {
namespace {

constexpr std::string_view kDefaultLogonUser = "Administrator";

const SID kEveryone{SECURITY_WORLD_SID_AUTHORITY, {0}};
const SID kNullSid{0, {0}};

// The BUILTIN identifiers of the local computer's own groups, or one made from the ids.
SID SidOf(const Account& account) {
    if (account.authorityId == kComputerAuthorityId && account.kind == AccountClass::Group) {
        if (SameText(account.name, "Administrators")) {
            return SID{SECURITY_NT_AUTHORITY,
                       {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
        }
        if (SameText(account.name, "Users")) {
            return SID{SECURITY_NT_AUTHORITY,
                       {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}};
        }
    }
    return SID{SECURITY_NT_AUTHORITY,
               {SECURITY_NT_NON_UNIQUE, static_cast<std::uint32_t>(account.authorityId),
                static_cast<std::uint32_t>(account.id)}};
}

std::unique_ptr<AccessToken> TokenFrom(AccountDirectory& directory, const Account& account) {
    std::vector<SID> groups{kEveryone};
    for (const Account& group : directory.GroupsOf(account)) groups.push_back(SidOf(group));
    return std::make_unique<AccessToken>(account.authority, account.name, SidOf(account),
                                         std::move(groups));
}

}  // namespace

std::string ConvertSidToStringSid(const SID& sid) {
    std::string text = "S-1-" + std::to_string(sid.identifierAuthority);
    for (const std::uint32_t part : sid.subAuthorities) text += "-" + std::to_string(part);
    return text;
}

AccessToken::AccessToken(std::string domain, std::string user, SID userSid, std::vector<SID> groups)
    : domain_(std::move(domain)),
      user_(std::move(user)),
      userSid_(std::move(userSid)),
      groups_(std::move(groups)) {}

std::unique_ptr<AccessToken> TokenOf(const Account& account) {
    AccountDirectory directory;
    return TokenFrom(directory, account);
}

DWORD OpenThreadToken(std::unique_ptr<AccessToken>& token) {
    token.reset();
    return ERROR_NO_TOKEN;
}

DWORD OpenProcessToken(std::unique_ptr<AccessToken>& token) {
    const char* variable = std::getenv("VREL_LOGON_USER");
    const std::string_view logon = variable && *variable ? variable : kDefaultLogonUser;
    const std::size_t slash = logon.find('\\');
    AccountDirectory directory;
    const auto authority = slash == std::string_view::npos
                               ? directory.FindAuthority(directory.ComputerName())
                               : directory.FindAuthority(logon.substr(0, slash));
    const std::string_view name = slash == std::string_view::npos ? logon : logon.substr(slash + 1);
    const auto account = authority ? directory.FindAccount(*authority, name) : std::nullopt;
    if (account && account->kind == AccountClass::User) {
        token = TokenFrom(directory, *account);
    } else {
        // An account the directory does not hold is an anonymous user: Everyone only.
        token =
            std::make_unique<AccessToken>(authority ? authority->name : std::string(),
                                          std::string(name), kNullSid, std::vector<SID>{kEveryone});
    }
    return ERROR_SUCCESS;
}

bool CheckTokenMembership(const AccessToken& token, const SID& group) {
    for (const SID& listed : token.Groups()) {
        if (EqualSid(listed, group)) return true;
    }
    return false;
}

bool IsProcessAdministrator() {
    std::unique_ptr<AccessToken> token;
    if (OpenProcessToken(token) != ERROR_SUCCESS) return false;
    return CheckTokenMembership(
        *token, SID{SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}});
}

}  // namespace win
