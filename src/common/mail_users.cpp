#include "common/mail_users.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "common/com_scope.h"
#include "common/settings_key.h"
#include "platform/adsi_winnt.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace vrel {
namespace {

constexpr std::string_view kWinNTPrefix = "WinNT://";
// Characters that end the word an address sits in, scanning back from its "@".
constexpr std::string_view kAddressDelimiters = " <>![]:%\"\n\r\t";

template <class Reader>
std::string ReadSystemInfo(Reader reader) {
    const ComScope com;
    std::unique_ptr<win::IADsWinNTSystemInfo> info;
    if (win::FAILED(win::CreateWinNTSystemInfo(info))) return std::string();
    std::string text;
    if (win::FAILED(reader(*info, text))) return std::string();
    return text;
}

// Every object the enumerator hands out, one at a time, until it fails or runs dry.
template <class Visit>
void ForEachItem(win::IEnumVARIANT& enumerator, Visit visit) {
    std::vector<win::ADsItem> items;
    while (true) {
        items.clear();
        if (win::FAILED(enumerator.Next(1, items)) || items.empty()) return;
        visit(items.front());
    }
}

// The names of the members of the given interface (users or groups), in directory order.
template <class Interface>
std::vector<std::string> NamesOf(win::IEnumVARIANT& enumerator) {
    std::vector<std::string> names;
    ForEachItem(enumerator, [&](const win::ADsItem& item) {
        if (std::dynamic_pointer_cast<Interface>(item)) names.push_back(item->Name());
    });
    return names;
}

std::vector<std::string> EmailUserNames() {
    const ComScope com;
    const std::string path =
        std::string(kWinNTPrefix) + GetAccountAuthority() + "/" + GetEmailUsersGroup();
    std::shared_ptr<win::IADsGroup> group;
    if (win::FAILED(win::ADsGetWinNTObject(path, group))) return {};
    std::unique_ptr<win::IADsMembers> members;
    if (win::FAILED(group->Members(members))) return {};
    std::unique_ptr<win::IEnumVARIANT> enumerator;
    if (win::FAILED(members->get__NewEnum(enumerator))) return {};
    return NamesOf<win::IADsUser>(*enumerator);
}

}  // namespace

std::string GetLocalComputerName() {
    return ReadSystemInfo([](win::IADsWinNTSystemInfo& info, std::string& text) {
        return info.get_ComputerName(text);
    });
}

std::string GetLocalDomainName() {
    return ReadSystemInfo([](win::IADsWinNTSystemInfo& info, std::string& text) {
        return info.get_DomainName(text);
    });
}

std::string GetAccountAuthority() {
    if (GetUserAuthentication() != 1) return GetLocalComputerName();
    win::TRegistry registry;
    const std::string_view server = settings_value::NTDomainLogonServer;
    if (registry.OpenKey(kSettingsKey, false) && registry.ValueExists(server)) {
        return registry.ReadString(server);
    }
    return GetLocalDomainName();
}

SortedStringList GetEmailUsers() {
    return SortedStringList(EmailUserNames());
}

SortedStringList GetAccountGroups() {
    const std::string path = std::string(kWinNTPrefix) + GetAccountAuthority();
    std::shared_ptr<win::IADsContainer> container;
    if (win::FAILED(win::ADsGetWinNTObject(path, container))) return {};
    std::vector<std::string> filter;
    if (win::SUCCEEDED(win::ADsBuildVarArrayStr({"group"}, filter))) container->put_Filter(filter);
    std::unique_ptr<win::IEnumVARIANT> enumerator;
    if (win::FAILED(container->get__NewEnum(enumerator))) return {};
    return SortedStringList(NamesOf<win::IADsGroup>(*enumerator));
}

std::string GetUserFromAddress(std::string_view address) {
    const std::size_t lastAt = address.rfind('@');
    if (lastAt == std::string_view::npos) return std::string();
    const std::size_t delimiter = address.substr(0, lastAt).find_last_of(kAddressDelimiters);
    const std::size_t start = delimiter == std::string_view::npos ? 0 : delimiter + 1;
    const std::size_t end = address.find('@', start);
    return std::string(address.substr(start, end - start));
}

// The same answer as a lookup in GetEmailUsers, without sorting the group first: the agent
// and the POP3 service ask once per recipient and per logon.
bool IsEmailUser(std::string_view name) {
    const std::vector<std::string> users = EmailUserNames();
    return std::any_of(users.begin(), users.end(),
                       [&](const std::string& user) { return win::AnsiSameText(user, name); });
}

}  // namespace vrel
