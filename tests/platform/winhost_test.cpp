// winhost reg and mb: what the administrator types is stored as Windows stores it.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/metabase.h"
#include "platform/registry.h"
#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using vrel::test::RunProgram;
using namespace win;

constexpr char kKey[] = "\"HKLM\\Software\\Vrel Test\"";

std::optional<RegValue> Stored(const char* name) {
    TRegistry registry;
    if (!registry.OpenKey("\\Software\\Vrel Test", false)) return std::nullopt;
    return registry.GetValue(name);
}

struct RegAddCase {
    const char* arguments;
    RegValue stored;
};

// The store holds password hashes: a machine made while its files were open to everybody is
// closed up by the next initialisation.
TEST_F(MachineTest, InitKeepsTheMachineToItsOwner) {
    namespace fs = std::filesystem;
    const fs::path db = machine_.Folder() / "machine.db";
    fs::permissions(machine_.Folder(), fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
    ASSERT_EQ(RunProgram("winhost", "init").exitCode, 0);
    EXPECT_EQ(fs::status(machine_.Folder()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(db).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(MachineTest, RegAddStoresEachTypeAsWindowsDoes) {
    const RegAddCase cases[] = {
        {"/v V /t REG_DWORD /d 2", {REG_DWORD, {2, 0, 0, 0}}},
        {"/v V /t reg_dword /d 0x10", {REG_DWORD, {16, 0, 0, 0}}},
        {"/v V /t REG_DWORD /d 4294967295", {REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {"/v V /t REG_BINARY /d 00fF10", {REG_BINARY, {0x00, 0xFF, 0x10}}},
        {"/v V /d \"C:\\Mail Root\"",
         {REG_SZ, {'C', ':', '\\', 'M', 'a', 'i', 'l', ' ', 'R', 'o', 'o', 't'}}},
        {"/v V /t REG_EXPAND_SZ /d %T%", {REG_EXPAND_SZ, {'%', 'T', '%'}}},
        {"/v V /t REG_SZ", {REG_SZ, {}}},
    };
    for (const RegAddCase& c : cases) {
        const auto result =
            RunProgram("winhost", std::string("reg add ") + kKey + " " + c.arguments + " /f");
        ASSERT_EQ(result.exitCode, 0) << c.arguments << "\n" << result.output;
        const std::optional<RegValue> stored = Stored("V");
        ASSERT_TRUE(stored) << c.arguments;
        EXPECT_EQ(stored->type, c.stored.type) << c.arguments;
        EXPECT_EQ(stored->data, c.stored.data) << c.arguments;
    }
    ASSERT_EQ(RunProgram("winhost", std::string("reg add ") + kKey + " /ve /d default").exitCode,
              0);
    EXPECT_EQ(Stored("")->data, (std::vector<std::uint8_t>{'d', 'e', 'f', 'a', 'u', 'l', 't'}));
}

TEST_F(MachineTest, RegAddRefusesBadInputAndChangesNothing) {
    for (const char* arguments :
         {"/v V /t REG_DWORD /d -1", "/v V /t REG_DWORD /d 4294967296", "/v V /t REG_DWORD /d 0x",
          "/v V /t REG_BINARY /d abc", "/v V /t REG_BINARY /d 0g", "/v V /t REG_MULTI_SZ /d a",
          "/v V /t REG_TEXT /d a", "/v", "/x"}) {
        const auto result = RunProgram("winhost", std::string("reg add ") + kKey + " " + arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments;
        EXPECT_FALSE(Stored("V")) << arguments;
    }
    EXPECT_EQ(RunProgram("winhost", "reg add HKXX\\Software /v V /d a").exitCode, 1);
}

TEST_F(MachineTest, RegAddAsksBeforeOverwritingAndRegDeleteBeforeDeleting) {
    ASSERT_EQ(RunProgram("winhost", std::string("reg add ") + kKey + " /v V /d old").exitCode, 0);
    EXPECT_EQ(
        RunProgram("winhost", std::string("reg add ") + kKey + " /v V /d new </dev/null").exitCode,
        1);
    EXPECT_EQ(
        RunProgram("winhost", std::string("reg delete ") + kKey + " /v V </dev/null").exitCode, 1);
    EXPECT_EQ(Stored("V")->data, (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    const std::filesystem::path yes = machine_.Folder() / "yes.txt";
    std::ofstream(yes) << "Yes\n";
    const std::string answer = " <'" + yes.string() + "'";
    EXPECT_EQ(
        RunProgram("winhost", std::string("reg add ") + kKey + " /v V /d new" + answer).exitCode,
        0);
    EXPECT_EQ(Stored("V")->data, (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(RunProgram("winhost", std::string("reg delete ") + kKey + " /v V" + answer).exitCode,
              0);
    EXPECT_FALSE(Stored("V"));
}

TEST_F(MachineTest, RegQueryAndDeleteMirrorRegExe) {
    ASSERT_EQ(RunProgram("winhost", "reg add \"HKLM\\Software\\Vrel Test\\Sub\"").exitCode, 0);
    ASSERT_EQ(RunProgram("winhost", std::string("reg add ") + kKey + " /v N /t REG_DWORD /d 0x2A")
                  .exitCode,
              0);
    const auto query =
        RunProgram("winhost", "reg query \"HKEY_LOCAL_MACHINE\\software\\vrel test\"");
    EXPECT_EQ(query.exitCode, 0);
    EXPECT_NE(query.output.find("    N    REG_DWORD    0x2a\n"), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("\\Sub\n"), std::string::npos) << query.output;
    EXPECT_EQ(RunProgram("winhost", std::string("reg query ") + kKey + " /v Missing").exitCode, 1);

    EXPECT_EQ(RunProgram("winhost", std::string("reg delete ") + kKey + " /v N /f").exitCode, 0);
    EXPECT_FALSE(Stored("N"));
    EXPECT_EQ(RunProgram("winhost", std::string("reg delete ") + kKey + " /f").exitCode, 0);
    EXPECT_EQ(RunProgram("winhost", std::string("reg query ") + kKey).exitCode, 1);
    EXPECT_EQ(RunProgram("winhost", "reg delete HKLM /f").exitCode, 1);
}

TEST_F(MachineTest, MbVerbsWorkThroughTheProvider) {
    EXPECT_EQ(RunProgram("winhost", "mb create smtpsvc/1 IIsSmtpServer").exitCode, 1);  // no parent
    ASSERT_EQ(RunProgram("winhost", "mb create smtpsvc IIsSmtpService").exitCode, 0);
    ASSERT_EQ(RunProgram("winhost", "mb create /SMTPSVC/1 IIsSmtpServer").exitCode, 0);
    EXPECT_EQ(RunProgram("winhost", "mb create smtpsvc/1 IIsSmtpServer").exitCode, 1);
    ASSERT_EQ(RunProgram("winhost", "mb set smtpsvc/1 RouteAction 0x10 /t DWORD").exitCode, 0);
    ASSERT_EQ(RunProgram("winhost", "mb set smtpsvc/1 Blob 0aff /t BINARY").exitCode, 0);
    ASSERT_EQ(RunProgram("winhost", "mb set smtpsvc/1 DefaultDomain example.com").exitCode, 0);
    EXPECT_EQ(RunProgram("winhost", "mb set smtpsvc/1 Bad x /t DWORD").exitCode, 1);

    std::shared_ptr<IIsObject> server;
    ASSERT_EQ(ADsGetObject("IIS://localhost/smtpsvc/1", server), S_OK);
    VARIANT value;
    ASSERT_EQ(server->Get("RouteAction", value), S_OK);
    EXPECT_EQ(value, VARIANT(std::int32_t{16}));
    ASSERT_EQ(server->Get("Blob", value), S_OK);
    EXPECT_EQ(value, VARIANT(VARIANT::Bytes{0x0A, 0xFF}));
    EXPECT_EQ(server->Get("Bad", value), E_ADS_PROPERTY_NOT_FOUND);

    EXPECT_EQ(RunProgram("winhost", "mb get smtpsvc/1 defaultdomain").output, "example.com\n");
    EXPECT_EQ(RunProgram("winhost", "mb get smtpsvc/1 Nothing").exitCode, 1);
    const auto listing = RunProgram("winhost", "mb enum smtpsvc");
    EXPECT_NE(listing.output.find("\"IIsSmtpService\""), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("[/smtpsvc/1]"), std::string::npos) << listing.output;

    ASSERT_EQ(RunProgram("winhost", "mb delete smtpsvc").exitCode, 0);
    EXPECT_EQ(ADsGetObject("IIS://localhost/smtpsvc/1", server), E_PATH_NOT_FOUND);
}

}  // namespace
