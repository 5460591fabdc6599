#include "platform/version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/paths.h"
#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using namespace win;
namespace fs = std::filesystem;

VersionResource Resource(std::vector<DWORD> translations,
                         std::vector<std::pair<std::string, std::string>> strings) {
    return VersionResource{std::move(translations), {{"040904E4", std::move(strings)}}};
}

class VersionTest : public MachineTest {
  protected:
    // A program file in C:\Tools holding the block; returns its Windows name with ".exe".
    std::string Program(const std::string& name, std::span<const char> block) {
        fs::create_directories(machine_.DriveC() / "Tools");
        WriteVersionFile(machine_.DriveC() / "Tools" / name, block);
        return "C:\\Tools\\" + name + ".exe";
    }

    static std::vector<char> Load(const std::string& fileName) {
        const DWORD size = GetFileVersionInfoSize(fileName);
        std::vector<char> block(size);
        if (size == 0 || !GetFileVersionInfo(fileName, size, block.data())) return {};
        return block;
    }

    static std::optional<std::string> Query(const std::vector<char>& block,
                                            std::string_view subBlock) {
        const void* value = nullptr;
        unsigned length = 0;
        if (!VerQueryValue(block.data(), subBlock, &value, &length)) return std::nullopt;
        return std::string(static_cast<const char*>(value), length);
    }
};

TEST_F(VersionTest, ReadsTranslationAndStringsOfAProgramFile) {
    const std::string file = Program(
        "tool", MakeVersionBlock(Resource({kTranslationUsEnglish1252},
                                          {{"FileVersion", "1.5.3.24"}, {"Comments", ""}})));
    const std::vector<char> block = Load(file);
    ASSERT_FALSE(block.empty());

    const std::optional<std::string> translation = Query(block, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation);
    ASSERT_EQ(translation->size(), 4u);
    DWORD entry;
    std::memcpy(&entry, translation->data(), 4);
    EXPECT_EQ(entry & 0xFFFF, 0x0409u);  // language in the low word, as Windows stores it
    EXPECT_EQ(entry >> 16, 0x04E4u);

    // Lengths count the terminator; table and key names ignore case.
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904e4\\fileversion"), std::string("1.5.3.24", 9));
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904E4\\Comments"), std::string(1, '\0'));
    EXPECT_FALSE(Query(block, "\\StringFileInfo\\040904E4\\ProductName"));
    EXPECT_FALSE(Query(block, "\\StringFileInfo\\04090000\\FileVersion"));
    EXPECT_FALSE(Query(block, "\\StringFileInfo\\040904E4"));
}

TEST_F(VersionTest, BlockWithoutTranslationsHasNoTranslationTable) {
    const std::vector<char> block =
        Load(Program("tool", MakeVersionBlock(Resource({}, {{"FileVersion", "1"}}))));
    ASSERT_FALSE(block.empty());
    EXPECT_FALSE(Query(block, "\\VarFileInfo\\Translation"));
    EXPECT_TRUE(Query(block, "\\StringFileInfo\\040904E4\\FileVersion"));
}

TEST_F(VersionTest, FileIsFoundOnEitherDriveWithOrWithoutExe) {
    Program("tool", MakeVersionBlock(Resource({kTranslationUsEnglish1252}, {})));
    std::string onDriveZ = "Z:" + (machine_.DriveC() / "Tools" / "tool.exe").string();
    std::replace(onDriveZ.begin(), onDriveZ.end(), '/', '\\');
    EXPECT_GT(GetFileVersionInfoSize(onDriveZ), 0u);
    EXPECT_GT(GetFileVersionInfoSize("C:\\Tools\\tool"), 0u);
}

TEST_F(VersionTest, BlockIsNotCopiedIntoTooSmallABuffer) {
    const std::string file = Program("tool", MakeVersionBlock(Resource({}, {})));
    const DWORD size = GetFileVersionInfoSize(file);
    std::vector<char> block(size + 1, 'x');
    EXPECT_FALSE(GetFileVersionInfo(file, size - 1, block.data()));
    EXPECT_EQ(block[0], 'x');
}

TEST_F(VersionTest, TooLargeABlockIsRefused) {
    EXPECT_THROW(MakeVersionBlock(Resource({}, {{"Comments", std::string(70000, 'x')}})),
                 std::length_error);
}

// Files without a readable block: each has no version resource at all.
TEST_F(VersionTest, FilesWithoutAValidBlockHaveNoVersionResource) {
    const std::vector<char> good =
        MakeVersionBlock(Resource({kTranslationUsEnglish1252}, {{"FileVersion", "1.2.3.4"}}));
    std::vector<char> longer = good;
    longer[4] = static_cast<char>(good.size() + 1);  // header claims more than the section holds
    std::vector<char> unterminated = good;
    unterminated.back() = '4';
    std::vector<char> countTooHigh = good;
    countTooHigh[8] = 100;  // translation count
    std::vector<char> trailing = good;
    trailing[4] = static_cast<char>(good.size() - 1);  // header claims less than its tables

    const std::vector<std::pair<std::string, std::vector<char>>> cases = {
        {"longer", longer},      {"unterminated", unterminated},
        {"count", countTooHigh}, {"trailing", trailing},
        {"empty", {}},           {"magic", std::vector<char>(good.size(), 'V')},
    };
    for (const auto& [name, bytes] : cases) {
        const std::string file = Program(name, bytes);
        EXPECT_EQ(GetFileVersionInfoSize(file), 0u) << name;
        std::vector<char> block(good.size() * 2);
        EXPECT_FALSE(GetFileVersionInfo(file, DWORD(block.size()), block.data())) << name;
    }

    std::ofstream(machine_.DriveC() / "notes.txt") << "not a program\n";
    EXPECT_EQ(GetFileVersionInfoSize("C:\\notes.txt"), 0u);
    EXPECT_EQ(GetFileVersionInfoSize("C:\\missing.exe"), 0u);
    // A real program built without a version block.
    EXPECT_EQ(GetFileVersionInfoSize(ToWindowsPath(vrel::test::BinFolder() / "winhost")), 0u);
}

// Cutting a valid ELF file anywhere leaves a file without a version resource, never a crash.
TEST_F(VersionTest, TruncatedProgramFilesHaveNoVersionResource) {
    const std::string file = Program(
        "tool", MakeVersionBlock(Resource({kTranslationUsEnglish1252}, {{"FileVersion", "1"}})));
    const fs::path host = machine_.DriveC() / "Tools" / "tool";
    for (auto cut = static_cast<std::int64_t>(fs::file_size(host)) - 1; cut >= 0; cut -= 7) {
        fs::resize_file(host, static_cast<std::uintmax_t>(cut));
        EXPECT_EQ(GetFileVersionInfoSize(file), 0u) << cut;
    }
}

}  // namespace
