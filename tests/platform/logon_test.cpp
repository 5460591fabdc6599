#include "platform/logon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "account_fixture.h"
#include "hash_watch.h"
#include "platform/registry.h"

namespace {

using namespace win;
using vrel::test::AccountTest;

class LogonTest : public AccountTest {
  protected:
    LogonTest() {
        const Authority corp = Domain("CORP", "CORPDC");
        Group(corp, "Staff");
        User(corp, "carol", "Carol-pass");
        User(Domain("LOST", ""), "dave", "Dave-pass");
        User(Computer(), "bob", "Bob-pass");
        User(Computer(), "blank", "");
        directory_.SetDisabled(User(Computer(), "gone", "Gone-pass"), true);
        directory_.SetDisabled(User(Computer(), "ghost", ""), true);
    }
};

struct LogonCase {
    friend void PrintTo(const LogonCase& c, std::ostream* os) {
        *os << c.domain << '\\' << c.user << " '" << c.password << "' -> " << c.result;
    }
    const char* user;
    const char* domain;
    const char* password;
    DWORD result;
};

class LogonUserTest : public LogonTest, public ::testing::WithParamInterface<LogonCase> {};

TEST_P(LogonUserTest, NetworkLogonGivesTheWindowsCode) {
    const LogonCase& c = GetParam();
    std::unique_ptr<AccessToken> token;
    EXPECT_EQ(LogonUser(c.user, c.domain, c.password, LOGON32_LOGON_NETWORK,
                        LOGON32_PROVIDER_DEFAULT, token),
              c.result);
    EXPECT_EQ(token != nullptr, c.result == ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogonUserTest,
    ::testing::Values(LogonCase{"bob", ".", "Bob-pass", ERROR_SUCCESS},
                      LogonCase{"BOB", ".", "Bob-pass", ERROR_SUCCESS},
                      LogonCase{"bob", "", "Bob-pass", ERROR_SUCCESS},
                      LogonCase{"bob", "mailhost", "Bob-pass", ERROR_SUCCESS},
                      LogonCase{"bob", ".", "bob-pass", ERROR_LOGON_FAILURE},
                      LogonCase{"bob", ".", " Bob-pass", ERROR_LOGON_FAILURE},
                      LogonCase{"bob", ".", "", ERROR_LOGON_FAILURE},
                      LogonCase{"nobody", ".", "Bob-pass", ERROR_LOGON_FAILURE},
                      LogonCase{"Users", ".", "", ERROR_LOGON_FAILURE},
                      LogonCase{"blank", ".", "", ERROR_ACCOUNT_RESTRICTION},
                      LogonCase{"Administrator", ".", "", ERROR_ACCOUNT_RESTRICTION},
                      LogonCase{"blank", ".", "x", ERROR_LOGON_FAILURE},
                      LogonCase{"gone", ".", "Gone-pass", ERROR_ACCOUNT_DISABLED},
                      LogonCase{"gone", ".", "wrong", ERROR_LOGON_FAILURE},
                      LogonCase{"ghost", ".", "", ERROR_ACCOUNT_DISABLED},
                      LogonCase{"carol", "CORP", "Carol-pass", ERROR_SUCCESS},
                      LogonCase{"Carol", "corp", "Carol-pass", ERROR_SUCCESS},
                      LogonCase{"carol", ".", "Carol-pass", ERROR_LOGON_FAILURE},
                      LogonCase{"carol", "CORP", "carol-pass", ERROR_LOGON_FAILURE},
                      LogonCase{"bob", "CORP", "Bob-pass", ERROR_LOGON_FAILURE},
                      LogonCase{"Staff", "CORP", "", ERROR_LOGON_FAILURE},
                      LogonCase{"dave", "LOST", "Dave-pass", ERROR_NO_SUCH_DOMAIN},
                      LogonCase{"bob", "NOWHERE", "Bob-pass", ERROR_NO_SUCH_DOMAIN},
                      LogonCase{"bob", "WORKGROUP", "Bob-pass", ERROR_NO_SUCH_DOMAIN}));

// A refusal that hashes nothing answers in a fraction of the time one that hashes takes, and
// so tells a guesser which names are accounts. Every refusal computes one hash at the
// directory's cost, as a wrong password does; counted, not timed, so load cannot sway it.
// The cost differs from the one the fixture's accounts were made at and from the default.
TEST_F(LogonTest, EveryRefusalCostsAsMuchAsAWrongPassword) {
    constexpr int kCost = 3;
    {
        TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true);
        registry.WriteInteger("PasswordHashCost", kCost);
    }
    User(Computer(), "slow", "Slow-pass");
    directory_.SetDisabled(User(Computer(), "idle", "Idle-pass"), true);
    const std::vector<std::string> oneHash = {vrel::test::YescryptCost(kCost)};
    const auto hashes = [](std::string_view user, std::string_view domain,
                           std::string_view password) {
        vrel::test::HashWatch watch;
        std::unique_ptr<AccessToken> token;
        const DWORD result = LogonUser(user, domain, password, LOGON32_LOGON_NETWORK,
                                       LOGON32_PROVIDER_DEFAULT, token);
        EXPECT_NE(result, ERROR_SUCCESS) << user << " '" << password << "'";
        return watch.Take();
    };
    ASSERT_EQ(hashes("slow", ".", "Wrong-pass"), oneHash) << "a wrong password";
    const struct {
        const char* user;
        const char* domain;
        std::string password;
    } refusals[] = {
        {"nobody", ".", "Slow-pass"},
        {"nobody", "CORP", ""},
        {"Users", ".", "Slow-pass"},
        {"Staff", "CORP", "Slow-pass"},
        {"blank", ".", "Slow-pass"},
        {"blank", ".", ""},
        {"ghost", ".", ""},
        {"idle", ".", "Idle-pass"},
        {"slow", ".", ""},
        {"slow", ".", std::string("Slow-pass\0x", 11)},
    };
    for (const auto& refusal : refusals) {
        EXPECT_EQ(hashes(refusal.user, refusal.domain, refusal.password), oneHash)
            << refusal.domain << '\\' << refusal.user << " '" << refusal.password << "'";
    }
}

TEST_F(LogonTest, OnlyNetworkLogonWithTheDefaultProviderIsOffered) {
    std::unique_ptr<AccessToken> token;
    EXPECT_EQ(LogonUser("bob", ".", "Bob-pass", 2, LOGON32_PROVIDER_DEFAULT, token),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LogonUser("bob", ".", "Bob-pass", LOGON32_LOGON_NETWORK, 3, token),
              ERROR_INVALID_PARAMETER);
}

TEST_F(LogonTest, ADomainLosingItsControllerRefusesLogons) {
    std::unique_ptr<AccessToken> token;
    directory_.SetDomainController("CORP", "");
    EXPECT_EQ(LogonUser("carol", "CORP", "Carol-pass", LOGON32_LOGON_NETWORK,
                        LOGON32_PROVIDER_DEFAULT, token),
              ERROR_NO_SUCH_DOMAIN);
    directory_.SetDomainController("LOST", "LOSTDC");
    EXPECT_EQ(LogonUser("dave", "LOST", "Dave-pass", LOGON32_LOGON_NETWORK,
                        LOGON32_PROVIDER_DEFAULT, token),
              ERROR_SUCCESS);
}

struct DcCase {
    friend void PrintTo(const DcCase& c, std::ostream* os) { *os << '"' << c.domain << '"'; }
    const char* domain;
    DWORD result;
    const char* controller;
};

class NetGetDCNameTest : public LogonTest, public ::testing::WithParamInterface<DcCase> {};

TEST_P(NetGetDCNameTest, KnownDomainsWithAControllerAnswer) {
    std::string controller = "stale";
    EXPECT_EQ(NetGetDCName("", GetParam().domain, controller), GetParam().result);
    EXPECT_EQ(controller, GetParam().controller);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetGetDCNameTest,
    ::testing::Values(DcCase{"CORP", ERROR_SUCCESS, "\\\\CORPDC"},
                      DcCase{"corp", ERROR_SUCCESS, "\\\\CORPDC"},
                      DcCase{"LOST", NERR_DCNotFound, ""}, DcCase{"NOWHERE", NERR_DCNotFound, ""},
                      DcCase{"WORKGROUP", NERR_DCNotFound, ""},
                      DcCase{"MAILHOST", NERR_DCNotFound, ""}, DcCase{"", NERR_DCNotFound, ""},
                      DcCase{".", ERROR_INVALID_NAME, ""}, DcCase{"CO/RP", ERROR_INVALID_NAME, ""},
                      DcCase{"SIXTEENCHARACTER", ERROR_INVALID_NAME, ""}));

TEST_F(LogonTest, EmptyDomainNameIsTheComputersOwnDomain) {
    directory_.SetComputerDomain("CORP");
    std::string controller;
    EXPECT_EQ(NetGetDCName("", "", controller), ERROR_SUCCESS);
    EXPECT_EQ(controller, "\\\\CORPDC");
    EXPECT_EQ(NetGetDCName("\\\\ELSEWHERE", "CORP", controller), ERROR_INVALID_PARAMETER);
}

struct MessageCase {
    friend void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.code; }
    DWORD code;
    const char* text;
};

class FormatMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(FormatMessageTest, SystemTextEndsInCrLf) {
    EXPECT_EQ(FormatMessage(GetParam().code), std::string(GetParam().text) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatMessageTest,
    ::testing::Values(
        MessageCase{2, "The system cannot find the file specified."},
        MessageCase{3, "The system cannot find the path specified."},
        MessageCase{5, "Access is denied."},
        MessageCase{123, "The filename, directory name, or volume label syntax is incorrect."},
        MessageCase{1056, "An instance of the service is already running."},
        MessageCase{1060, "The specified service does not exist as an installed service."},
        MessageCase{1062, "The service has not been started."},
        MessageCase{1072, "The specified service has been marked for deletion."},
        MessageCase{1073, "The specified service already exists."},
        MessageCase{1222, "The network is not present or not started."},
        MessageCase{1326, "Logon failure: unknown user name or bad password."},
        MessageCase{1327,
                    "Logon failure: user account restriction.  Possible reasons are blank "
                    "passwords not allowed, logon hour restrictions, or a policy restriction has "
                    "been enforced."},
        MessageCase{1331, "Logon failure: account currently disabled."},
        MessageCase{1355, "The specified domain either does not exist or could not be contacted."},
        MessageCase{2453, "Could not find domain controller for this domain."}));

TEST(FormatMessageUnknown, CodesWithoutTextGiveTheEmptyText) {
    EXPECT_EQ(FormatMessage(4242), "");
    EXPECT_EQ(FormatMessage(0xFFFFFFFFu), "");
}

// Sets VREL_LOGON_USER for one test.
class LogonUserVariable {
  public:
    explicit LogonUserVariable(const char* user) { ::setenv("VREL_LOGON_USER", user, 1); }
    ~LogonUserVariable() { ::unsetenv("VREL_LOGON_USER"); }
};

TEST_F(LogonTest, ProcessTokenListsAdministratorsThroughNestedGroups) {
    EXPECT_TRUE(IsProcessAdministrator());  // Administrator by default
    LogonUserVariable variable("CORP\\carol");
    EXPECT_FALSE(IsProcessAdministrator());
    const Account team = Group(Computer(), "Team");
    directory_.AddMember(Find(*directory_.FindAuthority("CORP"), "Staff"),
                         Find(*directory_.FindAuthority("CORP"), "carol"));
    directory_.AddMember(team, Find(*directory_.FindAuthority("CORP"), "Staff"));
    EXPECT_FALSE(IsProcessAdministrator());
    directory_.AddMember(Find(Computer(), "Administrators"), team);
    EXPECT_TRUE(IsProcessAdministrator());

    std::unique_ptr<AccessToken> token;
    EXPECT_EQ(OpenThreadToken(token), ERROR_NO_TOKEN);
    ASSERT_EQ(OpenProcessToken(token), ERROR_SUCCESS);
    EXPECT_EQ(token->UserName(), "carol");
    std::vector<std::string> groups;
    for (const SID& sid : token->Groups()) groups.push_back(ConvertSidToStringSid(sid));
    EXPECT_EQ(groups.front(), "S-1-1-0");
    EXPECT_NE(std::find(groups.begin(), groups.end(), "S-1-5-32-544"), groups.end());
}

TEST_F(LogonTest, UnknownProcessUserIsNoAdministrator) {
    LogonUserVariable variable("nobody");
    EXPECT_FALSE(IsProcessAdministrator());
    std::unique_ptr<AccessToken> token;
    ASSERT_EQ(OpenProcessToken(token), ERROR_SUCCESS);
    EXPECT_EQ(token->Groups().size(), 1u);
}

TEST_F(LogonTest, LogonTokenListsTheUsersGroups) {
    directory_.AddMember(Find(Computer(), "Users"), Find(Computer(), "bob"));
    std::unique_ptr<AccessToken> token;
    ASSERT_EQ(
        LogonUser("bob", ".", "Bob-pass", LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, token),
        ERROR_SUCCESS);
    const SID users{SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}};
    const SID admins{SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
    EXPECT_TRUE(CheckTokenMembership(*token, users));
    EXPECT_FALSE(CheckTokenMembership(*token, admins));
}

}  // namespace

