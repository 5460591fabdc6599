#include "common/alias_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/metabase.h"
#include "test_machine.h"

namespace {

using vrel::ResolveAlias;

constexpr const char* kAliasContainer = "IIS://localhost/Pop3Svc/1/Alias";

class AliasTableTest : public vrel::test::MachineTest {
  protected:
    static void WriteAliases(const std::vector<std::pair<const char*, const char*>>& aliases) {
        if (!vrel::Pop3MetabaseExists()) vrel::CreatePop3Metabase();
        for (const auto& [alias, target] : aliases) ASSERT_TRUE(vrel::WriteAlias(alias, target));
    }
};

TEST_F(AliasTableTest, CreatesThePop3BranchOnce) {
    EXPECT_FALSE(vrel::Pop3MetabaseExists());
    vrel::CreatePop3Metabase();
    EXPECT_TRUE(vrel::Pop3MetabaseExists());
    std::shared_ptr<win::IIsObject> node;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost/pop3svc", node), win::S_OK);
    EXPECT_EQ(node->Class(), "IIsPOP3Service");
    ASSERT_EQ(win::ADsGetObject("IIS://localhost/Pop3Svc/1", node), win::S_OK);
    EXPECT_EQ(node->Class(), "IIsPOP3Server");
    win::VARIANT comment;
    ASSERT_EQ(node->Get("ServerComment", comment), win::S_OK);
    EXPECT_EQ(comment, win::VARIANT("Vrel POP3 Service"));
    ASSERT_EQ(win::ADsGetObject(kAliasContainer, node), win::S_OK);
    EXPECT_EQ(node->Class(), "IIsPop3VirtualDir");
    EXPECT_TRUE(node->PropertyNames().empty());
    vrel::CreatePop3Metabase();
    EXPECT_TRUE(vrel::GetAliasList().empty());
}

TEST_F(AliasTableTest, AnAliasInOtherCapitalsOfAnEightBitNameIsADuplicate) {
    WriteAliases({{"Jos\xE9", "bob"}});
    EXPECT_FALSE(vrel::WriteAlias("JOS\xC9", "carol"));
    EXPECT_EQ(vrel::GetAliasList(), std::vector<std::string>{"Jos\xE9=bob"});
    EXPECT_TRUE(vrel::RemoveAlias("jos\xC9"));
    EXPECT_TRUE(vrel::GetAliasList().empty());
}

TEST_F(AliasTableTest, WithoutThePop3BranchNothingIsAnAlias) {
    EXPECT_FALSE(vrel::WriteAlias("sales", "bob"));
    EXPECT_TRUE(vrel::GetAliasList().empty());
    EXPECT_EQ(ResolveAlias("Sales"), "Sales");
    std::shared_ptr<win::IIsObject> root, service;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost", root), win::S_OK);
    ASSERT_EQ(root->Create("IIsPOP3Service", "Pop3Svc", service), win::S_OK);
    EXPECT_TRUE(vrel::Pop3MetabaseExists());
    EXPECT_TRUE(vrel::GetAliasList().empty());
    EXPECT_EQ(ResolveAlias("sales"), "sales");
}

TEST_F(AliasTableTest, ListsTargetedChildrenInTheirOrder) {
    WriteAliases({{"sales", "bob"}, {"info", "sales"}, {"k=v", "t"}, {"none", ""}});
    std::shared_ptr<win::IIsObject> container, child;
    ASSERT_EQ(win::ADsGetObject(kAliasContainer, container), win::S_OK);
    ASSERT_EQ(container->Create("IIsPop3VirtualDir", "untargeted", child), win::S_OK);
    ASSERT_EQ(container->Create("IIsPop3VirtualDir", "bytes", child), win::S_OK);
    child->Put("Path", win::VARIANT(win::VARIANT::Bytes{'b', 'o', 'b'}));
    ASSERT_EQ(child->SetInfo(), win::S_OK);
    ASSERT_EQ(container->Create("IIsPop3VirtualDir", "number", child), win::S_OK);
    child->Put("Path", win::VARIANT(42));
    ASSERT_EQ(child->SetInfo(), win::S_OK);
    const std::vector<std::string> lines = vrel::GetAliasList();
    EXPECT_EQ(lines,
              (std::vector<std::string>{"sales=bob", "info=sales", "k=v=t", "none=", "number=42"}));
    EXPECT_EQ(vrel::AliasName(lines[2]), "k");
    EXPECT_EQ(vrel::AliasTarget(lines[2]), "v=t");
}

// The locale's case folding, not only ASCII's: an alias written in one case of an accented
// name resolves for every other, along the whole chain.
TEST_F(AliasTableTest, ResolvesAccentedNamesInAnyCase) {
    WriteAliases({{"Jos\xE9", "\xC9mile"}, {"\xE9MILE", "bob"}, {"Jose", "carol"}});
    EXPECT_EQ(ResolveAlias("JOS\xC9"), "bob");
    EXPECT_EQ(ResolveAlias("jos\xE9"), "bob");
    EXPECT_EQ(ResolveAlias("JOSE"), "carol");
}

TEST_F(AliasTableTest, WritesAndRemovesAliasesIgnoringCase) {
    WriteAliases({{"Sales", "bob"}});
    EXPECT_FALSE(vrel::WriteAlias("SALES", "carol"));
    EXPECT_EQ(ResolveAlias("sales"), "bob");
    EXPECT_TRUE(vrel::RemoveAlias("sALES"));
    EXPECT_FALSE(vrel::RemoveAlias("sales"));
    EXPECT_EQ(ResolveAlias("sales"), "sales");
}

struct ResolveCase {
    const char* name;
    const char* result;
    friend void PrintTo(const ResolveCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }
};

class ResolveAliasTest : public AliasTableTest, public ::testing::WithParamInterface<ResolveCase> {
  protected:
    void SetUp() override {
        WriteAliases({{"sales", "mailuser"},
                      {"info", "sales"},
                      {"Boss", "MailUser"},
                      {"a", "b"},
                      {"b", "a"},
                      {"self", "SELF"},
                      {"x", "y"},
                      {"y", "z"},
                      {"z", "Y"},
                      {"blank", ""},
                      {"toblank", "blank"},
                      {"k=v", "t"},
                      {"k=w", "u"},
                      {"tok", "k"}});
    }
};

TEST_P(ResolveAliasTest, FollowsTheChainToItsEnd) {
    EXPECT_EQ(ResolveAlias(GetParam().name), GetParam().result) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Chains, ResolveAliasTest,
    ::testing::Values(ResolveCase{"NoBody", "NoBody"}, ResolveCase{"mailuser", "mailuser"},
                      ResolveCase{"sales", "mailuser"}, ResolveCase{"info", "mailuser"},
                      ResolveCase{"SALES", "mailuser"}, ResolveCase{"boss", "MailUser"},
                      ResolveCase{"a", "a"}, ResolveCase{"B", "b"}, ResolveCase{"self", "SELF"},
                      ResolveCase{"x", "Y"}, ResolveCase{"blank", "blank"},
                      ResolveCase{"toblank", ""}, ResolveCase{"k=v", "k=v"},
                      ResolveCase{"K", "v=t"}, ResolveCase{"tok", "v=t"}));

}  // namespace
