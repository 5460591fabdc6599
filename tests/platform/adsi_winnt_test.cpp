#include "platform/adsi_winnt.h"

#include <gtest/gtest.h>

#include "account_fixture.h"

namespace {

using namespace win;
using vrel::test::AccountTest;

// Fetches one item at a time, as the suite's enumerations do: "Class Name ADsPath" each.
std::vector<std::string> Drain(IEnumVARIANT& enumerator) {
    std::vector<std::string> seen;
    std::vector<ADsItem> items;
    while (enumerator.Next(1, items) == S_OK) {
        seen.push_back(items.back()->Class() + " " + items.back()->Name() + " " +
                       items.back()->ADsPath());
    }
    EXPECT_EQ(seen.size(), items.size());
    return seen;
}

std::vector<std::string> MembersOf(std::string_view path) {
    std::shared_ptr<IADsGroup> group;
    EXPECT_EQ(ADsGetWinNTObject(path, group), S_OK) << path;
    if (!group) return {};
    std::unique_ptr<IADsMembers> members;
    std::unique_ptr<IEnumVARIANT> enumerator;
    EXPECT_EQ(group->Members(members), S_OK);
    EXPECT_EQ(members->get__NewEnum(enumerator), S_OK);
    return Drain(*enumerator);
}

class WinNTTest : public AccountTest {
  protected:
    WinNTTest() {
        const Authority corp = Domain("CORP", "CORPDC");
        Domain("LOST", "");
        const Account users = Find(Computer(), "Users");
        const Account staff = Group(corp, "Staff");
        directory_.AddMember(staff, User(corp, "carol", "pw"));
        directory_.AddMember(users, User(Computer(), "bob", "pw"));
        directory_.AddMember(users, staff);
        directory_.AddMember(users, Find(corp, "carol"));
    }
};

TEST_F(WinNTTest, GroupMembersAreDirectAndAnswerAsUsersOrGroups) {
    EXPECT_EQ(
        MembersOf("WinNT://mailhost/users"),
        (std::vector<std::string>{"User bob WinNT://MAILHOST/bob", "Group Staff WinNT://CORP/Staff",
                                  "User carol WinNT://CORP/carol"}));
    EXPECT_EQ(MembersOf("WinNT://CORP/Staff"),
              std::vector<std::string>{"User carol WinNT://CORP/carol"});
}

TEST_F(WinNTTest, MemberItemsQueryForTheirOwnInterfaceOnly) {
    std::shared_ptr<IADsGroup> group;
    ASSERT_EQ(ADsGetWinNTObject("WinNT://MAILHOST/Users", group), S_OK);
    std::unique_ptr<IADsMembers> members;
    std::unique_ptr<IEnumVARIANT> enumerator;
    group->Members(members);
    members->get__NewEnum(enumerator);
    std::vector<ADsItem> items;
    EXPECT_EQ(enumerator->Next(5, items), S_FALSE);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(std::dynamic_pointer_cast<IADsUser>(items[0]));
    EXPECT_FALSE(std::dynamic_pointer_cast<IADsGroup>(items[0]));
    EXPECT_TRUE(std::dynamic_pointer_cast<IADsGroup>(items[1]));
    EXPECT_FALSE(std::dynamic_pointer_cast<IADsUser>(items[1]));
    EXPECT_EQ(enumerator->Next(1, items), S_FALSE);
    EXPECT_EQ(items.size(), 3u);
}

TEST_F(WinNTTest, ContainerFilterPassesTheNamedClasses) {
    const auto listing = [](std::string_view path, std::vector<std::string> filter) {
        std::shared_ptr<IADsContainer> container;
        EXPECT_EQ(ADsGetWinNTObject(path, container), S_OK);
        std::vector<std::string> array;
        EXPECT_EQ(ADsBuildVarArrayStr(filter, array), S_OK);
        EXPECT_EQ(container->put_Filter(array), S_OK);
        std::unique_ptr<IEnumVARIANT> enumerator;
        EXPECT_EQ(container->get__NewEnum(enumerator), S_OK);
        return Drain(*enumerator);
    };
    EXPECT_EQ(listing("WinNT://MAILHOST", {"group"}),
              (std::vector<std::string>{"Group Administrators WinNT://MAILHOST/Administrators",
                                        "Group Users WinNT://MAILHOST/Users"}));
    EXPECT_EQ(listing("WinNT://corp", {"User"}),
              std::vector<std::string>{"User carol WinNT://CORP/carol"});
    EXPECT_EQ(listing("WinNT://CORP", {}),
              (std::vector<std::string>{"User carol WinNT://CORP/carol",
                                        "Group Staff WinNT://CORP/Staff"}));
}

TEST_F(WinNTTest, ContainersNameTheirClass) {
    std::shared_ptr<IADs> object;
    ASSERT_EQ(ADsGetWinNTObject("WinNT://mailhost", object), S_OK);
    EXPECT_EQ(object->Class(), "Computer");
    EXPECT_EQ(object->Name(), "MAILHOST");
    ASSERT_EQ(ADsGetWinNTObject("WinNT://corp", object), S_OK);
    EXPECT_EQ(object->Class(), "Domain");
    EXPECT_EQ(object->ADsPath(), "WinNT://CORP");
}

struct BindCase {
    friend void PrintTo(const BindCase& c, std::ostream* os) { *os << c.path; }
    const char* path;
    HRESULT result;
};

class WinNTBindTest : public WinNTTest, public ::testing::WithParamInterface<BindCase> {};

TEST_P(WinNTBindTest, FailingPathsDoNotBind) {
    std::shared_ptr<IADsGroup> group;
    EXPECT_EQ(ADsGetWinNTObject(GetParam().path, group), GetParam().result);
    EXPECT_FALSE(group);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinNTBindTest,
    ::testing::Values(BindCase{"WinNT:///Users", E_ADS_BAD_PATHNAME},
                      BindCase{"WinNT://", E_ADS_BAD_PATHNAME},
                      BindCase{"winnt://MAILHOST/Users", E_ADS_BAD_PATHNAME},
                      BindCase{"IIS://localhost", E_ADS_BAD_PATHNAME},
                      BindCase{"WinNT://MAILHOST/Users/x", E_ADS_BAD_PATHNAME},
                      BindCase{"WinNT://MAILHOST/", E_ADS_BAD_PATHNAME},
                      BindCase{"WinNT://NOWHERE/Users", HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN)},
                      BindCase{"WinNT://LOST/Users", HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN)},
                      BindCase{"WinNT://WORKGROUP/Users", HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN)},
                      BindCase{"WinNT://MAILHOST/Nobody", HRESULT_FROM_WIN32(NERR_GroupNotFound)},
                      BindCase{"WinNT://MAILHOST/bob", E_NOINTERFACE},
                      BindCase{"WinNT://MAILHOST", E_NOINTERFACE}));

TEST_F(WinNTTest, SystemInfoReadsTheComputerAndItsDomainAtEachCall) {
    std::unique_ptr<IADsWinNTSystemInfo> info;
    ASSERT_EQ(CreateWinNTSystemInfo(info), S_OK);
    std::string name;
    EXPECT_EQ(info->get_ComputerName(name), S_OK);
    EXPECT_EQ(name, "MAILHOST");
    EXPECT_EQ(info->get_DomainName(name), S_OK);
    EXPECT_EQ(name, "WORKGROUP");
    directory_.SetComputerDomain("CORP");
    EXPECT_EQ(info->get_DomainName(name), S_OK);
    EXPECT_EQ(name, "CORP");
}

TEST_F(WinNTTest, SystemInfoIsNotCreatableOnceUnregistered) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(registry.DeleteKey("\\CLSID\\" + std::string(CLSID_WinNTSystemInfo)));
    std::unique_ptr<IADsWinNTSystemInfo> info;
    EXPECT_EQ(CreateWinNTSystemInfo(info), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(info);
}

}  // namespace
