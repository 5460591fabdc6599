#include "common/mail_users.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/sorted_string_list.h"
#include "platform/accounts.h"
#include "platform/adsi_winnt.h"
#include "settings_fixture.h"

namespace {

using vrel::SortedStringList;

std::vector<std::string> Names(const SortedStringList& list) {
    return std::vector<std::string>(list.begin(), list.end());
}

TEST(SortedStringListTest, OrdersIgnoringCaseAndKeepsTheFirstOfEqualNames) {
    SortedStringList list({"carol", "Bob", "alice", "BOB", "Dave", "bob"});
    EXPECT_EQ(Names(list), (std::vector<std::string>{"alice", "Bob", "carol", "Dave"}));
    EXPECT_FALSE(list.Add("ALICE"));
    EXPECT_TRUE(list.Add("Bea"));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"alice", "Bea", "Bob", "carol", "Dave"}));
    EXPECT_EQ(list.Find("CAROL"), 3u);
    EXPECT_FALSE(list.Contains("carl"));
}

// Names outside ASCII fold and sort as the locale does: one name whatever its case, beside
// its unaccented neighbours.
TEST(SortedStringListTest, FoldsAndSortsAccentedNamesAsTheLocale) {
    SortedStringList list({"Zo\xEB", "JOS\xC9", "Jos\xE9", "Jose", "\xC9mile", "Eve"});
    EXPECT_EQ(Names(list),
              (std::vector<std::string>{"\xC9mile", "Eve", "Jose", "JOS\xC9", "Zo\xEB"}));
    EXPECT_EQ(list.Find("jos\xE9"), 3u);
    EXPECT_FALSE(list.Add("\xE9MILE"));
}

struct AddressCase {
    const char* address;
    const char* user;
    // Control characters shown escaped, so each case keeps a one-line name.
    friend void PrintTo(const AddressCase& c, std::ostream* os) {
        *os << '"';
        for (const char* p = c.address; *p; ++p) {
            if (static_cast<unsigned char>(*p) < ' ') {
                *os << "\\x" << std::hex << int(*p) << std::dec;
            } else {
                *os << *p;
            }
        }
        *os << '"';
    }
};

class UserFromAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(UserFromAddressTest, TakesTheUserPart) {
    EXPECT_EQ(vrel::GetUserFromAddress(GetParam().address), GetParam().user);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, UserFromAddressTest,
    ::testing::Values(
        AddressCase{"bob@example.com", "bob"},
        AddressCase{"Bob Smith <Bob.Smith@example.com>", "Bob.Smith"},
        AddressCase{"\"Smith, Bob\" <bob@example.com>", "bob"},
        AddressCase{"<bob@example.com>", "bob"}, AddressCase{"relay!bob@example.com", "bob"},
        AddressCase{"alice%bob@relay.example.com", "bob"}, AddressCase{"a@b@example.com", "a"},
        AddressCase{"[bob@example.com]", "bob"}, AddressCase{"To:\tbob@example.com", "bob"},
        AddressCase{"line\r\nbob@example.com", "bob"}, AddressCase{"@example.com", ""},
        AddressCase{"bob", ""}, AddressCase{"", ""}, AddressCase{"bob @example.com", ""}));

// A computer named MAILHOST in the domain CORP, whose controller answers.
class MailUsersTest : public vrel::test::SettingsTest {
  protected:
    MailUsersTest() {
        win::TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST");
        directory_.AddDomain("CORP", "CORPDC");
        directory_.SetComputerDomain("CORP");
    }

    win::Authority Authority(std::string_view name) { return *directory_.FindAuthority(name); }

    win::Account Account(std::string_view authority, std::string_view name) {
        return *directory_.FindAccount(Authority(authority), name);
    }

    win::Account User(std::string_view authority, std::string_view name) {
        directory_.AddUser(Authority(authority), name, "");
        return Account(authority, name);
    }

    win::Account Group(std::string_view authority, std::string_view name) {
        directory_.AddGroup(Authority(authority), name);
        return Account(authority, name);
    }

    void Join(const win::Account& group, const win::Account& member) {
        directory_.AddMember(group, member);
    }

    win::AccountDirectory directory_;
};

TEST_F(MailUsersTest, SystemInformationNamesTheComputerAndItsDomain) {
    EXPECT_EQ(vrel::GetLocalComputerName(), "MAILHOST");
    EXPECT_EQ(vrel::GetLocalDomainName(), "CORP");
}

TEST_F(MailUsersTest, WithoutTheSystemInformationClassBothNamesAreEmpty) {
    win::TRegistry registry;
    registry.RootKey = win::HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.DeleteKey("\\CLSID\\" + std::string(win::CLSID_WinNTSystemInfo)));
    EXPECT_EQ(vrel::GetLocalComputerName(), "");
    EXPECT_EQ(vrel::GetLocalDomainName(), "");
    EXPECT_EQ(vrel::GetAccountAuthority(), "");
    EXPECT_TRUE(vrel::GetEmailUsers().empty());
}

TEST_F(MailUsersTest, AuthorityFollowsUserAuthentication) {
    EXPECT_EQ(vrel::GetAccountAuthority(), "MAILHOST");
    StoreNumber(vrel::settings_value::UserAuthentication, 2);
    StoreText(vrel::settings_value::NTDomainLogonServer, "SALES");
    EXPECT_EQ(vrel::GetAccountAuthority(), "MAILHOST");
    StoreNumber(vrel::settings_value::UserAuthentication, 1);
    EXPECT_EQ(vrel::GetAccountAuthority(), "SALES");
    StoreText(vrel::settings_value::NTDomainLogonServer, "");
    EXPECT_EQ(vrel::GetAccountAuthority(), "");
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, false));
    ASSERT_TRUE(registry.DeleteValue(vrel::settings_value::NTDomainLogonServer));
    EXPECT_EQ(vrel::GetAccountAuthority(), "CORP");
}

