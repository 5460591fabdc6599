// CreateProcess: where a command line's program is found, its arguments, its working folder,
// and waiting for it; the module file name a test can redirect.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/paths.h"
#include "platform/process.h"
#include "test_machine.h"

namespace {

using namespace win;
namespace fs = std::filesystem;

class ProcessTest : public vrel::test::MachineTest {
  protected:
    void SetUp() override {
        log_ = machine_.Folder() / "probe.log";
        pathFolder_ = machine_.Folder() / "on-path";
        savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (pathFolder_.string() + ":" + savedPath_).c_str(), 1);
        savedFolder_ = GetCurrentDirectory();
    }
    void TearDown() override {
        ::setenv("PATH", savedPath_.c_str(), 1);
        SetCurrentDirectory(savedFolder_);
    }

    // A program that logs its tag, its arguments and its working folder, then exits with
    // the given code.
    void PlaceProbe(const fs::path& folder, const std::string& tag, int exitCode = 0) {
        fs::create_directories(folder);
        std::ofstream(folder / "probe")
            << "#!/bin/sh\n{ echo " << tag << "; printf '[%s]' \"$@\"; echo; pwd; } > '"
            << log_.string() << "'\nexit " << exitCode << "\n";
        fs::permissions(folder / "probe", fs::perms::owner_all);
    }

    // Runs the command line to its end; the probe's log, or "not started".
    std::string Run(const std::string& commandLine, const char* folder = nullptr) {
        fs::remove(log_);
        PROCESS_INFORMATION process;
        if (!CreateProcess(nullptr, commandLine, false, 0, folder, STARTUPINFO{}, process)) {
            return "not started " + std::to_string(GetLastError());
        }
        EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
        std::ifstream in(log_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path Drive(const std::string& relative) const { return machine_.DriveC() / relative; }

    fs::path log_;
    fs::path pathFolder_;
    std::string savedPath_;
    std::string savedFolder_;
};

TEST_F(ProcessTest, TheProgramIsSearchedInTheProgramsFolderCurrentFolderSystemWindowsAndPath) {
    const ModuleFileNameOverride program("C:\\Program Folder\\popsetup.exe");
    ASSERT_TRUE(fs::create_directories(Drive("Current")));
    ASSERT_TRUE(SetCurrentDirectory("C:\\Current"));
    const std::pair<fs::path, std::string> places[] = {{Drive("Program Folder"), "program"},
                                                       {Drive("Current"), "current"},
                                                       {Drive("WINDOWS/system32"), "system"},
                                                       {Drive("WINDOWS"), "windows"},
                                                       {pathFolder_, "path"}};
    for (const auto& [folder, tag] : places) PlaceProbe(folder, tag);
    for (const auto& [folder, tag] : places) {
        EXPECT_EQ(Run("probe.exe").substr(0, tag.size() + 1), tag + "\n");
        fs::remove(folder / "probe");
    }
    EXPECT_EQ(Run("probe.exe"), "not started 2");
}

TEST_F(ProcessTest, ArgumentsAndBlanksFollowTheWindowsRules) {
    PlaceProbe(Drive("Program Files/Vrel Tools"), "spaced");
    EXPECT_EQ(Run("C:\\Program Files\\Vrel Tools\\probe.exe /u:C:\\a b"),
              "spaced\n[/u:C:\\a][b]\n" + fs::current_path().string() + "\n");
    EXPECT_EQ(Run("\"C:\\Program Files\\Vrel Tools\\probe.exe\" \"x y\" z").substr(0, 16),
              "spaced\n[x y][z]\n");
    PlaceProbe(Drive("."), "shorter");
    fs::rename(Drive("probe"), Drive("Program"));
    EXPECT_EQ(Run("C:\\Program Files\\Vrel Tools\\probe.exe x").substr(0, 41),
              "shorter\n[Files\\Vrel][Tools\\probe.exe][x]\n")
        << "the shortest prefix that names a file is the program";
}

TEST_F(ProcessTest, TheChildStartsInTheGivenFolder) {
    PlaceProbe(Drive("Tools"), "tool");
    ASSERT_TRUE(fs::create_directories(Drive("Work Folder")));
    const std::string log = Run("C:\\Tools\\probe.exe", "C:\\Work Folder");
    EXPECT_EQ(log, "tool\n[]\n" + Drive("Work Folder").string() + "\n");
    EXPECT_EQ(Run("C:\\Tools\\probe.exe", "C:\\Nowhere"), "not started 267");
}

TEST_F(ProcessTest, WaitsGiveTheExitCodeOrTimeOut) {
    PlaceProbe(Drive("Tools"), "tool", 3);
    PROCESS_INFORMATION process;
    ASSERT_TRUE(
        CreateProcess(nullptr, "C:\\Tools\\probe.exe", false, 0, nullptr, STARTUPINFO{}, process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeProcess(process.hProcess, exitCode));
    EXPECT_EQ(exitCode, 3u);
    EXPECT_EQ(WaitForSingleObject(process.hThread, INFINITE), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(process.hProcess));
    EXPECT_FALSE(CloseHandle(process.hProcess));

    std::ofstream(Drive("Tools/sleeper")) << "#!/bin/sh\nexec sleep 5\n";
    fs::permissions(Drive("Tools/sleeper"), fs::perms::owner_all);
    PROCESS_INFORMATION sleeper;
    ASSERT_TRUE(CreateProcess(nullptr, "C:\\Tools\\sleeper.exe", false, 0, nullptr, STARTUPINFO{},
                              sleeper));
    EXPECT_EQ(WaitForSingleObject(sleeper.hProcess, 50), WAIT_TIMEOUT);
    ASSERT_TRUE(GetExitCodeProcess(sleeper.hProcess, exitCode));
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    ::kill(static_cast<pid_t>(sleeper.dwProcessId), SIGKILL);
    EXPECT_EQ(WaitForSingleObject(sleeper.hProcess, INFINITE), WAIT_OBJECT_0);
}

TEST_F(ProcessTest, AnApplicationNameIsRefused) {
    PROCESS_INFORMATION process;
    EXPECT_FALSE(
        CreateProcess("C:\\Tools\\probe.exe", "probe", false, 0, nullptr, STARTUPINFO{}, process));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(ModuleFileNameOverrideTest, TheInnermostOverrideHoldsUntilItEnds) {
    const std::string own = GetModuleFileName();
    EXPECT_TRUE(own.ends_with("\\platform_tests.exe")) << own;
    {
        const ModuleFileNameOverride outer("C:\\A\\popsetup.exe");
        {
            const ModuleFileNameOverride inner("C:\\B\\popsetup.exe");
            EXPECT_EQ(GetModuleFileName(), "C:\\B\\popsetup.exe");
        }
        EXPECT_EQ(GetModuleFileName(), "C:\\A\\popsetup.exe");
    }
    EXPECT_EQ(GetModuleFileName(), own);
}

}  // namespace
