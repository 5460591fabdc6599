#include "platform/adsi_winnt.h"

#include <algorithm>
#include <optional>

#include "platform/accounts.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "store/db.h"

namespace win {
namespace {

constexpr std::string_view kPrefix = "WinNT://";

// Built in one allocation: an enumeration makes one path per member.
std::string PathOf(std::string_view authority, std::string_view name = {}) {
    std::string path;
    path.reserve(kPrefix.size() + authority.size() + 1 + name.size());
    path.append(kPrefix).append(authority);
    if (!name.empty()) path.append("/").append(name);
    return path;
}

// A broken store is a failing directory call, never an exception through ADSI.
template <class Work>
HRESULT Guarded(Work work) {
    try {
        return work();
    } catch (const SqlError&) {
        return E_FAIL;
    }
}

class WinNTObject : public virtual IADs {
  public:
    WinNTObject(std::string name, std::string className, std::string path)
        : name_(std::move(name)), class_(std::move(className)), path_(std::move(path)) {}
    std::string Name() const override { return name_; }
    std::string Class() const override { return class_; }
    std::string ADsPath() const override { return path_; }

  private:
    std::string name_;
    std::string class_;
    std::string path_;
};

class ListEnumerator final : public IEnumVARIANT {
  public:
    explicit ListEnumerator(std::vector<ADsItem> items) : items_(std::move(items)) {}

    HRESULT Next(std::uint32_t count, std::vector<ADsItem>& items) override {
        const std::size_t take = std::min<std::size_t>(count, items_.size() - next_);
        items.insert(items.end(), items_.begin() + next_, items_.begin() + next_ + take);
        next_ += take;
        return take == count ? S_OK : S_FALSE;
    }

  private:
    std::vector<ADsItem> items_;
    std::size_t next_ = 0;
};

ADsItem ItemOf(const Account& account);

std::unique_ptr<IEnumVARIANT> EnumeratorOf(const std::vector<Account>& accounts) {
    std::vector<ADsItem> items;
    items.reserve(accounts.size());
    for (const Account& account : accounts) items.push_back(ItemOf(account));
    return std::make_unique<ListEnumerator>(std::move(items));
}

class WinNTUser final : public WinNTObject, public IADsUser {
  public:
    explicit WinNTUser(const Account& account)
        : WinNTObject(account.name, "User", PathOf(account.authority, account.name)) {}
};

class WinNTMembers final : public IADsMembers {
  public:
    explicit WinNTMembers(Account group) : group_(std::move(group)) {}

    HRESULT get__NewEnum(std::unique_ptr<IEnumVARIANT>& enumerator) override {
        return Guarded([&] {
            AccountDirectory directory;
            enumerator = EnumeratorOf(directory.Members(group_));
            return S_OK;
        });
    }

  private:
    Account group_;
};

class WinNTGroup final : public WinNTObject, public IADsGroup {
  public:
    explicit WinNTGroup(const Account& account)
        : WinNTObject(account.name, "Group", PathOf(account.authority, account.name)),
          account_(account) {}

    HRESULT Members(std::unique_ptr<IADsMembers>& members) override {
        members = std::make_unique<WinNTMembers>(account_);
        return S_OK;
    }

  private:
    Account account_;
};

class WinNTContainer final : public WinNTObject, public IADsContainer {
  public:
    explicit WinNTContainer(const Authority& authority)
        : WinNTObject(authority.name, authority.isComputer ? "Computer" : "Domain",
                      PathOf(authority.name)),
          authority_(authority) {}

    HRESULT put_Filter(const std::vector<std::string>& classes) override {
        filter_ = classes;
        return S_OK;
    }

    HRESULT get__NewEnum(std::unique_ptr<IEnumVARIANT>& enumerator) override {
        return Guarded([&] {
            AccountDirectory directory;
            std::vector<Account> accounts = directory.Accounts(authority_);
            std::erase_if(accounts, [&](const Account& account) { return !Passes(account); });
            enumerator = EnumeratorOf(accounts);
            return S_OK;
        });
    }

  private:
    bool Passes(const Account& account) const {
        const std::string_view name = account.kind == AccountClass::User ? "User" : "Group";
        return filter_.empty() || std::any_of(filter_.begin(), filter_.end(),
                                              [&](const auto& c) { return SameText(c, name); });
    }

    Authority authority_;
    std::vector<std::string> filter_;
};

ADsItem ItemOf(const Account& account) {
    if (account.kind == AccountClass::User) return std::make_shared<WinNTUser>(account);
    return std::make_shared<WinNTGroup>(account);
}

// The one or two names after the prefix, or nothing when the path is malformed.
std::optional<std::vector<std::string_view>> SplitPath(std::string_view path) {
    if (!path.starts_with(kPrefix)) return std::nullopt;
    path.remove_prefix(kPrefix.size());
    std::vector<std::string_view> names;
    for (std::size_t cut; (cut = path.find('/')) != std::string_view::npos;) {
        names.push_back(path.substr(0, cut));
        path.remove_prefix(cut + 1);
    }
    names.push_back(path);
    const bool anyEmpty = std::any_of(names.begin(), names.end(), [](auto n) { return n.empty(); });
    if (names.size() > 2 || anyEmpty) return std::nullopt;
    return names;
}

class WinNTSystemInfo final : public IADsWinNTSystemInfo {
  public:
    HRESULT get_ComputerName(std::string& name) override {
        return Read(name, [](AccountDirectory& directory) { return directory.ComputerName(); });
    }
    HRESULT get_DomainName(std::string& name) override {
        return Read(name, [](AccountDirectory& directory) { return directory.ComputerDomain(); });
    }

  private:
    template <class Reader>
    static HRESULT Read(std::string& name, Reader reader) {
        return Guarded([&] {
            AccountDirectory directory;
            name = reader(directory);
            return name.empty() ? E_FAIL : S_OK;
        });
    }
};

}  // namespace

HRESULT ADsGetWinNTObject(std::string_view path, std::shared_ptr<IADs>& object) {
    object.reset();
    const auto names = SplitPath(path);
    if (!names) return E_ADS_BAD_PATHNAME;
    return Guarded([&] {
        AccountDirectory directory;
        const auto authority = directory.FindReachableAuthority(names->front());
        if (!authority) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
        if (names->size() == 1) {
            object = std::make_shared<WinNTContainer>(*authority);
            return S_OK;
        }
        const auto account = directory.FindAccount(*authority, names->back());
        if (!account) return HRESULT_FROM_WIN32(NERR_GroupNotFound);
        object = ItemOf(*account);
        return S_OK;
    });
}

HRESULT ADsBuildVarArrayStr(const std::vector<std::string>& strings,
                            std::vector<std::string>& array) {
    array = strings;
    return S_OK;
}

HRESULT CreateWinNTSystemInfo(std::unique_ptr<IADsWinNTSystemInfo>& object) {
    object.reset();
    return Guarded([&] {
        TRegistry registry;
        registry.RootKey = HKEY_CLASSES_ROOT;
        if (!registry.KeyExists("\\CLSID\\" + std::string(CLSID_WinNTSystemInfo))) {
            return REGDB_E_CLASSNOTREG;
        }
        object = std::make_unique<WinNTSystemInfo>();
        return S_OK;
    });
}

}  // namespace win
