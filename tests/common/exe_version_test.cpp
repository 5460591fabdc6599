#include "common/exe_version.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/system_module.h"
#include "platform/paths.h"
#include "platform/version.h"
#include "test_machine.h"

namespace {

using vrel::GetVersionText;
using vrel::TWSAExeVersion;
using vrel::test::MachineTest;

using Fields = std::vector<std::pair<std::string, std::string>>;

class ExeVersionTest : public MachineTest {
  protected:
    // A program file on drive C: with the given translations and string tables.
    std::string Program(const win::VersionResource& resource) {
        win::WriteVersionFile(machine_.DriveC() / "program", win::MakeVersionBlock(resource));
        return "C:\\program.exe";
    }
    std::string Program(const Fields& fields) {
        return Program({{win::kTranslationUsEnglish1252}, {{"040904E4", fields}}});
    }
};

struct VersionCase {
    friend void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    const char* fileVersion;
    const char* major;
    const char* minor;
    const char* release;
    const char* build;
    const char* versionText;
    std::uint32_t packed;
};

class VersionPartsTest : public ExeVersionTest,
                         public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionPartsTest, PartsTextAndPackedNumberOfFileVersion) {
    const VersionCase& c = GetParam();
    const std::string file = Program(Fields{{"FileVersion", c.fileVersion}});
    const TWSAExeVersion version(file);
    EXPECT_EQ(version.GetMajorVersion(), c.major);
    EXPECT_EQ(version.GetMinorVersion(), c.minor);
    EXPECT_EQ(version.GetRelease(), c.release);
    EXPECT_EQ(version.GetBuild(), c.build);
    EXPECT_EQ(GetVersionText(version), c.versionText);

    std::uint32_t packed = 0xDEADBEEF;
    EXPECT_EQ(TWSAExeVersion::GetFileVersionField(file.c_str(), "FileVersion", nullptr, 0, &packed),
              int(std::strlen(c.fileVersion)));
    EXPECT_EQ(packed, c.packed) << std::hex << packed;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionPartsTest,
    ::testing::Values(
        VersionCase{"four", "1.2.3.4", "1", "2", "3", "4", "Version: 1.2.3 Build (4)", 0x01020304},
        VersionCase{"two", "1.2", "1", "2", "", "", "Version: 1 Build (2)", 0x01020000},
        VersionCase{"no_dot", "7", "", "", "", "", "", 0x07000000},
        VersionCase{"trailing_dot", "1.2.", "1", "2", "", "", "Version: 1.2 Build ()", 0x01020000},
        VersionCase{"double_dot", "1..2", "1", "2", "", "", "Version: 1. Build (2)", 0x01020000},
        VersionCase{"commas", "1, 2, 3, 4", "", "", "", "", "", 0x01020304},
        VersionCase{"blanks_around", " \t1.5.3.24  ", "1", "5", "3", "24",
                    "Version: 1.5.3 Build (24)", 0x01050318},
        VersionCase{"bases", "0x10.010.08.255", "0x10", "010", "08", "255",
                    "Version: 0x10.010.08 Build (255)", 0x100800FF},
        VersionCase{"not_a_number", "1.x.3", "1", "x", "3", "", "Version: 1.x Build (3)",
                    0x01000000},
        VersionCase{"low_byte", "300.1", "300", "1", "", "", "Version: 300 Build (1)", 0x2C010000},
        VersionCase{"five_parts", "1.2.3.4.5", "1", "2", "3", "4", "Version: 1.2.3.4 Build (5)",
                    0x01020304},
        VersionCase{"long", "10000.20000.30000.40000.50000", "10000", "20000", "30000", "40000",
                    "Version: 10000.20000.30000.40000 Build (50000)", 0x10203040}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExeVersionTest, EachTextPropertyReadsItsOwnFieldTrimmed) {
    using Accessor = std::string (TWSAExeVersion::*)() const;
    const std::vector<std::pair<const char*, Accessor>> properties = {
        {"CompanyName", &TWSAExeVersion::GetCompanyName},
        {"FileDescription", &TWSAExeVersion::GetFileDescription},
        {"FileVersion", &TWSAExeVersion::GetFileVersion},
        {"InternalName", &TWSAExeVersion::GetInternalName},
        {"LegalCopyright", &TWSAExeVersion::GetLegalCopyright},
        {"LegalTrademarks", &TWSAExeVersion::GetLegalTrademarks},
        {"OriginalFilename", &TWSAExeVersion::GetOriginalFilename},
        {"ProductName", &TWSAExeVersion::GetProductName},
        {"ProductVersion", &TWSAExeVersion::GetProductVersion},
        {"Comments", &TWSAExeVersion::GetComments},
    };
    Fields fields;
    for (const auto& [key, accessor] : properties) {
        fields.emplace_back(key, std::string(" \t") + key + " text\r\n ");
    }
    const TWSAExeVersion version(Program(fields));
    for (const auto& [key, accessor] : properties) {
        EXPECT_EQ((version.*accessor)(), std::string(key) + " text");
    }
}

TEST_F(ExeVersionTest, FieldIsCutToTheBufferAndAlwaysTerminated) {
    std::string longValue;
    for (int i = 0; i < 300; ++i) longValue += char('a' + i % 26);
    const std::string file = Program(Fields{{"Comments", longValue}, {"LegalTrademarks", ""}});

    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(TWSAExeVersion::GetFileVersionField(file.c_str(), "Comments", buffer, 260, nullptr),
              300);
    EXPECT_EQ(std::string(buffer), longValue.substr(0, 259));
    EXPECT_EQ(TWSAExeVersion(file).GetComments(), longValue.substr(0, 259));

    char small[6];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(TWSAExeVersion::GetFileVersionField(file.c_str(), "Comments", small, 5, nullptr),
              300);
    EXPECT_EQ(std::string(small), "abcd");
    EXPECT_EQ(small[5], 'x');  // nothing past the buffer size

    EXPECT_EQ(TWSAExeVersion::GetFileVersionField(file.c_str(), "Comments", small, 0, nullptr),
              300);
    EXPECT_EQ(small[0], 'a');
    EXPECT_EQ(TWSAExeVersion(file).GetLegalTrademarks(), "");
}

// A field that cannot be read reports 0, leaves the buffer alone and packs 0.
TEST_F(ExeVersionTest, UnreadableFieldsGiveNothing) {
    const std::string noTranslation = Program({{}, {{"040904E4", {{"FileVersion", "1.2.3.4"}}}}});
    const std::vector<std::pair<std::string, const char*>> cases = {
        {noTranslation, "FileVersion"},
        {"C:\\missing.exe", "FileVersion"},
        {win::GetModuleFileName(), "FileVersion"},  // this test program has no version block
    };
    for (const auto& [file, key] : cases) {
        char buffer[8] = "unset";
        std::uint32_t packed = 0xDEADBEEF;
        EXPECT_EQ(TWSAExeVersion::GetFileVersionField(file.c_str(), key, buffer, 8, &packed), 0)
            << file;
        EXPECT_STREQ(buffer, "unset") << file;
        EXPECT_EQ(packed, 0u) << file;
        EXPECT_EQ(TWSAExeVersion(file).GetFileVersion(), "") << file;
    }
    const std::string program = Program(Fields{{"FileVersion", "1.2.3.4"}});
    EXPECT_EQ(
        TWSAExeVersion::GetFileVersionField(program.c_str(), "ProductName", nullptr, 0, nullptr),
        0);
}

TEST_F(ExeVersionTest, TheFirstTranslationNamesTheStringTable) {
    const std::string file = Program(
        {{0x04B00407, win::kTranslationUsEnglish1252},
         {{"040904E4", {{"FileVersion", "1.1.1.1"}}}, {"040704b0", {{"FileVersion", "2.2.2.2"}}}}});
    EXPECT_EQ(TWSAExeVersion(file).GetFileVersion(), "2.2.2.2");
}

TEST_F(ExeVersionTest, RunningProgramWithoutVersionBlockHasEmptyVersionText) {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    EXPECT_EQ(vrel::SystemModule->VersionInfo.GetProductName(), "");
    EXPECT_EQ(GetVersionText(), "");
    vrel::SystemModule.reset();
}

struct ProgramCase {
    friend void PrintTo(const ProgramCase& c, std::ostream* os) { *os << c.program; }
    const char* program;
    const char* fileDescription;
    const char* productName;
    // Run by hand without a display: popservice fails outside the service control manager,
    // popsetup for want of a screen.
    int exitCodeByHand;
};

class ProgramVersionTest : public ExeVersionTest,
                           public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramVersionTest, ProgramFileCarriesItsVersionBlock) {
    const ProgramCase& c = GetParam();
    const std::string file = win::ToWindowsPath(vrel::test::BinFolder() / c.program) + ".exe";
    const TWSAExeVersion version(file);
    EXPECT_EQ(GetVersionText(version), "Version: 1.5.3 Build (24)");
    EXPECT_EQ(version.GetProductName(), c.productName);
    EXPECT_EQ(version.GetFileDescription(), c.fileDescription);
    EXPECT_EQ(version.GetProductVersion(), "1.5.3.24");
    EXPECT_EQ(version.GetCompanyName(), "Tavimere");
    EXPECT_EQ(version.GetOriginalFilename(), std::string(c.program) + ".exe");
    EXPECT_EQ(version.GetComments(), "");
    EXPECT_EQ(vrel::test::RunProgram(c.program, "").exitCode, c.exitCodeByHand);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramVersionTest,
    ::testing::Values(ProgramCase{"popsetup", "POP3 Server Settings", "Vrel POP3 Server", 1},
                      ProgramCase{"popagent", "Message Agent for Windows", "Vrel POP3 Server", 0},
                      ProgramCase{"popservice", "POP3 Server for Windows", "Vrel POP3 Service", 1}),
    [](const auto& info) { return std::string(info.param.program); });

}  // namespace
