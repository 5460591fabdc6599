#include "platform/accounts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "account_fixture.h"

namespace {

using namespace win;
using vrel::test::AccountTest;

std::vector<std::string> Names(const std::vector<Account>& accounts) {
    std::vector<std::string> names;
    for (const Account& account : accounts)
        names.push_back(account.authority + "\\" + account.name);
    return names;
}

struct NameCase {
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }
    const char* name;
    bool valid;
};

class AccountNameTest : public AccountTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(AccountNameTest, WindowsNamingRulesDecideWhichNamesAreMade) {
    const NameCase& c = GetParam();
    if (c.valid) {
        directory_.AddUser(Computer(), c.name, "pw");
        EXPECT_EQ(directory_.FindAccount(Computer(), c.name)->name, c.name);
    } else {
        try {
            directory_.AddGroup(Computer(), c.name);
            FAIL() << "made \"" << c.name << "\"";
        } catch (const AccountError& error) {
            EXPECT_EQ(error.Code(), ERROR_INVALID_ACCOUNT_NAME);
            EXPECT_NE(std::string(error.what()).find("not a properly formed account name"),
                      std::string::npos);
        }
        EXPECT_FALSE(directory_.FindAccount(Computer(), c.name));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AccountNameTest,
    ::testing::Values(NameCase{"b", true}, NameCase{"Mary Smith", true},
                      NameCase{"john.doe-2_x", true}, NameCase{"a.", false},
                      NameCase{"bob ", false}, NameCase{"twentycharacters6789", true},
                      NameCase{"", false}, NameCase{"twentyonecharacters01", false},
                      NameCase{"...", false}, NameCase{" . ", false}, NameCase{"a\"b", false},
                      NameCase{"a/b", false}, NameCase{"a\\b", false}, NameCase{"a[b", false},
                      NameCase{"a]b", false}, NameCase{"a:b", false}, NameCase{"a;b", false},
                      NameCase{"a|b", false}, NameCase{"a=b", false}, NameCase{"a,b", false},
                      NameCase{"a+b", false}, NameCase{"a*b", false}, NameCase{"a?b", false},
                      NameCase{"a<b", false}, NameCase{"a>b", false}, NameCase{"a\tb", false}));

TEST_F(AccountTest, NamesCompareWithoutCaseAndKeepTheirCase) {
    User(Computer(), "MaryS", "pw");
    EXPECT_EQ(directory_.FindAccount(Computer(), "marys")->name, "MaryS");
    EXPECT_EQ(directory_.FindAuthority("mailhost")->name, "MAILHOST");
    try {
        directory_.AddGroup(Computer(), "MARYS");
        FAIL() << "a group may not take a user's name";
    } catch (const AccountError& error) {
        EXPECT_EQ(error.Code(), NERR_UserExists);
    }
    Domain("Corp", "");
    EXPECT_EQ(directory_.FindAuthority("CORP")->name, "Corp");
    EXPECT_THROW(directory_.AddDomain("corp", ""), AccountError);
    EXPECT_THROW(directory_.AddDomain("mailhost", ""), AccountError);
}

TEST_F(AccountTest, EightBitLettersCompareWithoutCaseToo) {
    User(Computer(), "Jos\xE9", "pw");
    EXPECT_EQ(directory_.FindAccount(Computer(), "JOS\xC9")->name, "Jos\xE9");
    EXPECT_THROW(directory_.AddUser(Computer(), "jos\xC9", "pw"), AccountError);
    User(Computer(),
         "Stra\xDF"
         "e",
         "pw");
    EXPECT_EQ(directory_.FindAccount(Computer(), "STRASSE"), std::nullopt)
        << "sharp s has no capital";
    Domain("\xC9quipe", "");
    EXPECT_EQ(directory_.FindAuthority("\xE9QUIPE")->name, "\xC9quipe");
}

TEST_F(AccountTest, NewMachineHasAdministratorInAdministratorsAndNoPassword) {
    const std::vector<Account> accounts = directory_.Accounts(Computer());
    EXPECT_EQ(Names(accounts),
              (std::vector<std::string>{"MAILHOST\\Administrator", "MAILHOST\\Administrators",
                                        "MAILHOST\\Users"}));
    const Account administrator = Find(Computer(), "Administrator");
    EXPECT_FALSE(directory_.HasPassword(administrator));
    EXPECT_EQ(Names(directory_.Members(Find(Computer(), "Administrators"))),
              std::vector<std::string>{"MAILHOST\\Administrator"});
    EXPECT_EQ(directory_.ComputerDomain(), "WORKGROUP");
}

TEST_F(AccountTest, LocalGroupHoldsAccountsOfOtherAuthoritiesInTheOrderAdded) {
    const Authority corp = Domain("CORP", "CORPDC");
    const Account users = Find(Computer(), "Users");
    const Account carol = User(corp, "carol", "pw");
    const Account staff = Group(corp, "Staff");
    const Account bob = User(Computer(), "bob", "pw");
    directory_.AddMember(users, carol);
    directory_.AddMember(users, staff);
    directory_.AddMember(users, bob);
    EXPECT_EQ(Names(directory_.Members(users)),
              (std::vector<std::string>{"CORP\\carol", "CORP\\Staff", "MAILHOST\\bob"}));

    EXPECT_THROW(directory_.AddMember(users, bob), AccountError);
    directory_.RemoveMember(users, staff);
    EXPECT_EQ(Names(directory_.Members(users)),
              (std::vector<std::string>{"CORP\\carol", "MAILHOST\\bob"}));
    try {
        directory_.RemoveMember(users, staff);
        FAIL();
    } catch (const AccountError& error) {
        EXPECT_EQ(error.Code(), ERROR_MEMBER_NOT_IN_ALIAS);
    }
}

TEST_F(AccountTest, GlobalGroupTakesOnlyAccountsOfItsDomain) {
    const Authority corp = Domain("CORP", "CORPDC");
    const Account staff = Group(corp, "Staff");
    directory_.AddMember(staff, User(corp, "carol", "pw"));
    EXPECT_THROW(directory_.AddMember(staff, User(Computer(), "bob", "pw")), AccountError);
    EXPECT_THROW(directory_.AddMember(staff, staff), AccountError);
    EXPECT_THROW(directory_.AddMember(Find(corp, "carol"), staff), AccountError);
}

TEST_F(AccountTest, GroupsOfFollowsNestingAndEndsOnACycle) {
    const Authority corp = Domain("CORP", "CORPDC");
    const Account carol = User(corp, "carol", "pw");
    const Account staff = Group(corp, "Staff");
    const Account admins = Find(Computer(), "Administrators");
    const Account team = Group(Computer(), "Team");
    directory_.AddMember(staff, carol);
    directory_.AddMember(team, staff);
    directory_.AddMember(admins, team);
    directory_.AddMember(team, admins);  // a cycle
    EXPECT_EQ(
        Names(directory_.GroupsOf(carol)),
        (std::vector<std::string>{"MAILHOST\\Administrators", "CORP\\Staff", "MAILHOST\\Team"}));
}

TEST_F(AccountTest, DeletingRemovesEveryMembership) {
    const Authority corp = Domain("CORP", "");
    const Account users = Find(Computer(), "Users");
    directory_.AddMember(users, User(corp, "carol", "pw"));
    const Account bob = User(Computer(), "bob", "pw");
    directory_.AddMember(users, bob);
    directory_.DeleteAccount(bob);
    EXPECT_FALSE(directory_.FindAccount(Computer(), "bob"));
    directory_.DeleteDomain("corp");
    EXPECT_FALSE(directory_.FindAuthority("CORP"));
    EXPECT_TRUE(directory_.Members(users).empty());
    // A new account must not inherit memberships of a deleted one.
    EXPECT_TRUE(directory_.GroupsOf(User(Computer(), "dave", "pw")).empty());
}

TEST_F(AccountTest, PasswordsMatchOnlyTheirOwnTextAndBlankNeverMatches) {
    const Account bob = User(Computer(), "bob", "Secret-1");
    EXPECT_TRUE(directory_.PasswordMatches(bob, "Secret-1"));
    EXPECT_FALSE(directory_.PasswordMatches(bob, "secret-1"));
    EXPECT_FALSE(directory_.PasswordMatches(bob, "Secret-"));
    EXPECT_FALSE(directory_.PasswordMatches(bob, std::string("Secret-1\0x", 10)));
    directory_.SetPassword(bob, "");
    EXPECT_FALSE(directory_.HasPassword(bob));
    EXPECT_FALSE(directory_.PasswordMatches(bob, ""));
    EXPECT_THROW(directory_.SetPassword(bob, std::string("a\0b", 3)), AccountError);
}

// Every file of the machine folder, the database's -wal and -shm files among them.
std::string EveryByteOfTheMachine(const std::filesystem::path& folder) {
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        all.append(std::istreambuf_iterator<char>(file), {});
    }
    return all;
}

