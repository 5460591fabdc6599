// Paths resolved before, after their folders change behind the process's back: every lookup
// answers as a fresh one would, yet a path whose folders did not change reads no folder. Each
// path misses its exact name somewhere, as only such a path is answered from what is known.
#include <gtest/gtest.h>

#include <fstream>

#include "folder_reads.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "stat_watch.h"
#include "test_machine.h"

namespace {

using vrel::test::FolderReads;
using vrel::test::MachineTest;
using vrel::test::Shell;
using vrel::test::StatWatch;
namespace fs = std::filesystem;

struct ChangeCase {
    const char* name;
    std::vector<const char*> files;  // under drive C:, with their folders
    const char* path;                // resolved before and after the change
    const char* before;              // its host path below drive C:
    const char* change;              // a shell command in drive C:'s folder
    const char* after;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

class ResolutionCacheTest : public MachineTest, public testing::WithParamInterface<ChangeCase> {
  protected:
    std::string HostBelowDriveC(const char* path) {
        return win::ToHostPath(path).lexically_relative(machine_.DriveC()).string();
    }
};

TEST_P(ResolutionCacheTest, AChangeByAnotherProcessIsSeenAtTheNextLookup) {
    const ChangeCase& c = GetParam();
    for (const char* file : c.files) machine_.Touch(file);
    ASSERT_EQ(HostBelowDriveC(c.path), c.before);
    ASSERT_EQ(HostBelowDriveC(c.path), c.before);  // now from what is known
    Shell(machine_.DriveC(), c.change);
    EXPECT_EQ(HostBelowDriveC(c.path), c.after);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Changes, ResolutionCacheTest, testing::Values(
    ChangeCase{"FolderRenamedAwayAndAnotherIn", {"Inetpub/mailroot/m.eml", "Spare/MAILROOT/m.eml"},
               "C:\\InetPub\\MailRoot\\m.eml", "Inetpub/mailroot/m.eml",
               "mv Inetpub Gone && mv Spare INETPUB", "INETPUB/MAILROOT/m.eml"},
    ChangeCase{"FolderReplacedUnderItsName", {"Inetpub/mailroot/m.eml"},
               "C:\\InetPub\\MailRoot\\m.eml", "Inetpub/mailroot/m.eml",
               "mkdir -p New/MailRoot && touch New/MailRoot/m.eml && rm -r Inetpub && mv New Inetpub",
               "Inetpub/MailRoot/m.eml"},
    ChangeCase{"ExactNameCreatedBesideACaseMatch", {"Inetpub/mailroot/m.eml"},
               "C:\\INETPUB\\MAILROOT\\m.eml", "Inetpub/mailroot/m.eml",
               "mkdir Inetpub/MAILROOT && touch Inetpub/MAILROOT/m.eml", "Inetpub/MAILROOT/m.eml"},
    ChangeCase{"MissingFolderCreatedInAnotherCase", {"Inetpub/m.eml"},
               "C:\\Inetpub\\new\\x.txt", "Inetpub/new/x.txt",
               "mkdir Inetpub/NEW && touch Inetpub/NEW/X.TXT", "Inetpub/NEW/X.TXT"},
    ChangeCase{"ExactMatchDeletedLeavesTheCaseMatch", {"Inetpub/mailroot/m.eml", "Inetpub/MAILROOT/m.eml"},
               "C:\\INETPUB\\mailroot\\m.eml", "Inetpub/mailroot/m.eml",
               "rm -r Inetpub/mailroot", "Inetpub/MAILROOT/m.eml"},
    ChangeCase{"ProgramNameTakenByAFileWithTheSuffix", {"bin/tool"},
               "C:\\bin\\tool.exe", "bin/tool", "touch bin/TOOL.EXE", "bin/TOOL.EXE"},
    ChangeCase{"AliasLostToACollidingName", {"Inetpub/mailrootfolder/m.eml"},
               "C:\\INETPUB\\MAILRO~1\\m.eml", "Inetpub/mailrootfolder/m.eml",
               "mkdir Inetpub/mailrockets", "Inetpub/MAILRO~1/m.eml"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ResolutionCacheTest, CreationInAnyCaseStaysOneNameAfterAnotherProcessMadeIt) {
    fs::create_directories(machine_.DriveC() / "Mail");
    ASSERT_FALSE(win::DirectoryExists("C:\\Mail\\bob"));
    Shell(machine_.DriveC(), "mkdir Mail/BOB");
    EXPECT_TRUE(win::ForceDirectories("C:\\Mail\\bob"));
    EXPECT_EQ(win::CreateNewFile("C:\\Mail\\bob\\n.txt").status, win::CreateStatus::Created);
    EXPECT_TRUE(fs::exists(machine_.DriveC() / "Mail" / "BOB" / "n.txt"));
    EXPECT_FALSE(fs::exists(machine_.DriveC() / "Mail" / "bob"));
}

// The mailbox root as written where the folders on disk have another case: every folder on
// the way misses its exact name.
TEST_F(ResolutionCacheTest, ASecondLookupReadsNoFolderUntilOneChanges) {
    machine_.Touch("Inetpub/mailroot/Users/bob/m.eml");
    const char* path = "C:\\InetPub\\MailRoot\\Users\\bob\\m.eml";
    FolderReads driveC(machine_.DriveC());
    FolderReads inetpub(machine_.DriveC() / "Inetpub");
    ASSERT_TRUE(win::FileExists(path));
    EXPECT_GE(driveC.Take() + inetpub.Take(), 1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(win::FileExists(path));
    EXPECT_EQ(driveC.Take(), 0);
    EXPECT_EQ(inetpub.Take(), 0);

    machine_.Touch("Inetpub/other.txt");
    ASSERT_TRUE(win::FileExists(path));
    EXPECT_EQ(driveC.Take(), 0);  // no change there
    EXPECT_GE(inetpub.Take(), 1);
}

// A message opened again and again, as the POP3 service opens one for each RETR, while the
// process holds the store (as a service does, whose store guard then looks at what it opens):
// a path in the disk's case is looked at once, a path in another case once more at the drive's
// folder, and no folder is read.
TEST_F(ResolutionCacheTest, AnOpenLooksAtTheDiskOnceBesidesTheDrivesFolder) {
    machine_.Touch("Inetpub/mailroot/Users/bob/m.eml");
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\SOFTWARE", true));
    const struct {
        const char* path;
        int looks;
    } cases[] = {
        {"C:\\Inetpub\\mailroot\\Users\\bob\\m.eml", 1},
        {"C:\\InetPub\\MailRoot\\Users\\bob\\m.eml", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(win::FileOpenRead(c.path).IsOpen());
        FolderReads inetpub(machine_.DriveC() / "Inetpub");
        StatWatch looks(machine_.Folder());
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(win::FileOpenRead(c.path).IsOpen());
        EXPECT_EQ(looks.Take(), 3 * c.looks);
        EXPECT_EQ(inetpub.Take(), 0);
    }
}

}  // namespace
