#include "platform/accounts.h"

#include <crypt.h>
#include <string.h>

#include <memory>

#include "platform/registry.h"
#include "platform/text.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace {

constexpr std::size_t kMaxAccountName = 20;
constexpr std::size_t kMaxNetBiosName = 15;
constexpr std::string_view kIllegalNameCharacters = "\"/\\[]:;|=,+*?<>";
constexpr std::string_view kComputerNameKey =
    "\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr std::string_view kKnobsKey = "\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine";
constexpr std::string_view kDefaultDomain = "WORKGROUP";
constexpr int kDefaultHashCost = 5;
constexpr int kMaxHashCost = 11;  // the highest cost yescrypt takes

// Why Windows would refuse the name, or nothing when it is well formed.
std::optional<std::string> NameFault(std::string_view name, std::size_t maxLength) {
    if (name.empty()) return "is empty";
    if (name.size() > maxLength) {
        return "is longer than " + std::to_string(maxLength) + " characters";
    }
    for (const char c : name) {
        if (kIllegalNameCharacters.find(c) != std::string_view::npos) {
            return std::string("contains \"") + c + "\"";
        }
        if (static_cast<unsigned char>(c) < 0x20) return "contains a control character";
    }
    if (name.find_first_not_of(". ") == std::string_view::npos) {
        return "consists only of dots and blanks";
    }
    // Windows paths drop trailing dots and blanks, so such a name would share another's
    // folders.
    if (name.back() == '.') return "ends in a period";
    if (name.back() == ' ') return "ends in a blank";
    return std::nullopt;
}

std::string Text(DWORD code) {
    std::string text = FormatMessage(code);
    return text.substr(0, text.size() - 2);
}

[[noreturn]] void Fail(DWORD code) {
    throw AccountError(code, Text(code));
}

void CheckNetBiosName(std::string_view name, std::string_view what) {
    if (const auto fault = NameFault(name, kMaxNetBiosName)) {
        throw AccountError(ERROR_INVALID_NAME, "The " + std::string(what) + " name \"" +
                                                   std::string(name) + "\" " + *fault + ".");
    }
}

// A zeroed work area for crypt_rn, wiped again when it goes.
struct CryptArea {
    CryptArea() : data(std::make_unique<crypt_data>()) {}
    ~CryptArea() { ::explicit_bzero(data.get(), sizeof *data); }
    std::unique_ptr<crypt_data> data;
};

// A NUL-terminated copy of a password, wiped when it goes.
struct ClearText {
    explicit ClearText(std::string_view text) : value(text) {}
    ~ClearText() { ::explicit_bzero(value.data(), value.size()); }
    std::string value;
};

std::string HashPassword(std::string_view password, int cost) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn("$y$", static_cast<unsigned long>(cost), nullptr, 0, setting,
                            sizeof setting)) {
        throw AccountError(ERROR_INVALID_PARAMETER, "crypt_gensalt_rn failed");
    }
    const ClearText clear(password);
    CryptArea area;
    const char* hash = ::crypt_rn(clear.value.c_str(), setting, area.data.get(), sizeof *area.data);
    if (!hash || hash[0] == '*') throw AccountError(ERROR_INVALID_PARAMETER, "crypt_rn failed");
    return hash;
}

bool HashMatches(std::string_view password, const std::string& hash) {
    const ClearText clear(password);
    CryptArea area;
    const char* computed =
        ::crypt_rn(clear.value.c_str(), hash.c_str(), area.data.get(), sizeof *area.data);
    if (!computed || computed[0] == '*' || std::string_view(computed).size() != hash.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < hash.size(); ++i) difference |= computed[i] ^ hash[i];
    return difference == 0;
}

// crypt(3) ends a password at its first NUL, so such a password could be matched by a
// shorter one; it is refused when set and never matches.
bool HasNul(std::string_view password) {
    return password.find('\0') != std::string_view::npos;
}

std::string RegistryString(Db& db, std::string_view key, std::string_view name) {
    TRegistry registry(db);
    if (!registry.OpenKeyReadOnly(key) || registry.GetDataType(name) != REG_SZ) return {};
    return registry.ReadString(name);
}

constexpr std::string_view kAccountColumns =
    "SELECT a.id, a.authority, COALESCE(au.name, ?2), a.name, a.is_group, a.disabled"
    " FROM acct_account a JOIN acct_authority au ON au.id = a.authority ";

}  // namespace