namespace {

// The groups of the token as GetTokenInformation gives them: empty-buffer size query first.
std::vector<std::pair<std::string, DWORD>> QueriedGroups(const AccessToken& token) {
    DWORD size = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);
    DWORD tooSmall = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, buffer.data(), size - 1, &tooSmall));
    EXPECT_EQ(tooSmall, size);
    EXPECT_TRUE(GetTokenInformation(token, TokenGroups, buffer.data(), size, &size));
    const auto& groups = *reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    std::vector<std::pair<std::string, DWORD>> listed;
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        const auto* bytes = static_cast<const std::uint8_t*>(groups.Groups[i].Sid);
        EXPECT_EQ(bytes[0], 1) << "revision";
        std::string text = "S-1-" + std::to_string(bytes[7]);
        for (int k = 0; k < bytes[1]; ++k) {
            DWORD part = 0;
            std::memcpy(&part, bytes + 8 + 4 * k, sizeof part);
            text += "-" + std::to_string(part);
        }
        listed.emplace_back(text, groups.Groups[i].Attributes);
    }
    return listed;
}

}  // namespace

// The machine's values make a group deny-only or disabled in every new token; the binary
// SIDs compare with EqualSid as AllocateAndInitializeSid builds them.
TEST_F(LogonTest, TokenGroupsCarryTheAttributesTheMachineGives) {
    const Account team = Group(Computer(), "Team");
    directory_.AddMember(team, Find(Computer(), "bob"));
    directory_.AddMember(Find(Computer(), "Administrators"), Find(Computer(), "bob"));
    LogonUserVariable variable("bob");
    std::unique_ptr<AccessToken> token;
    ASSERT_EQ(OpenProcessToken(token), ERROR_SUCCESS);
    constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    const auto plain = QueriedGroups(*token);
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_EQ(plain[0], std::make_pair(std::string("S-1-1-0"), kEnabled));
    for (const auto& [sid, attributes] : plain) EXPECT_EQ(attributes, kEnabled) << sid;

    TRegistry registry;
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Token", true);
    registry.WriteString("DenyOnlyGroups", "Nobody;administrators");
    registry.WriteString("DisabledGroups", "MAILHOST\\Team");
    ASSERT_EQ(OpenProcessToken(token), ERROR_SUCCESS);
    for (const auto& [sid, attributes] : QueriedGroups(*token)) {
        if (sid == "S-1-5-32-544") {
            EXPECT_EQ(attributes, SE_GROUP_USE_FOR_DENY_ONLY);
        } else if (sid != "S-1-1-0") {
            EXPECT_EQ(attributes, SE_GROUP_MANDATORY) << sid << " disabled";
        }
    }

    PSID administrators = nullptr;
    PSID users = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid({{0, 0, 0, 0, 0, 5}}, 2, 32, 544, 0, 0, 0, 0, 0, 0,
                                         &administrators));
    ASSERT_TRUE(
        AllocateAndInitializeSid({{0, 0, 0, 0, 0, 5}}, 2, 32, 545, 0, 0, 0, 0, 0, 0, &users));
    EXPECT_TRUE(EqualSid(administrators, administrators));
    EXPECT_FALSE(EqualSid(administrators, users));
    FreeSid(administrators);
    FreeSid(users);
    PSID tooLong = nullptr;
    EXPECT_FALSE(
        AllocateAndInitializeSid({{0, 0, 0, 0, 0, 5}}, 9, 0, 0, 0, 0, 0, 0, 0, 0, &tooLong));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
}
