// Security tokens: who a process runs as and which groups its token lists.
//
// A process of the machine runs as the account that $VREL_LOGON_USER names ("NAME" of the
// local computer or "DOMAIN\NAME"; default "Administrator"). Its token lists the groups
// that hold that account in the directory, directly or through other groups, at the time
// the token is opened. The local computer's groups "Administrators" and "Users" carry
// the well-known BUILTIN identifiers; every other account gets an identifier of its own.
// Threads never impersonate, so a thread has no token of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/winerror.h"

namespace win {

inline constexpr std::uint64_t SECURITY_WORLD_SID_AUTHORITY = 1;
inline constexpr std::uint64_t SECURITY_NT_AUTHORITY = 5;
inline constexpr std::uint32_t SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr std::uint32_t SECURITY_NT_NON_UNIQUE = 21;
inline constexpr std::uint32_t DOMAIN_ALIAS_RID_ADMINS = 544;
inline constexpr std::uint32_t DOMAIN_ALIAS_RID_USERS = 545;

struct SID {
    std::uint64_t identifierAuthority = 0;
    std::vector<std::uint32_t> subAuthorities;
    friend bool operator==(const SID&, const SID&) = default;
};

inline bool EqualSid(const SID& a, const SID& b) {
    return a == b;
}
// "S-1-5-32-544" and the like.
std::string ConvertSidToStringSid(const SID& sid);

class AccessToken {
  public:
    AccessToken(std::string domain, std::string user, SID userSid, std::vector<SID> groups);

    const std::string& Domain() const { return domain_; }
    const std::string& UserName() const { return user_; }
    const SID& User() const { return userSid_; }
    // TokenGroups: Everyone and every group that holds the user.
    const std::vector<SID>& Groups() const { return groups_; }

  private:
    std::string domain_;
    std::string user_;
    SID userSid_;
    std::vector<SID> groups_;
};

struct Account;
// The token of an account that has just logged on.
std::unique_ptr<AccessToken> TokenOf(const Account& account);

// Always ERROR_NO_TOKEN: threads of the machine do not impersonate.
DWORD OpenThreadToken(std::unique_ptr<AccessToken>& token);
// The process's token, built afresh from the directory.
DWORD OpenProcessToken(std::unique_ptr<AccessToken>& token);
// True when the token lists the group, whatever the group's attributes.
bool CheckTokenMembership(const AccessToken& token, const SID& group);
// True when the process token lists BUILTIN\Administrators.
bool IsProcessAdministrator();

}  // namespace win
