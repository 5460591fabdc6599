#include "platform/wnet.h"

#include <algorithm>

#include "platform/accounts.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace win {
namespace {

bool NetworkPresent() {
    return ReadMachineDword("NetworkPresent").value_or(1) != 0;
}

NETRESOURCE Container(DWORD displayType, std::string remoteName) {
    NETRESOURCE entry;
    entry.dwDisplayType = displayType;
    entry.dwUsage = RESOURCEUSAGE_CONTAINER;
    entry.lpRemoteName = std::move(remoteName);
    entry.lpProvider = kWindowsNetwork;
    return entry;
}

// The computer's own workgroup or domain first, then every other known domain.
std::vector<NETRESOURCE> Domains(AccountDirectory& directory) {
    const std::string own = directory.ComputerDomain();
    std::vector<NETRESOURCE> entries{Container(RESOURCEDISPLAYTYPE_DOMAIN, own)};
    for (const Authority& domain : directory.Domains()) {
        if (!AnsiSameText(domain.name, own)) {
            entries.push_back(Container(RESOURCEDISPLAYTYPE_DOMAIN, domain.name));
        }
    }
    return entries;
}

std::vector<NETRESOURCE> Servers(AccountDirectory& directory, const std::string& domainName) {
    std::vector<NETRESOURCE> entries;
    const auto domain = directory.FindAuthority(domainName);
    if (domain && !domain->isComputer && !domain->controller.empty()) {
        entries.push_back(Container(RESOURCEDISPLAYTYPE_SERVER, "\\\\" + domain->controller));
    }
    if (AnsiSameText(directory.ComputerDomain(), domainName)) {
        entries.push_back(Container(RESOURCEDISPLAYTYPE_SERVER, "\\\\" + directory.ComputerName()));
    }
    return entries;
}

std::vector<NETRESOURCE> Below(const NETRESOURCE* container) {
    AccountDirectory directory;
    if (!container) return {Container(RESOURCEDISPLAYTYPE_NETWORK, std::string(kWindowsNetwork))};
    switch (container->dwDisplayType) {
        case RESOURCEDISPLAYTYPE_NETWORK:
            return Domains(directory);
        case RESOURCEDISPLAYTYPE_DOMAIN:
            return Servers(directory, container->lpRemoteName);
        default:
            return {};  // a server shares nothing here
    }
}

}  // namespace

std::vector<NETRESOURCE> NetEnumeration::Take(DWORD count) {
    const std::size_t take = std::min<std::size_t>(count, entries_.size() - next_);
    std::vector<NETRESOURCE> taken(entries_.begin() + next_, entries_.begin() + next_ + take);
    next_ += take;
    return taken;
}

DWORD WNetOpenEnum(DWORD scope, DWORD, DWORD, const NETRESOURCE* container,
                   std::unique_ptr<NetEnumeration>& handle) {
    handle.reset();
    if (scope != RESOURCE_GLOBALNET) return ERROR_INVALID_PARAMETER;
    if (container && !(container->dwUsage & RESOURCEUSAGE_CONTAINER)) return ERROR_NOT_CONTAINER;
    if (!NetworkPresent()) return ERROR_NO_NETWORK;
    handle = std::make_unique<NetEnumeration>(Below(container));
    return ERROR_SUCCESS;
}

DWORD WNetEnumResource(NetEnumeration& handle, DWORD& count, std::vector<NETRESOURCE>& entries) {
    entries = handle.Take(count);
    count = static_cast<DWORD>(entries.size());
    return entries.empty() ? ERROR_NO_MORE_ITEMS : ERROR_SUCCESS;
}

DWORD WNetCloseEnum(std::unique_ptr<NetEnumeration>& handle) {
    if (!handle) return ERROR_INVALID_PARAMETER;
    handle.reset();
    return ERROR_SUCCESS;
}

}  // namespace win
