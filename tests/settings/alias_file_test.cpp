// Export of the alias grid and import of alias files through the Add logic, on files of the
// test's machine: exact bytes out, the ".BAK" backup, the import's line rules and options,
// and files that are missing, unreadable, empty, binary or have very long lines.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "alias_fixture.h"
#include "platform/dialogs.h"
#include "platform/file_dialogs.h"
#include "settings/alias_import_export.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::AliasPairs;
using vrel::test::AliasTabTest;
using vrel::test::Texts;

std::string ReadHost(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteHost(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

struct LinesCase {
    std::string text;
    std::vector<std::string> lines;
};

TEST(TextLinesTest, SplitsAsTheStringListLoadsText) {
    const std::vector<LinesCase> cases = {
        {"", {}},
        {"a,b", {"a,b"}},
        {"a\r\nb\rc\nd\r\n", {"a", "b", "c", "d"}},
        {"\r\n\r\n", {"", ""}},
        {"a\n\rb", {"a", "", "b"}},
        {std::string("a,b\r\nc\0d\r\ne", 11), {"a,b", "c"}},
        {std::string("\0a", 2), {}},
    };
    for (const LinesCase& c : cases) EXPECT_EQ(vrel::TextLines(c.text), c.lines) << c.text;
}

TEST(ChangeFileExtTest, ReplacesOrAddsTheExtension) {
    EXPECT_EQ(vrel::ChangeFileExt("C:\\x\\aliases.csv", ".BAK"), "C:\\x\\aliases.BAK");
    EXPECT_EQ(vrel::ChangeFileExt("C:\\x.d\\aliases", ".BAK"), "C:\\x.d\\aliases.BAK");
    EXPECT_EQ(vrel::ChangeFileExt("C:\\a.b.csv", ".BAK"), "C:\\a.b.BAK");
}

class AliasFileTest : public AliasTabTest {
  protected:
    fs::path HostFile(const std::string& name) { return machine_.DriveC() / name; }

    void Export(const fs::path& file, std::deque<int> answers = {}) {
        Run(*Form().AliasExportButton, true, file, std::move(answers));
    }

    void Import(const fs::path& file, std::deque<int> answers = {}) {
        Run(*Form().AliasImportButton, false, file, std::move(answers));
    }

    // Presses the button; its file dialog chooses the file, boxes take the answers.
    void Run(QPushButton& button, bool save, const fs::path& file, std::deque<int> answers) {
        win::FileDialogScript dialogs;
        dialogs.Answer(file);
        boxes_.emplace(std::move(answers));
        QTest::mouseClick(&button, Qt::LeftButton);
        ASSERT_EQ(dialogs.Shown().size(), 1u);
        EXPECT_EQ(dialogs.Shown()[0].save, save);
        EXPECT_EQ(dialogs.Shown()[0].defaultExt, "csv");
        EXPECT_EQ(dialogs.Shown()[0].filter, "Comma delimited (*.csv)|*.csv|All Files (*.*)|*.*");
    }

    std::vector<std::string> Shown() { return Texts(*boxes_); }

    std::optional<win::MessageBoxScript> boxes_;
};

TEST_F(AliasFileTest, ExportWritesEachRowInGridOrderWithCrLf) {
    Seed({{"sales", "bob"}, {"team", "carol"}, {"info", "sales,desk"}});
    ClickCell(1, 0);  // sorted: the file follows the grid
    Export(HostFile("aliases.csv"));
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(ReadHost(HostFile("aliases.csv")), "info,sales,desk\r\nsales,bob\r\nteam,carol\r\n");
}

TEST_F(AliasFileTest, ExportOverAFileAsksAndKeepsTheOldOneAsBak) {
    Seed({{"sales", "bob"}});
    WriteHost(HostFile("aliases.csv"), "old");
    Export(HostFile("aliases.csv"), {win::IDNO});
    EXPECT_EQ(Shown(), std::vector<std::string>{"Overwrite existing file?"});
    EXPECT_EQ(ReadHost(HostFile("aliases.csv")), "old");
    EXPECT_FALSE(fs::exists(HostFile("aliases.BAK")));

    Export(HostFile("aliases.csv"), {win::IDYES});
    EXPECT_EQ(ReadHost(HostFile("aliases.csv")), "sales,bob\r\n");
    EXPECT_EQ(ReadHost(HostFile("aliases.BAK")), "old");

    // A backup already there stays; the file is overwritten all the same.
    Export(HostFile("aliases.csv"), {win::IDYES});
    EXPECT_EQ(ReadHost(HostFile("aliases.BAK")), "old");
    EXPECT_EQ(ReadHost(HostFile("aliases.csv")), "sales,bob\r\n");
}

TEST_F(AliasFileTest, ImportReplacesTheTableKeepingSecondCommas) {
    Seed({{"old1", "bob"}, {"old2", "bob"}});
    ClickCell(1, 0);
    WriteHost(HostFile("in.csv"), "sales,bob,desk\r\n\r\nteam,carol\nx,y\r");
    Import(HostFile("in.csv"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"Requires both Alias and Map to User fields."});
    const AliasPairs imported = {{"sales", "bob,desk"}, {"team", "carol"}, {"x", "y"}};
    EXPECT_EQ(StoredAliases(), imported);
    EXPECT_EQ(GridRows(), imported);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias", "Map To User"}));
    EXPECT_FALSE(Form().sortAscending);
    EXPECT_EQ(Form().AliasStringGrid->Row(), 1);
    ClickCell(1, 0);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias ^", "Map To User"}));
}

TEST_F(AliasFileTest, ImportWithAppendMeetsTheDuplicateOption) {
    Seed({{"sales", "bob"}, {"keep", "bob"}});
    SetOptions(2, 0, true);
    WriteHost(HostFile("in.csv"), "SALES,carol\r\nnew,carol\r\n");
    Import(HostFile("in.csv"), {win::IDYES});
    EXPECT_EQ(Shown(), std::vector<std::string>{"Alias: SALES already exists - overwrite ?"});
    EXPECT_EQ(StoredAliases(), (AliasPairs{{"keep", "bob"}, {"SALES", "carol"}, {"new", "carol"}}));
}

// The grid does not follow each imported row, but ends on the first row, in view.
TEST_F(AliasFileTest, ImportEndsWithTheGridAtItsFirstRow) {
    AliasPairs seeded;
    for (int i = 0; i < 40; ++i) seeded.emplace_back("a" + std::to_string(i), "bob");
    Seed(seeded);
    SetOptions(0, 0, true);
    vrel::TStringGrid& grid = *Form().AliasStringGrid;
    grid.SetRow(40);
    ASSERT_GT(grid.verticalScrollBar()->value(), 0);
    WriteHost(HostFile("in.csv"), "sales,bob\r\nteam,carol\r\n");
    Import(HostFile("in.csv"));
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_TRUE(grid.viewport()->rect().contains(grid.CellRect(1, 1)));
}

TEST_F(AliasFileTest, AFileThatCannotBeReadRemovesNothing) {
    Seed({{"sales", "bob"}});
    fs::create_directory(HostFile("folder.csv"));
    for (const fs::path& file : {HostFile("missing.csv"), HostFile("folder.csv")}) {
        Import(file);
        ASSERT_EQ(boxes_->Shown().size(), 1u) << file;
        EXPECT_EQ(boxes_->Shown()[0].text,
                  "Cannot open file \"C:\\" + file.filename().string() + "\"");
        EXPECT_EQ(boxes_->Shown()[0].icon, win::MB_ICONERROR);
        EXPECT_EQ(StoredAliases(), (AliasPairs{{"sales", "bob"}}));
        EXPECT_EQ(GridRows(), (AliasPairs{{"sales", "bob"}}));
    }
}

TEST_F(AliasFileTest, CancelledImportOnlyRefreshesThePage) {
    Seed({{"sales", "bob"}});
    win::FileDialogScript dialogs;
    dialogs.Cancel();
    win::MessageBoxScript boxes;
    Form().AliasImportButtonClick();
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(StoredAliases(), (AliasPairs{{"sales", "bob"}}));
}

// Any bytes go through the Add logic: an empty file empties the table; a NUL ends the text;
// a line of 100 KB is one alias (or one missing-field message) like any other.
TEST_F(AliasFileTest, EmptyBinaryAndLongLinesGoThroughAdd) {
    Seed({{"sales", "bob"}});
    WriteHost(HostFile("empty.csv"), "");
    Import(HostFile("empty.csv"));
    EXPECT_TRUE(Shown().empty());
    EXPECT_TRUE(StoredAliases().empty());

    WriteHost(HostFile("binary.csv"), std::string("\x01\x7f,\xff\xfe\r\n\0late,bob\r\n", 15));
    Import(HostFile("binary.csv"));
    ASSERT_EQ(StoredAliases().size(), 1u);
    EXPECT_EQ(StoredAliases()[0].second, "\xff\xfe");

    const std::string longName(100 * 1024, 'a');
    WriteHost(HostFile("long.csv"), longName + ",bob\r\n" + std::string(100 * 1024, 'b') + "\r\n");
    Import(HostFile("long.csv"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"Requires both Alias and Map to User fields."});
    const AliasPairs rows = GridRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].first == longName) << rows[0].first.size();
    EXPECT_EQ(rows[0].second, "bob");
    EXPECT_EQ(StoredAliases(), rows);
}

}  // namespace
