// The settings program's start-up: the administrator test over the token's groups, the help
// file's choice, the splash window and its timer, and the program itself refusing a user who
// is no administrator, or a machine without a display.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/settings_key.h"
#include "mail_account.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/paths.h"
#include "platform/qt_gui.h"
#include "platform/registry.h"
#include "settings/splash_unit.h"
#include "settings/start_up.h"
#include "settings_fixture.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::SaveScreenshot;

// Sets an environment variable for one scope, and puts back what was there.
class Variable {
  public:
    Variable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Variable() { old_.empty() ? ::unsetenv(name_) : ::setenv(name_, old_.c_str(), 1); }

  private:
    const char* name_;
    std::string old_;
};

void StoreMachineToken(const char* value, const char* groups) {
    win::TRegistry registry;
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Token", true);
    registry.WriteString(value, groups);
}

class StartUpTest : public vrel::test::MachineTest {
  protected:
    void SetUp() override { vrel::test::Application(); }
};

// Membership counts whatever the group's attributes; a user outside the group is refused.
TEST_F(StartUpTest, AdministratorsCountAlsoForDenyOnlyOrDisabled) {
    EXPECT_TRUE(vrel::IsAdministrator()) << "the machine's Administrator";
    StoreMachineToken("DenyOnlyGroups", "Administrators");
    EXPECT_TRUE(vrel::IsAdministrator()) << "deny-only";
    StoreMachineToken("DenyOnlyGroups", "");
    StoreMachineToken("DisabledGroups", "Administrators");
    EXPECT_TRUE(vrel::IsAdministrator()) << "disabled";
    vrel::test::AddComputerUser("ann", "Secret1", true);
    const Variable user("VREL_LOGON_USER", "ann");
    EXPECT_FALSE(vrel::IsAdministrator());
}

// The Windows help folder's copy wins; the program's own is next; with neither a warning.
TEST_F(StartUpTest, HelpFileIsLookedForInTheWindowsHelpFolderFirst) {
    const std::string beside = vrel::test::ProgramModulePath("popsetup");
    const std::string besideHelp = beside.substr(0, beside.rfind('\\') + 1) + "DUDARAV3.AVE";
    {
        const win::ModuleFileNameOverride program(beside);
        const win::MessageBoxScript boxes;
        EXPECT_EQ(vrel::ChooseHelpFile(), besideHelp);
        const fs::path windowsHelp = win::ToHostPath("C:\\WINDOWS\\Help\\DUDARAV3.AVE");
        fs::create_directories(windowsHelp.parent_path());
        std::ofstream(windowsHelp) << "topics\n";
        EXPECT_EQ(vrel::ChooseHelpFile(), "C:\\WINDOWS\\Help\\DUDARAV3.AVE");
        EXPECT_TRUE(boxes.Shown().empty());
        fs::remove(windowsHelp);
    }
    const win::ModuleFileNameOverride program("C:\\Tools\\popsetup.exe");
    const win::MessageBoxScript boxes;
    EXPECT_EQ(vrel::ChooseHelpFile(), "C:\\Tools\\DUDARAV3.AVE");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text,
              "Can't find the help file. If this message persists, use Add/Remove Programs from "
              "the Control Panel to repair the software.");
    EXPECT_EQ(boxes.Shown()[0].caption, "Warning");
    EXPECT_EQ(boxes.Shown()[0].buttons, std::vector<int>{win::IDOK});
}

// The splash window shows unless switched off, closes itself on its timer (the machine's
// clock) and then shows the main window when it exists.
TEST_F(StartUpTest, SplashShowsUnlessSwitchedOffAndClosesOnItsTimer) {
    const win::ModuleFileNameOverride program(vrel::test::ProgramModulePath("popsetup"));
    {
        win::TRegistry registry;
        registry.OpenKey(vrel::kSettingsKey, true);
        registry.WriteBool("ShowSplashScreen", false);
    }
    ASSERT_TRUE(vrel::PrepareStart());
    EXPECT_EQ(vrel::SplashScnForm, nullptr) << "switched off";
    {
        win::TRegistry registry;
        registry.OpenKey(vrel::kSettingsKey, true);
        registry.WriteBool("ShowSplashScreen", true);
    }
    ASSERT_TRUE(vrel::PrepareStart());
    ASSERT_NE(vrel::SplashScnForm, nullptr);
    vrel::TSplashScnForm& splash = *vrel::SplashScnForm;
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.size(), QSize(320, 260));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(splash.Image1->geometry(), QRect(2, 2, 316, 256));
    EXPECT_TRUE(splash.SplashTimer->isActive());
    EXPECT_EQ(splash.SplashTimer->interval(), win::ScaledWait(5000).count());
    EXPECT_EQ(win::HelpFile(),
              vrel::test::ProgramModulePath("popsetup")
                      .substr(0, vrel::test::ProgramModulePath("popsetup").rfind('\\') + 1) +
                  "DUDARAV3.AVE");
    const QImage image = SaveScreenshot(splash, "popsetup_SplashScnForm");
    EXPECT_EQ(image.size(), QSize(320, 260));

    vrel::TPopDlg popDlg;
    vrel::PopDlg = &popDlg;
    EXPECT_TRUE(QTest::qWaitFor([] { return vrel::SplashScnForm == nullptr; },
                                static_cast<int>(win::ScaledWait(5000).count()) + 5000))
        << "closed and freed by its timer";
    EXPECT_TRUE(popDlg.isVisible());
    vrel::PopDlg = nullptr;

    // A click on the logo before the main window exists closes only the splash.
    ASSERT_TRUE(vrel::PrepareStart());
    QTest::mouseClick(vrel::SplashScnForm->Image1, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([] { return vrel::SplashScnForm == nullptr; }, 2000));
}

// The program run as a user who is no administrator shows the refusal alone and ends with
// exit code 0, writing nothing.
TEST_F(StartUpTest, ANonAdministratorSeesOnlyTheRefusal) {
    vrel::test::AddComputerUser("ann", "Secret1", true);
    const fs::path script = machine_.Folder() / "boxes.txt";
    std::ofstream(script).close();
    vrel::test::RunResult run{};
    {
        const Variable user("VREL_LOGON_USER", "ann");
        const Variable boxes("VREL_MESSAGEBOX_SCRIPT", script.c_str());
        run = vrel::test::RunProgram("popsetup", "");
    }
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::ifstream in(script);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "box\tVrel POP3 Server\tThis program requires Administrator privileges, exiting "
              "...\t0\tIDOK\tIDOK");
    win::TRegistry registry;
    EXPECT_FALSE(registry.OpenKeyReadOnly(vrel::kSettingsKey)) << "nothing written";

    const auto box =
        win::MakeMessageBox({"This program requires Administrator privileges, exiting ...",
                             "Vrel POP3 Server",
                             0,
                             {win::IDOK},
                             win::IDOK});
    const QImage image = SaveScreenshot(*box, "popsetup_Refusal");
    EXPECT_EQ(box->windowTitle(), "Vrel POP3 Server");
    EXPECT_EQ(box->text(), "This program requires Administrator privileges, exiting ...");
    EXPECT_GT(image.width(), 300);
}

TEST_F(StartUpTest, WithoutADisplayTheProgramSaysSoAndFails) {
    const Variable platform("QT_QPA_PLATFORM", nullptr);
    const Variable display("DISPLAY", nullptr);
    const Variable wayland("WAYLAND_DISPLAY", nullptr);
    const vrel::test::RunResult run = vrel::test::RunProgram("popsetup", "");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("no display"), std::string::npos) << run.output;
}

}  // namespace
