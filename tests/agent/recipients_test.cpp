#include "agent/recipients.h"

#include <gtest/gtest.h>

#include "agent_fixture.h"

namespace {

using vrel::test::AgentTest;
using vrel::test::ArrivalTest;

struct NextCase {
    const char* list;
    const char* address;
    const char* rest;
};

TEST(NextRecipientTest, TakesTheFirstEntryOutOfTheList) {
    const NextCase cases[] = {
        {"SMTP:a@x;SMTP:b@y;", "a@x", "SMTP:b@y;"},
        {"SMTP:b@y;", "b@y", ""},
        {"SMTP:last@y", "last@y", ""},
        {"junk SMTP:a@x;tail", "a@x", "junk tail"},
        {"SMTP:;SMTP:b@y;", "", "SMTP:b@y;"},
        {"a@x;b@y;", "", "a@x;b@y;"},
        {"smtp:a@x;", "", "smtp:a@x;"},
        {"", "", ""},
    };
    for (const NextCase& c : cases) {
        std::string list = c.list;
        EXPECT_EQ(vrel::NextRecipient(list), c.address) << c.list;
        EXPECT_EQ(list, c.rest) << c.list;
    }
}

TEST(GetDomainFromAddressTest, TakesTheTextAfterTheLastAtUpToADelimiter) {
    const std::pair<const char*, const char*> cases[] = {
        {"bob@Mail.Test", "Mail.Test"},
        {"Bob <bob@mail.test>", "mail.test"},
        {"a@b@c.test", "c.test"},
        {"bob@[10.0.0.1]", ""},
        {"bob@mail.test:25", "mail.test"},
        {"bob@x%y", "x"},
        {"bob@x\"y", "x"},
        {"bob@x!y", "x"},
        {"bob@x y", "x"},
        {"bob@x\ty", "x"},
        {"bob@x\r\n", "x"},
        {"bob", ""},
        {"bob@", ""},
    };
    for (const auto& [address, domain] : cases) {
        EXPECT_EQ(vrel::GetDomainFromAddress(address), domain) << address;
    }
}

TEST_F(ArrivalTest, LocalDomainsAreTheDefaultAndEveryDomainNodeInAnyCase) {
    CreateNode("/smtpsvc/1/Domain", "IIsSmtpDomain", "relay.test",
               {{"RouteAction", std::int32_t{0}}});
    for (const char* domain : {"mail.test", "MAIL.TEST", "Other.Test", "relay.test"}) {
        EXPECT_TRUE(vrel::IsLocalDomain(domain)) << domain;
    }
    for (const char* domain : {"", "remote.test", "mail", "test"}) {
        EXPECT_FALSE(vrel::IsLocalDomain(domain)) << domain;
    }
}

TEST_F(AgentTest, WithoutTheSmtpServiceNoDomainIsLocal) {
    EXPECT_FALSE(vrel::IsLocalDomain("mail.test"));
    InstallSmtpServer({});
    EXPECT_FALSE(vrel::IsLocalDomain("mail.test"));
}

}  // namespace
