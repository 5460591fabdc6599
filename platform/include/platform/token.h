// Security tokens: who a process runs as and which groups its token lists.
//
// A process of the machine runs as the account that $VREL_LOGON_USER names ("NAME" of the
// local computer or "DOMAIN\NAME"; default "Administrator"). Its token lists the groups
// that hold that account in the directory, directly or through other groups, at the time
// the token is opened. The local computer's groups "Administrators" and "Users" carry
// the well-known BUILTIN identifiers; every other account gets an identifier of its own.
// Threads never impersonate, so a thread has no token of its own.
//
// A group is enabled in a new token unless the machine says otherwise, by group name (the
// local computer's or "DOMAIN\NAME"; several separated by ";"):
//   HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine\Token
//     DenyOnlyGroups   groups listed for deny-only use (SE_GROUP_USE_FOR_DENY_ONLY)
//     DisabledGroups   groups listed but not enabled
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

inline constexpr DWORD SE_GROUP_MANDATORY = 0x1;
inline constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x2;
inline constexpr DWORD SE_GROUP_ENABLED = 0x4;
inline constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x10;

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

// The binary form of a SID, as AllocateAndInitializeSid and GetTokenInformation give it:
// revision 1, the count of sub-authorities, the 48-bit authority (big-endian), then the
// sub-authorities.
using PSID = void*;
struct SID_IDENTIFIER_AUTHORITY {
    std::uint8_t Value[6];
};
// Up to eight sub-authorities, the first nSubAuthorityCount used; false with
// ERROR_INVALID_SID for a count above 8.
bool AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY& authority,
                              std::uint8_t nSubAuthorityCount, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                              PSID* sid);
void FreeSid(PSID sid);
bool EqualSid(const void* a, const void* b);

enum TOKEN_INFORMATION_CLASS { TokenUser = 1, TokenGroups = 2 };
inline constexpr DWORD TOKEN_QUERY = 0x0008;
struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};
// TokenGroups: the count, then the groups; the SIDs they point at follow in the same buffer.
struct TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[1];
};

class AccessToken {
  public:
    AccessToken(std::string domain, std::string user, SID userSid, std::vector<SID> groups,
                std::vector<DWORD> attributes = {});

    const std::string& Domain() const { return domain_; }
    const std::string& UserName() const { return user_; }
    const SID& User() const { return userSid_; }
    // TokenGroups: Everyone and every group that holds the user.
    const std::vector<SID>& Groups() const { return groups_; }
    // The SE_GROUP_ attributes of each group, in the same order.
    const std::vector<DWORD>& GroupAttributes() const { return attributes_; }

  private:
    std::string domain_;
    std::string user_;
    SID userSid_;
    std::vector<SID> groups_;
    std::vector<DWORD> attributes_;
};

// TokenGroups into the caller's buffer. A buffer too small (or none) fails with
// ERROR_INSUFFICIENT_BUFFER and the size needed in returnLength; another class fails with
// ERROR_INVALID_PARAMETER.
bool GetTokenInformation(const AccessToken& token, TOKEN_INFORMATION_CLASS infoClass, void* buffer,
                         DWORD length, DWORD* returnLength);

struct Account;
// The token of an account that has just logged on.
std::unique_ptr<AccessToken> TokenOf(const Account& account);

// Always ERROR_NO_TOKEN: threads of the machine do not impersonate.
DWORD OpenThreadToken(std::unique_ptr<AccessToken>& token);
// The process's token, built afresh from the directory; ERROR_SUCCESS.
DWORD OpenProcessToken(std::unique_ptr<AccessToken>& token);
// The same with the Windows calls' shape: false and the error in GetLastError.
bool OpenThreadToken(DWORD desiredAccess, bool openAsSelf, std::unique_ptr<AccessToken>& token);
bool OpenProcessToken(DWORD desiredAccess, std::unique_ptr<AccessToken>& token);
// True when the token lists the group, whatever the group's attributes.
bool CheckTokenMembership(const AccessToken& token, const SID& group);
// True when the process token lists BUILTIN\Administrators.
bool IsProcessAdministrator();

}  // namespace win