namespace schema {

void CreateAccounts(Db& db) {
    db.Exec(
        "CREATE TABLE acct_authority(id INTEGER PRIMARY KEY, name TEXT UNIQUE COLLATE NOCASE1252,"
        " controller TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE acct_account(id INTEGER PRIMARY KEY, authority INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE1252, is_group INTEGER NOT NULL, hash TEXT,"
        " disabled INTEGER NOT NULL DEFAULT 0, UNIQUE(authority, name));"
        "CREATE TABLE acct_member(id INTEGER PRIMARY KEY, grp INTEGER NOT NULL,"
        " member INTEGER NOT NULL, UNIQUE(grp, member));"
        "CREATE INDEX acct_member_by_member ON acct_member(member);"
        // Members in the order they were added, without sorting a large group at each read.
        "CREATE INDEX acct_member_by_group ON acct_member(grp, id, member);"
        // The local computer: its name is the registry's ComputerName, read at each use.
        "INSERT INTO acct_authority(id, name) VALUES (1, NULL);");
    TRegistry registry(db);
    registry.OpenKey(kKnobsKey, true);
    registry.WriteString("DomainName", kDefaultDomain);

    // Made directly: the directory's own writers take a transaction, and this runs in one.
    db.Exec(
        "INSERT INTO acct_account(id, authority, name, is_group) VALUES"
        " (1, 1, 'Administrators', 1), (2, 1, 'Users', 1), (3, 1, 'Administrator', 0);"
        "INSERT INTO acct_member(grp, member) VALUES (1, 3);");
}

}  // namespace schema

