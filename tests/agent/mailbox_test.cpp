#include "agent/mailbox.h"

#include <gtest/gtest.h>

#include "agent_fixture.h"
#include "platform/fs.h"

namespace {

using vrel::test::AgentTest;

TEST_F(AgentTest, MailDirIsTheRootAndTheUserWithOneSeparator) {
    for (const char* root : {"C:\\Mail\\Users", "C:\\Mail\\Users\\"}) {
        StoreText(vrel::settings_value::MailInBoxDir, root);
        EXPECT_EQ(vrel::GetUserMailDir("bob"), "C:\\Mail\\Users\\bob") << root;
    }
    EXPECT_EQ(Entries("C:\\Mail\\Users"), std::set<std::string>{"bob"});
}

TEST_F(AgentTest, MailDirKeepsTheNameAndFindsTheFolderInAnyCase) {
    StoreText(vrel::settings_value::MailInBoxDir, "C:\\Mail");
    EXPECT_EQ(vrel::GetUserMailDir("Bob"), "C:\\Mail\\Bob");
    EXPECT_EQ(vrel::GetUserMailDir("bob"), "C:\\Mail\\bob");
    EXPECT_EQ(Entries("C:\\Mail"), std::set<std::string>{"Bob"});
}

TEST_F(AgentTest, MailDirIsNeverAnotherFoldersShortName) {
    StoreText(vrel::settings_value::MailInBoxDir, "C:\\Mail");
    EXPECT_EQ(vrel::GetUserMailDir("longusername01"), "C:\\Mail\\longusername01");
    EXPECT_TRUE(win::DirectoryExists("C:\\Mail\\LONGUS~1")) << "an ordinary path keeps the alias";
    EXPECT_EQ(vrel::GetUserMailDir("longus~1"), "C:\\Mail\\longus~1");
    EXPECT_EQ(Entries("C:\\Mail"), (std::set<std::string>{"longusername01", "longus~1"}));
    EXPECT_EQ(vrel::GetUserMailDir("LONGUS~1"), "C:\\Mail\\LONGUS~1");
    EXPECT_EQ(Entries("C:\\Mail"), (std::set<std::string>{"longusername01", "longus~1"}));
}

TEST_F(AgentTest, MailDirWithoutAUsableNameCreatesNothing) {
    StoreText(vrel::settings_value::MailInBoxDir, "C:\\Mail\\Users");
    for (const char* user : {"", "..", ". .", "..\\WINDOWS", "a/b", "C:x"}) {
        EXPECT_EQ(vrel::GetUserMailDir(user), "") << user;
    }
    EXPECT_FALSE(HostExists("C:\\Mail"));
}

TEST_F(AgentTest, MailDirDefaultsBesideTheDropFolder) {
    InstallSmtpServer({{"DropDirectory", "C:\\Inetpub\\mailroot\\Drop"}});
    EXPECT_EQ(vrel::GetUserMailDir("ann"), "C:\\Inetpub\\mailroot\\Users\\ann");
    EXPECT_TRUE(std::filesystem::is_directory(machine_.DriveC() / "Inetpub/mailroot/Users/ann"));
}

}  // namespace
