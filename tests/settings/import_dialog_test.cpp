// The Import dialog drawn by Qt, off-screen, in the machine's own folder beside the store's
// files. Looking there must not cost the window its hold on the store: after other programs
// have written to the store and closed it, an alias added in the window is in the store for
// every program, and still there once the window's own connections have closed, as after a
// restart.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "alias_fixture.h"
#include "platform/dialogs.h"
#include "platform/file_dialogs.h"
#include "platform/qt_gui.h"
#include "store/db.h"
#include "store/machine.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::AliasPairs;
using vrel::test::RunProgram;
using vrel::test::StoreDescriptors;

QFileDialog* ShownFileDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

// The names the dialog's view shows in the folder it is in.
std::vector<std::string> Listed(const QFileDialog& dialog) {
    std::vector<std::string> names;
    const auto* view = dialog.findChild<QAbstractItemView*>("listView");
    if (!view) return names;
    const QAbstractItemModel& model = *view->model();
    for (int row = 0; row < model.rowCount(view->rootIndex()); ++row) {
        names.push_back(model.index(row, 0, view->rootIndex()).data().toString().toStdString());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The machine folder's entries a user sees: all but the hidden ones.
std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with('.')) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsStoreFileName(const std::string& name) {
    return name.starts_with(win::MachineDbPath().filename().string());
}

class ImportDialogTest : public vrel::test::AliasTabTest {
  protected:
    void SetUp() override {
        AliasTabTest::SetUp();
        // The real dialog, not the tests' script; a message box would be a fault here.
        win::InstallQtDialogs();
        boxes_.emplace();
    }

    void TearDown() override {
        EXPECT_EQ(vrel::test::Texts(*boxes_), std::vector<std::string>{});
        boxes_.reset();
        win::SetFileDialogPresenter(nullptr);
        win::SetMessageBoxPresenter(nullptr);
        AliasTabTest::TearDown();
    }

    // Presses Import, takes the dialog into the folder as a user would, waits until the
    // folder is loaded (every entry's icon and type are worked out as it loads) and presses
    // Esc. Returns what the dialog listed there; with allFiles under its last filter, All
    // Files.
    std::vector<std::string> ListInImport(const fs::path& folder, bool allFiles = false) {
        const QString path = QString::fromStdString(folder.string());
        QPointer<QFileDialog> dialog;
        bool shown = false;
        bool loaded = false;
        std::vector<std::string> listed;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        // Runs inside the dialog's own loop, a step at a time, so it never waits in there.
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (!dialog) {
                dialog = ShownFileDialog();
                if (!dialog) return;
                shown = true;
                auto* model = dialog->findChild<QFileSystemModel*>();
                if (!model) {
                    ADD_FAILURE() << "the dialog has no file system model";
                    return dialog->reject();
                }
                QObject::connect(model, &QFileSystemModel::directoryLoaded, dialog,
                                 [&loaded, path](const QString& done) {
                                     if (done == path) loaded = true;
                                 });
                if (allFiles) dialog->selectNameFilter(dialog->nameFilters().last());
                dialog->setDirectory(path);
                return;
            }
            if (!loaded && std::chrono::steady_clock::now() < deadline) return;
            driver.stop();
            listed = Listed(*dialog);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        driver.start();
        QTest::mouseClick(Form().AliasImportButton, Qt::LeftButton);
        driver.stop();
        EXPECT_TRUE(shown) << "no file dialog was shown";
        EXPECT_TRUE(loaded) << "the dialog did not load " << folder;
        EXPECT_EQ(ShownFileDialog(), nullptr);
        return listed;
    }

    // Other programs on the store: winhost writes a value and ends; then winhost init opens
    // the store and closes its connection again, the program's last one (a program's pooled
    // connections are only let go when it exits, but init's own is closed at once), which
    // checkpoints the log when no other program holds the store.
    static void WriteFromOtherPrograms(const std::string& value) {
        const vrel::test::RunResult written = RunProgram(
            "winhost", "reg add 'HKLM\\SOFTWARE\\Store Test' /v Written /d " + value + " /f");
        ASSERT_EQ(written.exitCode, 0) << written.output;
        const vrel::test::RunResult closed = RunProgram("winhost", "init");
        ASSERT_EQ(closed.exitCode, 0) << closed.output;
    }

    // The alias's target as a fresh process reads it from the metabase.
    static std::string TargetInTheMetabase(const std::string& alias) {
        const vrel::test::RunResult read =
            RunProgram("winhost", "mb get Pop3Svc/1/Alias/" + alias + " Path");
        return read.exitCode == 0 ? read.output : "(not found: " + read.output + ")";
    }

    // As the program's end would: every connection of this process to the store closes (the
    // pool lets all of them go once it is handed back more than it keeps).
    static void LetGoOfTheStore() {
        std::vector<win::Db> held;
        held.reserve(16);
        for (int i = 0; i < 16; ++i) held.push_back(win::Db::Pooled(win::MachineDbPath()));
    }

    std::optional<win::MessageBoxScript> boxes_;
};

TEST_F(ImportDialogTest, TheStoreFolderSeenInTheDialogLosesNoWriteOfTheWindow) {
    Seed({{"team", "carol"}});
    ASSERT_GT(StoreDescriptors(), 0) << "the window holds the store while the dialog looks";
    ListInImport(machine_.Folder());
    WriteFromOtherPrograms("once");

    Add("sales", "bob");
    EXPECT_EQ(GridRows(), (AliasPairs{{"team", "carol"}, {"sales", "bob"}}));
    EXPECT_EQ(TargetInTheMetabase("sales"), "bob\n");

    // Another writer ends again, then the window's connections close as at a restart.
    WriteFromOtherPrograms("twice");
    LetGoOfTheStore();
    ASSERT_EQ(StoreDescriptors(), 0) << "the window still holds the store";
    EXPECT_EQ(TargetInTheMetabase("sales"), "bob\n");
    EXPECT_EQ(TargetInTheMetabase("team"), "carol\n");
    Form().LoadAliasGrid();
    EXPECT_EQ(GridRows(), (AliasPairs{{"team", "carol"}, {"sales", "bob"}}));
}

TEST_F(ImportDialogTest, TheDialogNeverListsTheStoresFiles) {
    Seed({});
    const std::vector<std::string> entries = Entries(machine_.Folder());
    ASSERT_EQ(std::count_if(entries.begin(), entries.end(), IsStoreFileName), 3)
        << "the store, its log and its shared memory";
    std::vector<std::string> others;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(others),
                 [](const std::string& name) { return !IsStoreFileName(name); });
    EXPECT_EQ(ListInImport(machine_.Folder(), true), others);
}

}  // namespace