TEST_F(AccountTest, NoFileOfTheMachineHoldsAClearPassword) {
    const std::string first = "Clear-Pass-5813";
    const std::string second = "Other-Pass-7724";
    const Account bob = User(Computer(), "bob", first);
    User(Domain("CORP", "CORPDC"), "carol", first);
    directory_.SetPassword(bob, second);
    ASSERT_TRUE(directory_.PasswordMatches(bob, second));
    ASSERT_TRUE(std::filesystem::exists(machine_.Folder() / "machine.db-wal"));

    const std::string all = EveryByteOfTheMachine(machine_.Folder());
    EXPECT_EQ(all.find(first), std::string::npos);
    EXPECT_EQ(all.find(second), std::string::npos);
    EXPECT_NE(all.find("$y$"), std::string::npos);  // the hashes are there
}

TEST_F(AccountTest, ComputerDomainIsSettableAndCheckedAsANetBiosName) {
    directory_.SetComputerDomain("CORP");
    EXPECT_EQ(directory_.ComputerDomain(), "CORP");
    EXPECT_THROW(directory_.SetComputerDomain("SIXTEENCHARACTER"), AccountError);
    EXPECT_THROW(directory_.SetComputerDomain("."), AccountError);
    EXPECT_EQ(directory_.ComputerDomain(), "CORP");
}

}  // namespace
