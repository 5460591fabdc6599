#include <gtest/gtest.h>

#include "account_fixture.h"
#include "platform/logon.h"

namespace {

using namespace win;
using vrel::test::AccountTest;
using vrel::test::RunProgram;

constexpr const char* kDone = "The command completed successfully.";

class WinhostNetTest : public AccountTest {
  protected:
    // Runs "winhost net ARGS"; expects the exit code, returns what it printed.
    std::string Net(const std::string& args, int exitCode = 0) {
        const auto result = RunProgram("winhost", "net " + args);
        EXPECT_EQ(result.exitCode, exitCode) << args << "\n" << result.output;
        return result.output;
    }

    DWORD Logon(const char* user, const char* domain, const char* password) {
        std::unique_ptr<AccessToken> token;
        return LogonUser(user, domain, password, LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT,
                         token);
    }
};

TEST_F(WinhostNetTest, UserLifecycleDecidesTheLogons) {
    EXPECT_NE(Net("user bob Bob-pass /add").find(kDone), std::string::npos);
    EXPECT_EQ(Logon("bob", ".", "Bob-pass"), ERROR_SUCCESS);
    Net("user BOB /active:no");
    EXPECT_EQ(Logon("bob", ".", "Bob-pass"), ERROR_ACCOUNT_DISABLED);
    Net("user bob /ACTIVE:YES");
    Net("user bob New-pass");
    EXPECT_EQ(Logon("bob", ".", "Bob-pass"), ERROR_LOGON_FAILURE);
    EXPECT_EQ(Logon("bob", ".", "New-pass"), ERROR_SUCCESS);
    EXPECT_NE(Net("user").find("Administrator            bob"), std::string::npos);
    EXPECT_NE(Net("user bob").find("Account active               Yes"), std::string::npos);
    Net("user bob /delete");
    EXPECT_EQ(Logon("bob", ".", "New-pass"), ERROR_LOGON_FAILURE);
}

// The test runs in the C locale or a UTF-8 one; both take the command line as UTF-8.
TEST_F(WinhostNetTest, NamesCrossBetweenTheTerminalAndTheCodePage) {
    Net("user Jos\xC3\xA9 pw /add");
    EXPECT_EQ(Find(Computer(), "JOS\xC9").name, "Jos\xE9");
    EXPECT_NE(Net("user").find("Jos\xC3\xA9"), std::string::npos);

    const auto refused = RunProgram("winhost", "net user \xCE\xA9mega pw /add");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("code page (1252) lacks"), std::string::npos) << refused.output;
    EXPECT_EQ(Net("user").find("mega"), std::string::npos);
}

TEST_F(WinhostNetTest, RefusalsPrintTheSystemTextAndChangeNothing) {
    const std::string badName = Net("user a*b pw /add", 2);
    EXPECT_NE(badName.find("System error 1315 has occurred."), std::string::npos);
    EXPECT_NE(badName.find("\"a*b\" contains \"*\""), std::string::npos);
    EXPECT_FALSE(directory_.FindAccount(Computer(), "a*b"));
    // Windows paths drop a trailing dot, so "bob." would share bob's mailbox.
    EXPECT_NE(Net("user bob. pw /add", 2).find("\"bob.\" ends in a period"), std::string::npos);
    EXPECT_FALSE(directory_.FindAccount(Computer(), "bob."));

    Net("user bob pw /add");
    EXPECT_NE(Net("user BOB other /add", 2).find("The account already exists."), std::string::npos);
    EXPECT_TRUE(directory_.PasswordMatches(Find(Computer(), "bob"), "pw"));
    EXPECT_NE(Net("user nobody /delete", 2).find("NET HELPMSG 2221"), std::string::npos);
    EXPECT_NE(Net("localgroup Users bob /add").find(kDone), std::string::npos);
    EXPECT_NE(Net("localgroup Users bob /add", 2).find("System error 1378 has occurred."),
              std::string::npos);
    EXPECT_NE(Net("group Staff /add", 2).find("only on a Windows Domain Controller"),
              std::string::npos);
    EXPECT_NE(Net("user bob pw /active:maybe", 1).find("The syntax of this command is:"),
              std::string::npos);
    EXPECT_TRUE(directory_.PasswordMatches(Find(Computer(), "bob"), "pw"));
    Net("user bob pw /frob", 1);
    Net("frob", 1);
}

TEST_F(WinhostNetTest, DomainsAndMembershipsAcrossAuthorities) {
    Net("domain CORP /add /dc:CORPDC");
    Net("domain LOST /add");
    Net("user carol Carol-pass /add /domain:CORP");
    Net("group Staff /add /domain:corp");
    Net("group Staff carol /add /domain:CORP");
    Net("user bob pw /add");
    Net("localgroup Users bob 'CORP\\carol' 'CORP\\Staff' /add");  // quoted for the shell

    EXPECT_NE(Net("localgroup users").find("bob\nCORP\\carol\nCORP\\Staff\n"), std::string::npos);
    EXPECT_NE(Net("group Staff /domain:CORP").find("Group name     Staff"), std::string::npos);
    EXPECT_EQ(Logon("carol", "CORP", "Carol-pass"), ERROR_SUCCESS);
    std::string controller;
    EXPECT_EQ(NetGetDCName("", "LOST", controller), NERR_DCNotFound);
    EXPECT_EQ(NetGetDCName("", "CORP", controller), ERROR_SUCCESS);
    EXPECT_EQ(controller, "\\\\CORPDC");

    Net("localgroup Users 'CORP\\Staff' /delete");
    std::vector<std::string> members;
    for (const Account& member : directory_.Members(Find(Computer(), "Users"))) {
        members.push_back(member.authority + "\\" + member.name);
    }
    EXPECT_EQ(members, (std::vector<std::string>{"MAILHOST\\bob", "CORP\\carol"}));

    Net("domain CORP /dc:");
    EXPECT_EQ(Logon("carol", "CORP", "Carol-pass"), ERROR_NO_SUCH_DOMAIN);
    Net("config /domain:CORP");
    EXPECT_NE(Net("config").find("Workstation domain                   CORP"), std::string::npos);
    Net("domain CORP /delete");
    EXPECT_EQ(directory_.Members(Find(Computer(), "Users")).size(), 1u);
}

}  // namespace
