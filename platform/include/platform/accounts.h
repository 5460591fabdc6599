// The account directory of the machine: the authorities (the local computer and the NT
// domains the machine knows), their user accounts and groups, and direct memberships.
//
// Called by the WinNT directory provider, the logon functions, the process token and the
// admin command line. Names compare without case and keep the case they were made with.
// Every name is checked against the Windows naming rules when an account, group or domain
// is made, so nothing else need trust a stored name. Passwords are kept only as crypt(3)
// yescrypt hashes; the clear text never reaches the store.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winerror.h"

namespace win {

// The machine's store, private to the platform.
class Db;

// A refused directory change, with the system error code Windows gives for it.
class AccountError : public std::runtime_error {
  public:
    AccountError(DWORD code, const std::string& message);
    // With the system's text for the code.
    explicit AccountError(DWORD code);
    DWORD Code() const { return code_; }

  private:
    DWORD code_;
};

// The id of the local computer's authority; domains have others.
inline constexpr std::int64_t kComputerAuthorityId = 1;

struct Authority {
    std::int64_t id = 0;
    std::string name;  // the computer name, or the domain's name
    bool isComputer = false;
    std::string controller;  // a domain's controller; empty when none can be reached
};

enum class AccountClass { User, Group };

struct Account {
    std::int64_t id = 0;
    std::int64_t authorityId = 0;
    std::string authority;  // the authority's name
    std::string name;
    AccountClass kind = AccountClass::User;
    bool disabled = false;
};

// Throws AccountError ERROR_INVALID_ACCOUNT_NAME for a name Windows refuses for an
// account or group: 1 to 20 characters, none of " / \ [ ] : ; | = , + * ? < > or a
// control character, not only dots and blanks.
void CheckAccountName(std::string_view name);
// NetBIOS names of domains and computers: the same characters, 1 to 15 of them.
bool IsValidNetBiosName(std::string_view name);

class AccountDirectory {
  public:
    AccountDirectory();
    // Uses a borrowed connection (machine initialisation).
    explicit AccountDirectory(Db& db);
    AccountDirectory(const AccountDirectory&) = delete;
    AccountDirectory& operator=(const AccountDirectory&) = delete;
    ~AccountDirectory();

    // The registry's ComputerName, and the domain or workgroup the computer belongs to.
    std::string ComputerName();
    std::string ComputerDomain();
    void SetComputerDomain(std::string_view name);

    // The local computer (by its name) or a known domain, whether reachable or not.
    std::optional<Authority> FindAuthority(std::string_view name);
    // The same, but only a domain whose controller can be reached.
    std::optional<Authority> FindReachableAuthority(std::string_view name);
    std::vector<Authority> Domains();
    // An empty controller makes a domain without a reachable controller.
    void AddDomain(std::string_view name, std::string_view controller);
    void SetDomainController(std::string_view name, std::string_view controller);
    // Removes the domain with its accounts and every membership they had.
    void DeleteDomain(std::string_view name);

    void AddUser(const Authority& authority, std::string_view name, std::string_view password);
    // Local groups of the computer, global groups of a domain.
    void AddGroup(const Authority& authority, std::string_view name);
    // Removes the account and every membership it has or holds.
    void DeleteAccount(const Account& account);
    void SetPassword(const Account& user, std::string_view password);
    void SetDisabled(const Account& user, bool disabled);

    std::optional<Account> FindAccount(const Authority& authority, std::string_view name);
    // Users, then groups, each in the order they were made.
    std::vector<Account> Accounts(const Authority& authority);
    // Direct members, in the order they were added.
    std::vector<Account> Members(const Account& group);
    void AddMember(const Account& group, const Account& member);
    void RemoveMember(const Account& group, const Account& member);
    // Every group that lists the account, directly or through other groups.
    std::vector<Account> GroupsOf(const Account& account);

    // True when the user has a password and this is it. A blank password never matches.
    // Every call hashes once, with or without a hash to match: the time a check takes tells
    // nothing about the account.
    bool PasswordMatches(const Account& user, std::string_view password);
    // Hashes the password once at the directory's cost and forgets the result: what a check
    // of a real password costs, for a logon that has no account to check it against.
    void HashInVain(std::string_view password);
    bool HasPassword(const Account& user);

  private:
    Db& Store();
    std::vector<Account> Query(std::string_view sql, std::int64_t key);
    Authority RequireDomain(std::string_view name);
    void Insert(const Authority& authority, std::string_view name, AccountClass kind,
                const std::optional<std::string>& hash);
    std::optional<std::string> HashOf(const Account& user);
    int HashCost();

    std::unique_ptr<Db> ownDb_;
    Db* db_;
};

}  // namespace win
