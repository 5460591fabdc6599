#include "platform/token.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/accounts.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace win {
namespace {

constexpr std::string_view kDefaultLogonUser = "Administrator";

const SID kEveryone{SECURITY_WORLD_SID_AUTHORITY, {0}};
const SID kNullSid{0, {0}};

// The BUILTIN identifiers of the local computer's own groups, or one made from the ids.
SID SidOf(const Account& account) {
    if (account.authorityId == kComputerAuthorityId && account.kind == AccountClass::Group) {
        if (AnsiSameText(account.name, "Administrators")) {
            return SID{SECURITY_NT_AUTHORITY,
                       {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
        }
        if (AnsiSameText(account.name, "Users")) {
            return SID{SECURITY_NT_AUTHORITY,
                       {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}};
        }
    }
    return SID{SECURITY_NT_AUTHORITY,
               {SECURITY_NT_NON_UNIQUE, static_cast<std::uint32_t>(account.authorityId),
                static_cast<std::uint32_t>(account.id)}};
}

constexpr DWORD kEnabledGroup = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
constexpr std::size_t kSidHeader = 8;

// True when the machine's list (names separated by ";") holds the group, by its bare name
// for the local computer's groups or as "DOMAIN\NAME". An empty list holds none.
bool Listed(const std::string& list, const Account& group, const std::string& computer) {
    if (list.empty()) return false;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        const std::string_view name = std::string_view(list).substr(start, end - start);
        if (AnsiSameText(name, group.authority + "\\" + group.name) ||
            (AnsiSameText(group.authority, computer) && AnsiSameText(name, group.name))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The machine's lists of groups that tokens hold for deny-only use or not enabled, read once
// per token.
struct GroupLists {
    std::string denyOnly;
    std::string disabled;
    std::string computer;  // only needed, and only read, when a list is set
};

GroupLists ReadGroupLists(AccountDirectory& directory) {
    GroupLists lists;
    TRegistry registry;
    if (registry.OpenKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Token")) {
        lists.denyOnly = registry.ReadString("DenyOnlyGroups");
        lists.disabled = registry.ReadString("DisabledGroups");
    }
    if (!lists.denyOnly.empty() || !lists.disabled.empty()) {
        lists.computer = directory.ComputerName();
    }
    return lists;
}

DWORD AttributesOf(const Account& group, const GroupLists& lists) {
    if (Listed(lists.denyOnly, group, lists.computer)) return SE_GROUP_USE_FOR_DENY_ONLY;
    if (Listed(lists.disabled, group, lists.computer)) return SE_GROUP_MANDATORY;
    return kEnabledGroup;
}

std::unique_ptr<AccessToken> TokenFrom(AccountDirectory& directory, const Account& account) {
    std::vector<SID> groups{kEveryone};
    std::vector<DWORD> attributes{kEnabledGroup};
    const std::vector<Account> memberships = directory.GroupsOf(account);
    if (!memberships.empty()) {
        const GroupLists lists = ReadGroupLists(directory);
        for (const Account& group : memberships) {
            groups.push_back(SidOf(group));
            attributes.push_back(AttributesOf(group, lists));
        }
    }
    return std::make_unique<AccessToken>(account.authority, account.name, SidOf(account),
                                         std::move(groups), std::move(attributes));
}

std::size_t SidLength(const SID& sid) {
    return kSidHeader + sizeof(DWORD) * sid.subAuthorities.size();
}

// Writes the binary form of the SID at the address.
void WriteSid(const SID& sid, std::uint8_t* at) {
    at[0] = 1;
    at[1] = static_cast<std::uint8_t>(sid.subAuthorities.size());
    for (int i = 0; i < 6; ++i)
        at[2 + i] = static_cast<std::uint8_t>(sid.identifierAuthority >> (8 * (5 - i)));
    std::memcpy(at + kSidHeader, sid.subAuthorities.data(),
                sizeof(DWORD) * sid.subAuthorities.size());
}

}  // namespace

std::string ConvertSidToStringSid(const SID& sid) {
    std::string text = "S-1-" + std::to_string(sid.identifierAuthority);
    for (const std::uint32_t part : sid.subAuthorities) text += "-" + std::to_string(part);
    return text;
}

AccessToken::AccessToken(std::string domain, std::string user, SID userSid, std::vector<SID> groups,
                         std::vector<DWORD> attributes)
    : domain_(std::move(domain)),
      user_(std::move(user)),
      userSid_(std::move(userSid)),
      groups_(std::move(groups)),
      attributes_(std::move(attributes)) {
    attributes_.resize(groups_.size(), kEnabledGroup);
}

bool AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY& authority,
                              std::uint8_t nSubAuthorityCount, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                              PSID* sid) {
    if (nSubAuthorityCount > 8) return SetLastError(ERROR_INVALID_SID), false;
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    SID value;
    for (const std::uint8_t byte : authority.Value)
        value.identifierAuthority = (value.identifierAuthority << 8) | byte;
    value.subAuthorities.assign(subs, subs + nSubAuthorityCount);
    auto* memory = static_cast<std::uint8_t*>(std::malloc(SidLength(value)));
    WriteSid(value, memory);
    *sid = memory;
    return true;
}

void FreeSid(PSID sid) {
    std::free(sid);
}

bool EqualSid(const void* a, const void* b) {
    const auto* left = static_cast<const std::uint8_t*>(a);
    const auto* right = static_cast<const std::uint8_t*>(b);
    return left[1] == right[1] &&
           std::memcmp(left, right, kSidHeader + sizeof(DWORD) * left[1]) == 0;
}

bool GetTokenInformation(const AccessToken& token, TOKEN_INFORMATION_CLASS infoClass, void* buffer,
                         DWORD length, DWORD* returnLength) {
    if (infoClass != TokenGroups) return SetLastError(ERROR_INVALID_PARAMETER), false;
    const std::vector<SID>& groups = token.Groups();
    const std::size_t table =
        offsetof(TOKEN_GROUPS, Groups) + sizeof(SID_AND_ATTRIBUTES) * groups.size();
    std::size_t needed = table;
    for (const SID& group : groups) needed += SidLength(group);
    *returnLength = static_cast<DWORD>(needed);
    if (!buffer || length < needed) return SetLastError(ERROR_INSUFFICIENT_BUFFER), false;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    auto* list = static_cast<TOKEN_GROUPS*>(buffer);
    list->GroupCount = static_cast<DWORD>(groups.size());
    std::size_t at = table;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        WriteSid(groups[i], bytes + at);
        list->Groups[i] = SID_AND_ATTRIBUTES{bytes + at, token.GroupAttributes()[i]};
        at += SidLength(groups[i]);
    }
    return true;
}

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

bool OpenThreadToken(DWORD, bool, std::unique_ptr<AccessToken>& token) {
    const DWORD error = OpenThreadToken(token);
    if (error != ERROR_SUCCESS) SetLastError(error);
    return error == ERROR_SUCCESS;
}

bool OpenProcessToken(DWORD, std::unique_ptr<AccessToken>& token) {
    return OpenProcessToken(token) == ERROR_SUCCESS;
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
