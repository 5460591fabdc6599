// Message boxes without a window: what a box is asked to show, how a script answers it, and
// the default button when nobody can.
#include "platform/dialogs.h"
#include "platform/folder_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace win;

TEST(DialogsTest, MessageBoxTypeGivesButtonsIconAndDefault) {
    const struct {
        UINT type;
        std::vector<int> buttons;
        int defaultButton;
        UINT icon;
    } cases[] = {
        {MB_OK, {IDOK}, IDOK, 0},
        {MB_OKCANCEL | MB_ICONERROR, {IDOK, IDCANCEL}, IDOK, MB_ICONERROR},
        {MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, {IDYES, IDNO}, IDNO, MB_ICONWARNING},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, {IDYES, IDNO, IDCANCEL}, IDCANCEL, 0},
        {MB_YESNO | MB_DEFBUTTON3, {IDYES, IDNO}, IDYES, 0},  // no third button: the first
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, IDABORT, 0},
    };
    for (const auto& c : cases) {
        MessageBoxScript script;
        EXPECT_EQ(MessageBox("text", "caption", c.type), c.defaultButton) << c.type;
        ASSERT_EQ(script.Shown().size(), 1u);
        const MessageBoxRecord& box = script.Shown().front();
        EXPECT_EQ(box.buttons, c.buttons) << c.type;
        EXPECT_EQ(box.defaultButton, c.defaultButton) << c.type;
        EXPECT_EQ(box.icon, c.icon) << c.type;
        EXPECT_EQ(box.caption, "caption");
    }
}

TEST(DialogsTest, ScriptAnswersInOrderThenTheDefault) {
    MessageBoxScript script({IDNO, IDCANCEL});
    EXPECT_EQ(MessageBox("one", "c", MB_YESNO), IDNO);
    script.Answer(IDYES);
    EXPECT_EQ(MessageBox("two", "c", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBox("three", "c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBox("four", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    ASSERT_EQ(script.Shown().size(), 4u);
    EXPECT_EQ(script.Shown()[1].text, "two");
    EXPECT_THROW(MessageBoxScript second, std::logic_error);
}

TEST(DialogsTest, MessageDlgCaptionsButtonsAndDefault) {
    SetApplicationTitle("popsetup");
    MessageBoxScript script;
    MessageDlg("a", mtConfirmation, mbCancel | mbYes, 0);
    MessageDlg("b", mtWarning, mbNo | mbYes, 0);
    MessageDlg("c", mtError, mbOK, 0);
    MessageDlg("d", mtCustom, mbCancel | mbOK, 0);
    const auto& shown = script.Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].caption, "Confirm");
    EXPECT_EQ(shown[0].icon, MB_ICONQUESTION);
    EXPECT_EQ(shown[0].buttons, (std::vector<int>{IDYES, IDCANCEL}));
    EXPECT_EQ(shown[0].defaultButton, IDYES);
    EXPECT_EQ(shown[1].caption, "Warning");
    EXPECT_EQ(shown[1].buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(shown[2].caption, "Error");
    EXPECT_EQ(shown[3].caption, "popsetup");
    EXPECT_EQ(shown[3].defaultButton, IDOK);
}

TEST(DialogsTest, PresenterShowsUnscriptedBoxesElseTheDefaultAnswers) {
    EXPECT_EQ(MessageBox("nobody", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    std::string seen;
    SetMessageBoxPresenter([&seen](const MessageBoxRecord& box) {
        seen = box.text;
        return IDYES;
    });
    EXPECT_EQ(MessageBox("shown", "c", MB_YESNO | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(seen, "shown");
    {
        MessageBoxScript script;
        EXPECT_EQ(MessageBox("scripted", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    }
    EXPECT_EQ(seen, "shown");
    SetMessageBoxPresenter(nullptr);
}

}  // namespace

namespace {

TEST(FolderDialogTest, ScriptRecordsCaptionsAndAnswersInOrderThenCancel) {
    win::FolderDialogScript script({"C:\\Mail", std::nullopt});
    EXPECT_EQ(win::BrowseForFolder("Pick one:"), std::optional<std::string>("C:\\Mail"));
    EXPECT_EQ(win::BrowseForFolder("Again:"), std::nullopt);
    script.Answer("D:\\Logs");
    EXPECT_EQ(win::BrowseForFolder("Third:"), std::optional<std::string>("D:\\Logs"));
    EXPECT_EQ(win::BrowseForFolder("Empty queue:"), std::nullopt);
    EXPECT_EQ(script.Shown(),
              (std::vector<std::string>{"Pick one:", "Again:", "Third:", "Empty queue:"}));
}

TEST(FolderDialogTest, PresenterAnswersWithoutAScriptAndNothingWithoutEither) {
    EXPECT_EQ(win::BrowseForFolder("None installed:"), std::nullopt);
    std::string asked;
    win::SetFolderDialogPresenter([&asked](std::string_view caption) {
        asked = caption;
        return std::optional<std::string>("E:\\Chosen");
    });
    EXPECT_EQ(win::BrowseForFolder("Shown:"), std::optional<std::string>("E:\\Chosen"));
    EXPECT_EQ(asked, "Shown:");
    win::SetFolderDialogPresenter({});
}

}  // namespace

namespace {

// A program run by a test answers its boxes from the script file, in order and then with the
// default button, and appends one line per box.
TEST(DialogsTest, ScriptFileAnswersAndRecordsEveryBox) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("boxes-" + std::to_string(::getpid()));
    std::ofstream(file) << "answer IDNO\nanswer IDCANCEL\n";
    ::setenv("VREL_MESSAGEBOX_SCRIPT", file.c_str(), 1);
    EXPECT_EQ(win::MessageBox("Apply?\nNow", "Confirm", win::MB_YESNO | win::MB_ICONQUESTION),
              win::IDNO);
    EXPECT_EQ(win::MessageBox("Sure?", "Q", win::MB_OKCANCEL), win::IDCANCEL);
    EXPECT_EQ(win::MessageBox("Tab\there", "Q", win::MB_YESNO | win::MB_DEFBUTTON2), win::IDNO)
        << "no answers left: the default button";
    ::unsetenv("VREL_MESSAGEBOX_SCRIPT");
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::filesystem::remove(file);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "answer IDNO",
                         "answer IDCANCEL",
                         "box\tConfirm\tApply?\\nNow\t32\tIDYES,IDNO\tIDNO",
                         "box\tQ\tSure?\t0\tIDOK,IDCANCEL\tIDCANCEL",
                         "box\tQ\tTab\\there\t0\tIDYES,IDNO\tIDNO",
                     }));
}

}  // namespace
