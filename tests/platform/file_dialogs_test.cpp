// File dialogs without a window: what a dialog is asked to show, how a script answers it, and
// the Windows path the caller gets for the host file chosen.
#include "platform/file_dialogs.h"

#include <gtest/gtest.h>

#include "test_machine.h"

namespace {

using namespace win;

class FileDialogsTest : public vrel::test::MachineTest {};

TEST_F(FileDialogsTest, TheHostFileChosenComesBackAsAWindowsPath) {
    const struct {
        std::filesystem::path host;
        const char* defaultExt;
        std::string windows;
    } cases[] = {
        {machine_.DriveC() / "Data" / "aliases.csv", "csv", "C:\\Data\\aliases.csv"},
        {machine_.DriveC() / "Data" / "aliases", "csv", "C:\\Data\\aliases.csv"},
        {machine_.DriveC() / "Data" / "aliases", "", "C:\\Data\\aliases"},
        {"/tmp/list.txt", "csv", "Z:\\tmp\\list.txt"},
        {"/tmp/dir.d/list", "csv", "Z:\\tmp\\dir.d\\list.csv"},
        {"/tmp/Jos\xC3\xA9.csv", "csv", "Z:\\tmp\\Jos\xE9.csv"},  // UTF-8 host, 1252 path
    };
    for (const auto& c : cases) {
        FileDialogScript script;
        script.Answer(c.host);
        TSaveDialog dialog;
        dialog.DefaultExt = c.defaultExt;
        EXPECT_TRUE(dialog.Execute());
        EXPECT_EQ(dialog.FileName, c.windows) << c.host;
    }
}

TEST_F(FileDialogsTest, ScriptRecordsEachDialogAndCancelsWhenItRunsDry) {
    FileDialogScript script;
    script.Cancel();
    TOpenDialog open;
    open.Filter = "Comma delimited (*.csv)|*.csv|All Files (*.*)|*.*";
    open.DefaultExt = "csv";
    open.FileName = "C:\\old.csv";
    EXPECT_FALSE(open.Execute());
    EXPECT_EQ(open.FileName, "C:\\old.csv");
    TSaveDialog save;
    EXPECT_FALSE(save.Execute());
    ASSERT_EQ(script.Shown().size(), 2u);
    EXPECT_FALSE(script.Shown()[0].save);
    EXPECT_EQ(script.Shown()[0].filter, open.Filter);
    EXPECT_EQ(script.Shown()[0].fileName, "C:\\old.csv");
    EXPECT_TRUE(script.Shown()[1].save);
    EXPECT_THROW(FileDialogScript(), std::logic_error);
}

TEST_F(FileDialogsTest, WithoutScriptOrWindowADialogIsCancelled) {
    TOpenDialog dialog;
    EXPECT_FALSE(dialog.Execute());
    EXPECT_TRUE(dialog.FileName.empty());
}

}  // namespace