AccountError::AccountError(DWORD code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

AccountError::AccountError(DWORD code) : AccountError(code, Text(code)) {}

void CheckAccountName(std::string_view name) {
    if (const auto fault = NameFault(name, kMaxAccountName)) {
        throw AccountError(
            ERROR_INVALID_ACCOUNT_NAME,
            Text(ERROR_INVALID_ACCOUNT_NAME) + " \"" + std::string(name) + "\" " + *fault + ".");
    }
}

bool IsValidNetBiosName(std::string_view name) {
    return !NameFault(name, kMaxNetBiosName).has_value();
}

AccountDirectory::AccountDirectory() : db_(nullptr) {}

AccountDirectory::AccountDirectory(Db& db) : db_(&db) {}

AccountDirectory::~AccountDirectory() = default;

Db& AccountDirectory::Store() {
    if (!db_) {
        ownDb_ = std::make_unique<Db>(OpenMachineDb());
        db_ = ownDb_.get();
    }
    return *db_;
}

std::string AccountDirectory::ComputerName() {
    return RegistryString(Store(), kComputerNameKey, "ComputerName");
}

std::string AccountDirectory::ComputerDomain() {
    TRegistry registry(Store());
    if (!registry.OpenKeyReadOnly(kKnobsKey) || registry.GetDataType("DomainName") != REG_SZ) {
        return std::string(kDefaultDomain);
    }
    return registry.ReadString("DomainName");
}

void AccountDirectory::SetComputerDomain(std::string_view name) {
    CheckNetBiosName(name, "domain");
    TRegistry registry(Store());
    registry.OpenKey(kKnobsKey, true);
    registry.WriteString("DomainName", name);
}

std::optional<Authority> AccountDirectory::FindAuthority(std::string_view name) {
    const std::string computer = ComputerName();
    if (!name.empty() && AnsiSameText(name, computer)) {
        return Authority{kComputerAuthorityId, computer, true, {}};
    }
    auto select =
        Store().Prepare("SELECT id, name, controller FROM acct_authority WHERE name = ?1");
    select.Bind(1, name);
    if (!select.Step()) return std::nullopt;
    return Authority{select.Int(0), select.Text(1), false, select.Text(2)};
}

std::optional<Authority> AccountDirectory::FindReachableAuthority(std::string_view name) {
    auto authority = FindAuthority(name);
    if (authority && !authority->isComputer && authority->controller.empty()) return std::nullopt;
    return authority;
}

std::vector<Authority> AccountDirectory::Domains() {
    auto select = Store().Prepare(
        "SELECT id, name, controller FROM acct_authority WHERE name IS NOT NULL ORDER BY id");
    std::vector<Authority> domains;
    while (select.Step()) domains.push_back({select.Int(0), select.Text(1), false, select.Text(2)});
    return domains;
}

void AccountDirectory::AddDomain(std::string_view name, std::string_view controller) {
    CheckNetBiosName(name, "domain");
    if (!controller.empty()) CheckNetBiosName(controller, "computer");
    Transaction transaction(Store());
    if (FindAuthority(name)) {
        throw AccountError(ERROR_INVALID_NAME,
                           "The name \"" + std::string(name) + "\" is already in use.");
    }
    Store()
        .Prepare("INSERT INTO acct_authority(name, controller) VALUES (?1, ?2)")
        .Bind(1, name)
        .Bind(2, controller)
        .Step();
    transaction.Commit();
}

Authority AccountDirectory::RequireDomain(std::string_view name) {
    const auto domain = FindAuthority(name);
    if (!domain || domain->isComputer) Fail(ERROR_NO_SUCH_DOMAIN);
    return *domain;
}

void AccountDirectory::SetDomainController(std::string_view name, std::string_view controller) {
    if (!controller.empty()) CheckNetBiosName(controller, "computer");
    const Authority domain = RequireDomain(name);
    Store()
        .Prepare("UPDATE acct_authority SET controller = ?2 WHERE id = ?1")
        .Bind(1, domain.id)
        .Bind(2, controller)
        .Step();
}

void AccountDirectory::DeleteDomain(std::string_view name) {
    Transaction transaction(Store());
    const Authority domain = RequireDomain(name);
    Store()
        .Prepare(
            "DELETE FROM acct_member WHERE grp IN (SELECT id FROM acct_account WHERE authority = "
            "?1)"
            " OR member IN (SELECT id FROM acct_account WHERE authority = ?1)")
        .Bind(1, domain.id)
        .Step();
    Store().Prepare("DELETE FROM acct_account WHERE authority = ?1").Bind(1, domain.id).Step();
    Store().Prepare("DELETE FROM acct_authority WHERE id = ?1").Bind(1, domain.id).Step();
    transaction.Commit();
}

void AccountDirectory::Insert(const Authority& authority, std::string_view name, AccountClass kind,
                              const std::optional<std::string>& hash) {
    CheckAccountName(name);
    Transaction transaction(Store());
    if (const auto existing = FindAccount(authority, name)) {
        Fail(existing->kind == AccountClass::User ? NERR_UserExists : NERR_GroupExists);
    }
    auto insert = Store().Prepare(
        "INSERT INTO acct_account(authority, name, is_group, hash) VALUES (?1, ?2, ?3, ?4)");
    insert.Bind(1, authority.id).Bind(2, name).Bind(3, kind == AccountClass::Group ? 1 : 0);
    if (hash) insert.Bind(4, *hash);
    insert.Step();
    transaction.Commit();
}

void AccountDirectory::AddUser(const Authority& authority, std::string_view name,
                               std::string_view password) {
    if (HasNul(password)) Fail(ERROR_INVALID_PARAMETER);
    CheckAccountName(name);
    std::optional<std::string> hash;
    if (!password.empty()) hash = HashPassword(password, HashCost());
    Insert(authority, name, AccountClass::User, hash);
}

void AccountDirectory::AddGroup(const Authority& authority, std::string_view name) {
    Insert(authority, name, AccountClass::Group, std::nullopt);
}

void AccountDirectory::DeleteAccount(const Account& account) {
    Transaction transaction(Store());
    Store()
        .Prepare("DELETE FROM acct_member WHERE grp = ?1 OR member = ?1")
        .Bind(1, account.id)
        .Step();
    Store().Prepare("DELETE FROM acct_account WHERE id = ?1").Bind(1, account.id).Step();
    transaction.Commit();
}

void AccountDirectory::SetPassword(const Account& user, std::string_view password) {
    if (HasNul(password)) Fail(ERROR_INVALID_PARAMETER);
    auto update = Store().Prepare("UPDATE acct_account SET hash = ?2 WHERE id = ?1");
    update.Bind(1, user.id);
    if (!password.empty()) update.Bind(2, HashPassword(password, HashCost()));
    update.Step();
}

void AccountDirectory::SetDisabled(const Account& user, bool disabled) {
    Store()
        .Prepare("UPDATE acct_account SET disabled = ?2 WHERE id = ?1")
        .Bind(1, user.id)
        .Bind(2, disabled ? 1 : 0)
        .Step();
}

std::vector<Account> AccountDirectory::Query(std::string_view sql, std::int64_t key) {
    auto select = Store().Prepare(std::string(kAccountColumns) + std::string(sql));
    select.Bind(1, key).Bind(2, ComputerName());
    std::vector<Account> accounts;
    while (select.Step()) {
        accounts.push_back(Account{select.Int(0), select.Int(1), select.Text(2), select.Text(3),
                                   select.Int(4) ? AccountClass::Group : AccountClass::User,
                                   select.Int(5) != 0});
    }
    return accounts;
}

std::optional<Account> AccountDirectory::FindAccount(const Authority& authority,
                                                     std::string_view name) {
    auto select = Store().Prepare("SELECT id FROM acct_account WHERE authority = ?1 AND name = ?2");
    select.Bind(1, authority.id).Bind(2, name);
    if (!select.Step()) return std::nullopt;
    return Query("WHERE a.id = ?1", select.Int(0)).front();
}

std::vector<Account> AccountDirectory::Accounts(const Authority& authority) {
    return Query("WHERE a.authority = ?1 ORDER BY a.is_group, a.id", authority.id);
}

std::vector<Account> AccountDirectory::Members(const Account& group) {
    return Query("JOIN acct_member m ON m.member = a.id WHERE m.grp = ?1 ORDER BY m.id", group.id);
}

void AccountDirectory::AddMember(const Account& group, const Account& member) {
    if (group.kind != AccountClass::Group) Fail(NERR_GroupNotFound);
    if (group.id == member.id) Fail(ERROR_NO_SUCH_MEMBER);
    // A domain's global group holds only accounts of its own domain.
    if (group.authorityId != kComputerAuthorityId && member.authorityId != group.authorityId) {
        Fail(ERROR_NO_SUCH_MEMBER);
    }
    auto insert = Store().Prepare("INSERT OR IGNORE INTO acct_member(grp, member) VALUES (?1, ?2)");
    insert.Bind(1, group.id).Bind(2, member.id).Step();
    if (Store().Changes() == 0) Fail(ERROR_MEMBER_IN_ALIAS);
}

void AccountDirectory::RemoveMember(const Account& group, const Account& member) {
    Store()
        .Prepare("DELETE FROM acct_member WHERE grp = ?1 AND member = ?2")
        .Bind(1, group.id)
        .Bind(2, member.id)
        .Step();
    if (Store().Changes() == 0) Fail(ERROR_MEMBER_NOT_IN_ALIAS);
}

std::vector<Account> AccountDirectory::GroupsOf(const Account& account) {
    // UNION (not UNION ALL) ends the walk on a cycle of groups.
    return Query(
        "WHERE a.id IN (WITH RECURSIVE up(id) AS (SELECT grp FROM acct_member WHERE member = ?1"
        " UNION SELECT m.grp FROM acct_member m JOIN up ON m.member = up.id) SELECT id FROM up)"
        " ORDER BY a.id",
        account.id);
}

std::optional<std::string> AccountDirectory::HashOf(const Account& user) {
    auto select = Store().Prepare("SELECT hash FROM acct_account WHERE id = ?1");
    select.Bind(1, user.id);
    if (!select.Step() || select.IsNull(0)) return std::nullopt;
    return select.Text(0);
}

bool AccountDirectory::HasPassword(const Account& user) {
    return HashOf(user).has_value();
}

bool AccountDirectory::PasswordMatches(const Account& user, std::string_view password) {
    const auto hash = HashOf(user);
    if (password.empty() || HasNul(password) || !hash) {
        HashInVain(password);
        return false;
    }
    return HashMatches(password, *hash);
}

void AccountDirectory::HashInVain(std::string_view password) {
    // A fixed salt: the work is what counts, not the result.
    static constexpr char kSalt[] = "timing-equaliser";
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn("$y$", static_cast<unsigned long>(HashCost()), kSalt, sizeof kSalt - 1,
                            setting, sizeof setting)) {
        return;
    }
    HashMatches(password, setting);
}

int AccountDirectory::HashCost() {
    const std::optional<std::int32_t> cost = ReadMachineDword(Store(), "PasswordHashCost");
    if (!cost) return kDefaultHashCost;
    return *cost < 1 ? 1 : (*cost > kMaxHashCost ? kMaxHashCost : *cost);
}

}  // namespace win
