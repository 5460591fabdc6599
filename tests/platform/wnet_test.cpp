#include "platform/wnet.h"

#include <gtest/gtest.h>

#include "account_fixture.h"

namespace {

using namespace win;
using vrel::test::AccountTest;

// Every entry below the container, fetched as the domain picker does.
DWORD EnumerateBelow(const NETRESOURCE* container, std::vector<NETRESOURCE>& all) {
    std::unique_ptr<NetEnumeration> handle;
    const DWORD opened = WNetOpenEnum(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, handle);
    if (opened != ERROR_SUCCESS) return opened;
    std::vector<NETRESOURCE> entries;
    DWORD count = 0xFFFFFFFF;
    while (WNetEnumResource(*handle, count, entries) == ERROR_SUCCESS) {
        all.insert(all.end(), entries.begin(), entries.end());
        count = 0xFFFFFFFF;
    }
    EXPECT_EQ(count, 0u);
    return WNetCloseEnum(handle);
}

std::vector<std::string> Names(const std::vector<NETRESOURCE>& entries) {
    std::vector<std::string> names;
    for (const NETRESOURCE& entry : entries) names.push_back(entry.lpRemoteName);
    return names;
}

TEST_F(AccountTest, NetworkListsTheWorkgroupAndKnownDomainsUnderOneProvider) {
    Domain("CORP", "CORPDC");
    Domain("LOST", "");
    std::vector<NETRESOURCE> providers;
    ASSERT_EQ(EnumerateBelow(nullptr, providers), ERROR_SUCCESS);
    ASSERT_EQ(providers.size(), 1u);
    EXPECT_EQ(providers[0].lpRemoteName, kWindowsNetwork);
    EXPECT_EQ(providers[0].dwUsage & RESOURCEUSAGE_CONTAINER, RESOURCEUSAGE_CONTAINER);

    std::vector<NETRESOURCE> domains;
    ASSERT_EQ(EnumerateBelow(&providers[0], domains), ERROR_SUCCESS);
    EXPECT_EQ(Names(domains), (std::vector<std::string>{"WORKGROUP", "CORP", "LOST"}));
    for (const NETRESOURCE& domain : domains) {
        EXPECT_EQ(domain.dwDisplayType, RESOURCEDISPLAYTYPE_DOMAIN);
    }

    directory_.SetComputerDomain("corp");
    std::vector<NETRESOURCE> servers;
    domains.clear();
    ASSERT_EQ(EnumerateBelow(&providers[0], domains), ERROR_SUCCESS);
    EXPECT_EQ(Names(domains), (std::vector<std::string>{"corp", "LOST"}));
    ASSERT_EQ(EnumerateBelow(&domains[0], servers), ERROR_SUCCESS);
    EXPECT_EQ(Names(servers), (std::vector<std::string>{"\\\\CORPDC", "\\\\MAILHOST"}));
}

TEST_F(AccountTest, EnumerationFailsWithoutANetworkOrAContainer) {
    TRegistry registry;
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", false);
    registry.WriteInteger("NetworkPresent", 0);
    std::vector<NETRESOURCE> entries;
    EXPECT_EQ(EnumerateBelow(nullptr, entries), ERROR_NO_NETWORK);
    NETRESOURCE file;
    EXPECT_EQ(EnumerateBelow(&file, entries), ERROR_NOT_CONTAINER);
    std::unique_ptr<NetEnumeration> handle;
    EXPECT_EQ(WNetOpenEnum(1, RESOURCETYPE_ANY, 0, nullptr, handle), ERROR_INVALID_PARAMETER);
}

}  // namespace