TEST_F(MailUsersTest, LogonServerOfAnotherTypeRaisesTheRegistryError) {
    StoreNumber(vrel::settings_value::UserAuthentication, 1);
    StoreNumber(vrel::settings_value::NTDomainLogonServer, 7);
    EXPECT_THROW(vrel::GetAccountAuthority(), win::ERegistryException);
}

TEST_F(MailUsersTest, ListsTheGroupsDirectUsersSortedWithoutNestedGroups) {
    const win::Account users = Account("MAILHOST", "Users");
    const win::Account staff = Group("CORP", "Staff");
    Join(staff, User("CORP", "dave"));
    Join(users, User("MAILHOST", "carol"));
    Join(users, staff);
    Join(users, User("MAILHOST", "Bob"));
    Join(users, User("CORP", "alice"));
    Join(users, User("CORP", "BOB"));
    User("MAILHOST", "erin");
    EXPECT_EQ(Names(vrel::GetEmailUsers()), (std::vector<std::string>{"alice", "Bob", "carol"}));
}

TEST_F(MailUsersTest, IsEmailUserIgnoresCaseAndKnowsOnlyDirectUsers) {
    const win::Account users = Account("MAILHOST", "Users");
    const win::Account staff = Group("MAILHOST", "Staff");
    Join(staff, User("MAILHOST", "dave"));
    Join(users, User("MAILHOST", "Alice"));
    Join(users, staff);
    EXPECT_TRUE(vrel::IsEmailUser("alice"));
    EXPECT_TRUE(vrel::IsEmailUser("ALICE"));
    EXPECT_FALSE(vrel::IsEmailUser("dave"));
    EXPECT_FALSE(vrel::IsEmailUser("Staff"));
    EXPECT_FALSE(vrel::IsEmailUser("Administrator"));
    EXPECT_FALSE(vrel::IsEmailUser(""));
    Join(users, User("MAILHOST", "Jos\xE9"));
    EXPECT_TRUE(vrel::IsEmailUser("JOS\xC9"));
    EXPECT_FALSE(vrel::IsEmailUser("JOSE"));
}

TEST_F(MailUsersTest, TheSettingsChooseTheGroupAndTheDomain) {
    Join(Account("MAILHOST", "Users"), User("MAILHOST", "alice"));
    Join(Group("MAILHOST", "Mail"), User("MAILHOST", "bob"));
    Join(Group("CORP", "Mail"), User("CORP", "carol"));
    StoreText(vrel::settings_value::EmailUsersGroup, "mail");
    EXPECT_EQ(Names(vrel::GetEmailUsers()), std::vector<std::string>{"bob"});
    StoreNumber(vrel::settings_value::UserAuthentication, 1);
    EXPECT_EQ(Names(vrel::GetEmailUsers()), std::vector<std::string>{"carol"});
    EXPECT_TRUE(vrel::IsEmailUser("Carol"));
    StoreText(vrel::settings_value::NTDomainLogonServer, "");
    EXPECT_TRUE(vrel::GetEmailUsers().empty());
    EXPECT_FALSE(vrel::IsEmailUser("carol"));
}

TEST_F(MailUsersTest, UnboundGroupOrDomainGivesNoUsers) {
    Join(Account("MAILHOST", "Users"), User("MAILHOST", "alice"));
    StoreText(vrel::settings_value::EmailUsersGroup, "NoSuchGroup");
    EXPECT_TRUE(vrel::GetEmailUsers().empty());
    StoreText(vrel::settings_value::EmailUsersGroup, "alice");
    EXPECT_TRUE(vrel::GetEmailUsers().empty());
    StoreText(vrel::settings_value::EmailUsersGroup, "Users");
    directory_.SetDomainController("CORP", "");
    StoreNumber(vrel::settings_value::UserAuthentication, 1);
    EXPECT_TRUE(vrel::GetEmailUsers().empty());
}

TEST_F(MailUsersTest, AccountGroupsAreTheAuthoritysGroupsOnly) {
    Group("MAILHOST", "mail");
    User("MAILHOST", "alice");
    Group("CORP", "Staff");
    EXPECT_EQ(Names(vrel::GetAccountGroups()),
              (std::vector<std::string>{"Administrators", "mail", "Users"}));
    StoreNumber(vrel::settings_value::UserAuthentication, 1);
    EXPECT_EQ(Names(vrel::GetAccountGroups()), std::vector<std::string>{"Staff"});
    StoreText(vrel::settings_value::NTDomainLogonServer, "NOWHERE");
    EXPECT_TRUE(vrel::GetAccountGroups().empty());
}

TEST_F(MailUsersTest, AUserAddedWithWinhostIsAMailUser) {
    EXPECT_FALSE(vrel::IsEmailUser("ALICE"));
    const auto add = vrel::test::RunProgram("winhost", "net user alice S3cret! /add");
    ASSERT_EQ(add.exitCode, 0) << add.output;
    EXPECT_FALSE(vrel::IsEmailUser("ALICE"));
    const auto join = vrel::test::RunProgram("winhost", "net localgroup Users alice /add");
    ASSERT_EQ(join.exitCode, 0) << join.output;
    EXPECT_TRUE(vrel::IsEmailUser("ALICE"));
}

}  // namespace
