#include "common/smtp_config.h"

#include <gtest/gtest.h>

#include "settings_fixture.h"

namespace {

using vrel::test::Properties;
using vrel::test::SettingsTest;

using Domains = std::vector<std::string>;

TEST_F(SettingsTest, WithoutSmtpServiceEverythingIsEmpty) {
    EXPECT_EQ(vrel::GetSmtpDefaultDomain(), "");
    EXPECT_EQ(vrel::GetSmtpSendNdrTo(), "");
    EXPECT_EQ(vrel::GetSmtpDropDirectory(), "");
    EXPECT_EQ(vrel::GetLocalDomains(), Domains{""});
    EXPECT_FALSE(vrel::CreateLocalDomain("example.com"));
    std::shared_ptr<win::IIsObject> smtp;
    EXPECT_EQ(win::ADsGetObject("IIS://localhost/smtpsvc", smtp), win::E_PATH_NOT_FOUND);
}

TEST_F(SettingsTest, ServerValuesAreReturnedExactlyAsStored) {
    InstallSmtpServer({{"DefaultDomain", "Example.COM"},
                       {"SendNdrTo", "ndr@example.com"},
                       {"DropDirectory", "C:\\Inetpub\\mailroot\\Drop\\"}});
    EXPECT_EQ(vrel::GetSmtpDefaultDomain(), "Example.COM");
    EXPECT_EQ(vrel::GetSmtpSendNdrTo(), "ndr@example.com");
    EXPECT_EQ(vrel::GetSmtpDropDirectory(), "C:\\Inetpub\\mailroot\\Drop\\");
}

TEST_F(SettingsTest, ServerValuesOfOtherTypesUseTheVariantText) {
    InstallSmtpServer(
        {{"DefaultDomain", std::int32_t{42}}, {"DropDirectory", win::VARIANT::Bytes{'D', ':'}}});
    EXPECT_EQ(vrel::GetSmtpDefaultDomain(), "42");
    EXPECT_EQ(vrel::GetSmtpDropDirectory(), "");  // binary has no text form
}

TEST_F(SettingsTest, LocalDomainsAreTheDefaultThenRoutedChildrenInMetabaseOrder) {
    InstallSmtpServer({{"DefaultDomain", "home.test"}});
    const struct {
        const char* name;
        Properties properties;
    } children[] = {
        {"zeta.test", {{"RouteAction", std::int32_t{2}}}},
        {"one.test", {{"RouteAction", std::int32_t{1}}}},
        {"zero.test", {{"RouteAction", std::int32_t{0}}}},
        {"unset.test", {}},
        {"negative.test", {{"RouteAction", std::int32_t{-5}}}},  // a DWORD above 0x7FFFFFFF
        {"text.test", {{"RouteAction", "16"}}},
        {"word.test", {{"RouteAction", "local"}}},
        {"home.test", {{"RouteAction", std::int32_t{16}}}},
        {"alpha.test", {{"RouteAction", std::int32_t{3}}}},
    };
    for (const auto& child : children) {
        CreateNode("/smtpsvc/1/Domain", "IIsSmtpDomain", child.name, child.properties);
    }
    EXPECT_EQ(vrel::GetLocalDomains(),
              (Domains{"home.test", "zeta.test", "text.test", "home.test", "alpha.test"}));
}

TEST_F(SettingsTest, LocalDomainsStartWithAnEmptyDefaultDomain) {
    InstallSmtpServer({});
    CreateNode("/smtpsvc/1/Domain", "IIsSmtpDomain", "a.test", {{"RouteAction", std::int32_t{2}}});
    EXPECT_EQ(vrel::GetLocalDomains(), (Domains{"", "a.test"}));
}

TEST_F(SettingsTest, CreatedLocalDomainIsListedAndNotCreatedTwice) {
    InstallSmtpServer({{"DefaultDomain", "home.test"}});
    CreateNode("/smtpsvc/1/Domain", "IIsSmtpDomain", "remote.test",
               {{"RouteAction", std::int32_t{0}}});
    EXPECT_TRUE(vrel::CreateLocalDomain("New.Test"));
    EXPECT_EQ(vrel::GetLocalDomains(), (Domains{"home.test", "New.Test"}));

    std::shared_ptr<win::IIsObject> created;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost/smtpsvc/1/Domain/new.test", created), win::S_OK);
    EXPECT_EQ(created->Class(), "IIsSmtpDomain");
    win::VARIANT routeAction;
    ASSERT_EQ(created->Get("RouteAction", routeAction), win::S_OK);
    EXPECT_EQ(routeAction, win::VARIANT(std::int32_t{16}));

    EXPECT_FALSE(vrel::CreateLocalDomain("REMOTE.test"));
    EXPECT_FALSE(vrel::CreateLocalDomain("new.test"));
    EXPECT_EQ(vrel::GetLocalDomains(), (Domains{"home.test", "New.Test"}));
}

TEST_F(SettingsTest, CreateLocalDomainNeedsTheDomainContainer) {
    CreateNode("", "IIsSmtpService", "smtpsvc");
    CreateNode("/smtpsvc", "IIsSmtpServer", "1", {{"DefaultDomain", "home.test"}});
    EXPECT_FALSE(vrel::CreateLocalDomain("a.test"));
    EXPECT_EQ(vrel::GetLocalDomains(), Domains{"home.test"});
}

}  // namespace
