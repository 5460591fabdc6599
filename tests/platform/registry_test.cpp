#include "platform/registry.h"

#include <gtest/gtest.h>

#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using namespace win;

class RegistryTest : public MachineTest {};

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCaseAndKeepIt) {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey("\\Software\\Tavimere\\POP3 Server", true));
    writer.WriteString("PostMaster", "root@example.com");

    TRegistry reader;
    ASSERT_TRUE(reader.OpenKey("\\SOFTWARE\\tavimere\\pop3 server", false));
    EXPECT_EQ(reader.ReadString("POSTMASTER"), "root@example.com");
    EXPECT_EQ(reader.GetValueNames(), std::vector<std::string>{"PostMaster"});
}

TEST_F(RegistryTest, EightBitKeyAndValueNamesIgnoreCaseToo) {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey("\\Software\\\xC9quipe", true));
    writer.WriteString("Caf\xE9", "one");
    writer.WriteString("CAF\xC9", "two");

    TRegistry reader;
    ASSERT_TRUE(reader.OpenKey("\\SOFTWARE\\\xE9QUIPE", false));
    EXPECT_EQ(reader.GetValueNames(), std::vector<std::string>{"Caf\xE9"});
    EXPECT_EQ(reader.ReadString("caf\xC9"), "two");
}

TEST_F(RegistryTest, OpenWithoutCreateFailsForMissingKey) {
    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey("\\Software\\Nobody", false));
    EXPECT_FALSE(registry.KeyExists("\\Software\\Nobody"));
    EXPECT_TRUE(registry.OpenKey("\\Software\\Nobody", true));
    EXPECT_TRUE(registry.KeyExists("\\Software\\Nobody"));
}

TEST_F(RegistryTest, RelativePathsStartAtTheOpenKey) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software", false));
    ASSERT_TRUE(registry.OpenKey("Tavimere\\POP3 Server", true));
    EXPECT_EQ(registry.CurrentPath(), "Software\\Tavimere\\POP3 Server");
    EXPECT_TRUE(registry.KeyExists("\\Software\\Tavimere\\POP3 Server"));
}

struct TypeErrorCase {
    friend void PrintTo(const TypeErrorCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    RegValue stored;
    const char* message;
};

class RegistryTypeErrorTest : public RegistryTest,
                              public ::testing::WithParamInterface<TypeErrorCase> {};

TEST_P(RegistryTypeErrorTest, IntegerReadRaisesTheLibraryText) {
    const TypeErrorCase& c = GetParam();
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Test", true));
    registry.PutValue("Value", c.stored);
    try {
        registry.ReadInteger("Value");
        FAIL() << "no exception for " << c.name;
    } catch (const ERegistryException& error) {
        EXPECT_STREQ(error.what(), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryTypeErrorTest,
    ::testing::Values(
        TypeErrorCase{"short text", {REG_SZ, {'2'}}, "Invalid data type for 'Value'"},
        TypeErrorCase{
            "long text", {REG_SZ, {'1', '2', '3', '4', '5'}}, "Failed to get data for 'Value'"},
        TypeErrorCase{"binary dword", {REG_BINARY, {1, 0, 0, 0}}, "Invalid data type for 'Value'"},
        TypeErrorCase{"none type", {REG_NONE, {}}, "Invalid data type for 'Value'"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST_F(RegistryTest, StringReadOfANumberRaisesAndMissingStringIsEmpty) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Test", true));
    registry.WriteInteger("Number", 7);
    EXPECT_THROW(registry.ReadString("Number"), ERegistryException);
    EXPECT_EQ(registry.ReadString("Missing"), "");
    EXPECT_THROW(registry.ReadInteger("Missing"), ERegistryException);
}

TEST_F(RegistryTest, ExpandStringReadsUnexpanded) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Test", true));
    registry.WriteExpandString("Path", "%SystemRoot%\\x");
    EXPECT_EQ(registry.ReadString("Path"), "%SystemRoot%\\x");
    EXPECT_EQ(registry.GetDataType("Path"), REG_EXPAND_SZ);
}

TEST_F(RegistryTest, DateTimeRoundTripsAsEightBinaryBytes) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Test", true));
    registry.WriteDateTime("Started", 46365.5);
    EXPECT_DOUBLE_EQ(registry.ReadDateTime("Started"), 46365.5);
    EXPECT_EQ(registry.ReadBinaryData("Started").size(), 8u);
}

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeSubtree) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Top\\Middle\\Leaf", true));
    registry.WriteString("x", "y");
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey("\\Software\\Top"));
    EXPECT_FALSE(registry.KeyExists("\\Software\\Top\\Middle\\Leaf"));
    ASSERT_TRUE(registry.OpenKey("\\Software\\Top\\Middle\\Leaf", true));
    EXPECT_FALSE(registry.ValueExists("x"));
}

TEST_F(RegistryTest, ClassesRootIsAViewOfLocalMachineClasses) {
    TRegistry classes;
    classes.RootKey = HKEY_CLASSES_ROOT;
    ASSERT_TRUE(classes.OpenKey("\\vrel.Test\\CLSID", true));
    classes.WriteString("", "{00000000-0000-0000-0000-000000000001}");

    TRegistry machine;
    ASSERT_TRUE(machine.OpenKey("\\SOFTWARE\\Classes\\vrel.Test\\CLSID", false));
    EXPECT_EQ(machine.ReadString(""), "{00000000-0000-0000-0000-000000000001}");
}

TEST_F(RegistryTest, NewMachineHasItsComputerName) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                 false));
    const std::string name = registry.ReadString("ComputerName");
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
}

}  // namespace

namespace {

TEST_F(RegistryTest, RecorderListsEveryWriteInOrderWithKeyAndType) {
    TRegistry first;
    ASSERT_TRUE(first.OpenKey("\\Software\\A", true));
    first.WriteInteger("Before", 1);  // before the recorder: not listed
    std::vector<RegistryWrite> writes;
    {
        RegistryWriteRecorder recorder;
        EXPECT_THROW(RegistryWriteRecorder(), std::logic_error);
        first.WriteString("Name", "x");
        TRegistry second;
        ASSERT_TRUE(second.OpenKey("\\Software\\B\\C", true));
        second.WriteBool("Flag", true);
        second.WriteDateTime("When", 1.5);
        first.WriteExpandString("Path", "%windir%");
        second.UpdateInteger("Count", [](std::optional<std::int32_t>) { return 2; });
        first.ReadString("Name");
        first.DeleteValue("Before");
        writes = recorder.Writes();
        EXPECT_EQ(recorder.Names(),
                  (std::vector<std::string>{"Name", "Flag", "When", "Path", "Count"}));
    }
    EXPECT_EQ(writes, (std::vector<RegistryWrite>{{"Software\\A", "Name", REG_SZ},
                                                  {"Software\\B\\C", "Flag", REG_DWORD},
                                                  {"Software\\B\\C", "When", REG_BINARY},
                                                  {"Software\\A", "Path", REG_EXPAND_SZ},
                                                  {"Software\\B\\C", "Count", REG_DWORD}}));
    RegistryWriteRecorder after;  // the first one is gone
    first.WriteInteger("Later", 3);
    EXPECT_EQ(after.Names(), std::vector<std::string>{"Later"});
}

}  // namespace
