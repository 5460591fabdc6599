// The SMTP component through the optional-components installer: the answer file and command
// line (seen by a stand-in installer placed beside "the program"), the working folder, the
// failures, and the real installer with the real SMTP service.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "loopback.h"
#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "settings/service_control.h"
#include "settings/smtp_component.h"
#include "test_services.h"

namespace vrel {
namespace {
namespace fs = std::filesystem;

constexpr const char* kProgram = "C:\\Programs\\popsetup.exe";

// Writes what it was given (its arguments, its working folder, then the answer file by its
// name in that folder) to $SYSOCMGR_LOG.
constexpr const char* kRecordingInstaller =
    "#!/bin/sh\n"
    "{ printf '%s\\n' \"$@\"; pwd; } > \"$SYSOCMGR_LOG\"\n"
    "answers=${2#/u:}\n"
    "cat -- \"${answers##*\\\\}\" >> \"$SYSOCMGR_LOG\"\n";

std::string ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SmtpComponentTest : public test::ServiceTest {
  protected:
    void SetUp() override {
        fs::create_directories(ProgramFolder());
        log_ = machine_.Folder() / "sysocmgr.log";
        ::setenv("SYSOCMGR_LOG", log_.c_str(), 1);
        workingFolder_ = win::GetCurrentDirectory();
    }
    void TearDown() override {
        win::SetCurrentDirectory(workingFolder_);
        ::unsetenv("SYSOCMGR_LOG");
        test::ServiceTest::TearDown();
    }

    fs::path ProgramFolder() const { return machine_.DriveC() / "Programs"; }
    fs::path TempFolder() const { return machine_.DriveC() / "WINDOWS" / "temp"; }

    void PlaceRecordingInstaller() {
        const fs::path script = ProgramFolder() / "sysocmgr";
        std::ofstream(script) << kRecordingInstaller;
        fs::permissions(script, fs::perms::owner_all);
    }

    void RemoveSystemInstaller() { fs::remove(machine_.DriveC() / "WINDOWS/system32/sysocmgr"); }

    std::vector<std::string> TempNames() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(TempFolder())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs SetSmtpComponent from another working folder and checks it comes back there.
    void Run(bool install) {
        ASSERT_TRUE(win::SetCurrentDirectory("C:\\"));
        SetSmtpComponent(install);
        EXPECT_EQ(win::GetCurrentDirectory(), "C:\\");
    }

    win::ModuleFileNameOverride program_{kProgram};
    fs::path log_;
    std::string workingFolder_;
};

TEST_F(SmtpComponentTest, TheInstallerGetsTheAnswerFileWhichIsGoneAfterwards) {
    PlaceRecordingInstaller();
    for (const bool install : {true, false}) {
        win::MessageBoxScript boxes;
        Run(install);
        const std::string log = ReadHostFile(log_);
        const std::string prefix = "/i:C:\\WINDOWS\\inf\\sysoc.inf\n/u:C:\\WINDOWS\\temp\\TMP";
        const std::string suffix = ".$$$\n" + TempFolder().string() +
                                   "\n[Components]\r\n\r\niis_smtp = " + (install ? "on" : "off") +
                                   "\r\n";
        ASSERT_TRUE(log.starts_with(prefix) && log.ends_with(suffix)) << log;
        const std::string counter =
            log.substr(prefix.size(), log.size() - prefix.size() - suffix.size());
        EXPECT_TRUE(!counter.empty() &&
                    counter.find_first_not_of("0123456789") == std::string::npos)
            << log;
        EXPECT_TRUE(TempNames().empty()) << "the answer file is deleted";
        EXPECT_TRUE(boxes.Shown().empty());
    }
}

TEST_F(SmtpComponentTest, TakenTemporaryNamesAreSkippedAndKept) {
    PlaceRecordingInstaller();
    for (const char* name : {"TMP1.$$$", "TMP2.$$$", "TMP3.$$$"}) {
        std::ofstream(TempFolder() / name) << "taken";
    }
    Run(true);
    EXPECT_NE(ReadHostFile(log_).find("/u:C:\\WINDOWS\\temp\\TMP4.$$$\n"), std::string::npos)
        << ReadHostFile(log_);
    EXPECT_EQ(TempNames(), (std::vector<std::string>{"TMP1.$$$", "TMP2.$$$", "TMP3.$$$"}));
}

TEST_F(SmtpComponentTest, AMissingTemporaryFolderIsCreated) {
    PlaceRecordingInstaller();
    fs::remove_all(TempFolder());
    Run(true);
    EXPECT_TRUE(fs::is_directory(TempFolder()));
    EXPECT_NE(ReadHostFile(log_).find("iis_smtp = on"), std::string::npos);
    EXPECT_TRUE(TempNames().empty());
}

TEST_F(SmtpComponentTest, ATemporaryFolderBlockedByAFileStopsSilently) {
    PlaceRecordingInstaller();
    fs::remove_all(TempFolder());
    std::ofstream(TempFolder()) << "in the way";
    win::MessageBoxScript boxes;
    Run(true);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_FALSE(fs::exists(log_)) << "the installer was not started";
    EXPECT_EQ(ReadHostFile(TempFolder()), "in the way");
}

TEST_F(SmtpComponentTest, AnInstallerThatCannotBeFoundIsReportedForInstallAndRemoval) {
    RemoveSystemInstaller();
    for (const bool install : {true, false}) {
        win::MessageBoxScript boxes;
        Run(install);
        ASSERT_EQ(boxes.Shown().size(), 1u) << install;
        EXPECT_EQ(boxes.Shown()[0].text, "Failed to install SMTP service.");
        EXPECT_EQ(boxes.Shown()[0].buttons, std::vector<int>{win::IDOK});
        EXPECT_TRUE(TempNames().empty()) << "the answer file is deleted";
    }
}

TEST_F(SmtpComponentTest, TheRealInstallerLeavesTheServiceRunningWhenItReturns) {
    std::ofstream(win::ToHostPath(win::GetSystemDirectory() + "\\drivers\\etc\\services"))
        << "smtp " << test::FreePort() << "/tcp mail\n";
    Run(true);
    EXPECT_TRUE(IsServiceRunning(kSmtpServiceName)) << "read right after the installer ended";
    Run(false);
    EXPECT_FALSE(IsServiceInstalled(kSmtpServiceName));
    EXPECT_TRUE(TempNames().empty());
}

}  // namespace
}  // namespace vrel
