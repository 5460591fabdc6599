// A machine made before names followed the code page's case rule: its store declared the name
// columns COLLATE NOCASE (ASCII only) and could hold "José" and "JOSÉ" side by side.
#include "store/db.h"

#include <gtest/gtest.h>

#include "account_fixture.h"
#include "platform/logon.h"
#include "store/machine.h"

namespace {

using namespace win;
using vrel::test::AccountTest;
using vrel::test::RunProgram;

class OldStoreTest : public AccountTest {
  protected:
    // The store as the old code left it, with a second account that only the new rule makes
    // the same name as the first one, and the same for a registry value.
    void MakeOldStore() {
        {
            Db db(MachineDbPath());
            auto version = db.Prepare("PRAGMA schema_version");
            version.Step();
            const std::int64_t schema = version.Int(0);
            version.Reset();
            db.Exec("PRAGMA writable_schema=ON");
            db.Exec(
                "UPDATE sqlite_schema SET sql = replace(sql, 'COLLATE NOCASE1252', 'COLLATE "
                "NOCASE')");
            db.Exec("PRAGMA schema_version=" + std::to_string(schema + 1));
            db.Exec("PRAGMA writable_schema=OFF");
        }
        Db db(MachineDbPath());
        db.Exec("REINDEX");
        db.Exec(
            "INSERT INTO acct_account(authority, name, is_group) VALUES (1, 'JOS\xC9', 0);"
            "INSERT INTO reg_value(key, name, type, data)"
            " SELECT key, 'CAF\xC9', type, data FROM reg_value WHERE name = 'Caf\xE9';"
            "PRAGMA user_version=1");
    }

    std::int64_t OldDeclarations() {
        Db db(MachineDbPath());
        auto select = db.Prepare(
            "SELECT count(*) FROM sqlite_schema WHERE sql LIKE '%COLLATE NOCASE' OR sql LIKE "
            "'%COLLATE NOCASE,%' OR sql LIKE '%COLLATE NOCASE)%'");
        select.Step();
        return select.Int(0);
    }
};

TEST_F(OldStoreTest, IsRebuiltOnceAndKeepsEveryName) {
    User(Computer(), "Jos\xE9", "pw");
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey("\\Software\\Test", true));
    writer.WriteString("Caf\xE9", "one");
    MakeOldStore();
    ASSERT_GT(OldDeclarations(), 0);

    const auto listed = RunProgram("winhost", "net user");
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(listed.output.find("Jos\xC3\xA9"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("JOS\xC3\x89~2"), std::string::npos) << listed.output;

    EXPECT_EQ(OldDeclarations(), 0);
    Db db(MachineDbPath());
    auto check = db.Prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Text(0), "ok");
    EXPECT_EQ(directory_.FindAccount(Computer(), "jos\xC9")->name, "Jos\xE9");
    std::unique_ptr<AccessToken> token;
    EXPECT_EQ(
        LogonUser("JOS\xC9", ".", "pw", LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, token),
        ERROR_SUCCESS);
    EXPECT_THROW(directory_.AddUser(Computer(), "jos\xE9", "pw"), AccountError);
    // A table without row ids keeps the name that comes first by its bytes.
    TRegistry reader;
    ASSERT_TRUE(reader.OpenKeyReadOnly("\\Software\\Test"));
    EXPECT_EQ(reader.GetValueNames(), (std::vector<std::string>{"CAF\xC9", "Caf\xE9~2"}));
    EXPECT_EQ(RunProgram("winhost", "net user").output, listed.output) << "rebuilt only once";
}

}  // namespace
