// Windows path rules of the machine: drives, case, aliases, ".exe", 8-bit names.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using namespace win;
namespace fs = std::filesystem;

class PathsTest : public MachineTest {
  protected:
    std::set<std::string> HostNames(const fs::path& relative) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(machine_.DriveC() / relative)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

TEST_F(PathsTest, DrivesMapBothWays) {
    const fs::path c = machine_.DriveC();
    const struct {
        const char* windows;
        fs::path host;
    } cases[] = {
        {"C:\\WINDOWS\\system32", c / "WINDOWS" / "system32"},
        {"c:/windows/SYSTEM32", c / "WINDOWS" / "system32"},
        {"C:\\", c},
        {"Z:\\usr\\bin", "/usr/bin"},
        {"C:\\..\\..\\WINDOWS", c / "WINDOWS"},
        {"C:\\WINDOWS\\.\\temp\\..\\Help", c / "WINDOWS" / "Help"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(ToHostPath(row.windows).lexically_normal(), row.host.lexically_normal())
            << row.windows;
    }
    EXPECT_EQ(ToWindowsPath(c / "WINDOWS" / "system32"), "C:\\WINDOWS\\system32");
    EXPECT_EQ(ToWindowsPath(c), "C:\\");
    EXPECT_EQ(ToWindowsPath("/usr/bin"), "Z:\\usr\\bin");
    EXPECT_TRUE(ToHostPath("D:\\data").empty());
    EXPECT_FALSE(DirectoryExists("D:\\"));
    EXPECT_TRUE(DirectoryExists("Z:\\"));
}

TEST_F(PathsTest, NamesIgnoreCaseAndKeepIt) {
    ASSERT_TRUE(ForceDirectories("C:\\Users\\bob"));
    ASSERT_TRUE(ForceDirectories("C:\\USERS\\Bob\\Mail"));
    EXPECT_TRUE(DirectoryExists("c:\\users\\BOB\\mail"));
    EXPECT_EQ(HostNames("Users"), std::set<std::string>{"bob"});
    EXPECT_EQ(HostNames("Users/bob"), std::set<std::string>{"Mail"});
    // Windows drops trailing dots and blanks of a name.
    EXPECT_EQ(ToHostPath("C:\\Users\\BOB. \\mail"), machine_.DriveC() / "Users" / "bob" / "Mail");
    // A missing component keeps the given name.
    EXPECT_EQ(ToHostPath("C:\\users\\Nobody\\X"), machine_.DriveC() / "Users" / "Nobody" / "X");
}

TEST_F(PathsTest, ConcurrentCreatorsOfOneNameInAnyCaseMakeOneFolder) {
    constexpr int kProcesses = 6;
    constexpr int kRounds = 40;
    const char* variants[kProcesses] = {"bob", "BOB", "Bob", "bOB", "boB", "BoB"};
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int round = 0; round < kRounds; ++round) {
                const std::string round_folder = "C:\\race\\" + std::to_string(round) + "\\";
                ok &= ForceDirectories(round_folder + variants[p]);
                ok &= CreateNewFile(round_folder + "LOCK" + variants[p]).status !=
                      CreateStatus::Failed;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int round = 0; round < kRounds; ++round) {
        EXPECT_EQ(HostNames("race/" + std::to_string(round)).size(), 2u) << round;
    }
}

// A folder of many entries is not read for every lookup, yet answers as a fresh listing
// would after each change: on the host behind the machine's back, by the machine's calls, by
// another process, and when the folder is replaced.
TEST_F(PathsTest, LargeFolderAnswersAsAFreshListingAfterEveryChange) {
    const fs::path big = machine_.DriveC() / "big";
    const auto fill = [&](const std::string& stem) {
        fs::create_directories(big);
        for (int i = 0; i < 1000; ++i)
            machine_.Touch(fs::path("big") / (stem + std::to_string(i) + ".eml"));
    };
    fill("m");
    ASSERT_TRUE(FileExists("C:\\big\\M7.EML"));
    EXPECT_FALSE(FileExists("C:\\big\\NEW.EML"));

    machine_.Touch("big/New.eml");
    EXPECT_TRUE(FileExists("C:\\big\\NEW.EML"));
    EXPECT_EQ(CreateNewFile("C:\\big\\new.EML").status, CreateStatus::Exists);
    fs::rename(big / "New.eml", big / "Renamed.eml");
    EXPECT_FALSE(FileExists("C:\\big\\NEW.EML"));
    EXPECT_TRUE(FileExists("C:\\big\\RENAMED.EML"));
    fs::remove(big / "m7.eml");
    EXPECT_FALSE(FileExists("C:\\big\\M7.EML"));
    ASSERT_TRUE(MoveFile("C:\\big\\M8.eml", "C:\\big\\Moved.eml"));
    EXPECT_FALSE(FileExists("C:\\big\\m8.EML"));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool moved = FileExists("C:\\big\\MOVED.EML") &&
                           MoveFile("C:\\big\\moved.eml", "C:\\big\\Child.eml");
        ::_exit(moved ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(FileExists("C:\\big\\MOVED.EML"));
    EXPECT_TRUE(FileExists("C:\\big\\CHILD.EML"));

    fs::rename(big, machine_.DriveC() / "old");
    fill("n");
    EXPECT_FALSE(FileExists("C:\\big\\RENAMED.EML"));
    EXPECT_TRUE(FileExists("C:\\big\\N5.EML"));
    EXPECT_TRUE(FileExists("C:\\OLD\\RENAMED.EML"));
}

TEST_F(PathsTest, ExeNameFindsProgramBuiltWithoutSuffix) {
    machine_.Touch("bin/popagent");
    fs::create_directories(machine_.DriveC() / "bin" / "folder");
    EXPECT_TRUE(FileExists("C:\\bin\\popagent.exe"));
    EXPECT_TRUE(FileExists("C:\\BIN\\PopAgent.EXE"));
    EXPECT_EQ(ToHostPath("C:\\bin\\popagent.exe"), machine_.DriveC() / "bin" / "popagent");
    EXPECT_FALSE(FileExists("C:\\bin\\popservice.exe"));
    EXPECT_FALSE(DirectoryExists("C:\\bin\\folder.exe"));
    EXPECT_TRUE(SameText(fs::path(GetModuleFileName()).extension().string(), ".exe"));
}

TEST_F(PathsTest, ShortNamesFollowTheAliasRule) {
    machine_.Touch("Program Files/Vrel POP3 Server/popagent");
    machine_.Touch("Program Files/Vrel POP3 Server/my long document.html");
    machine_.Touch("Program Files/Vrel POP3 Server/a+b;c.txt");
    machine_.Touch("Program Files/Vrel POP3 Server/readme.txt");
    machine_.Touch("Program Files/Vrel POP3 Server/pop agent");
    const struct {
        const char* longPath;
        const char* shortPath;
    } cases[] = {
        {"C:\\Program Files", "C:\\PROGRA~1"},
        {"C:\\program files\\Vrel POP3 Server\\", "C:\\PROGRA~1\\VRELPO~1\\"},
        {"C:\\Program Files\\Vrel POP3 Server\\popagent.exe",
         "C:\\PROGRA~1\\VRELPO~1\\popagent.exe"},
        {"C:\\Program Files\\Vrel POP3 Server\\my long document.html",
         "C:\\PROGRA~1\\VRELPO~1\\MYLONG~1.HTM"},
        {"C:\\Program Files\\Vrel POP3 Server\\a+b;c.txt", "C:\\PROGRA~1\\VRELPO~1\\ABC~1.TXT"},
        {"C:\\Program Files\\Vrel POP3 Server\\README.TXT", "C:\\PROGRA~1\\VRELPO~1\\readme.txt"},
        {"C:\\Program Files\\Vrel POP3 Server\\pop agent.exe",
         "C:\\PROGRA~1\\VRELPO~1\\POPAGE~1.exe"},
        {"C:\\Program Files\\missing.txt", ""},
    };
    for (const auto& row : cases) {
        const std::string shortPath = GetShortPathName(row.longPath);
        EXPECT_EQ(shortPath, row.shortPath) << row.longPath;
        if (!shortPath.empty()) {
            EXPECT_EQ(ToHostPath(shortPath), ToHostPath(row.longPath)) << shortPath;
        }
    }
    EXPECT_TRUE(FileExists("c:\\progra~1\\vrelpo~1\\mylong~1.htm"));
}

// "C:\<folder>\PR" + four hex digits + "~1".
bool IsHashAlias(const std::string& shortPath, const std::string& folder) {
    const std::string prefix = "C:\\" + folder + "\\PR";
    if (shortPath.size() != prefix.size() + 6 || shortPath.rfind(prefix, 0) != 0) return false;
    const std::string digits = shortPath.substr(prefix.size(), 4);
    return digits.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
           shortPath.substr(prefix.size() + 4) == "~1";
}

TEST_F(PathsTest, CollidingAliasesUseTheHashFormWhateverTheOrder) {
    // The same two names made in opposite orders in two folders.
    machine_.Touch("one/Program Files");
    machine_.Touch("one/Program Data");
    machine_.Touch("two/Program Data");
    machine_.Touch("two/Program Files");
    std::set<std::string> aliases;
    for (const char* folder : {"one", "two"}) {
        for (const char* name : {"Program Files", "Program Data"}) {
            const std::string longPath = std::string("C:\\") + folder + "\\" + name;
            const std::string shortPath = GetShortPathName(longPath);
            EXPECT_TRUE(IsHashAlias(shortPath, folder)) << shortPath;
            EXPECT_EQ(ToHostPath(shortPath), ToHostPath(longPath));
            aliases.insert(shortPath.substr(7));
        }
    }
    EXPECT_EQ(aliases.size(), 2u);  // each name has one alias, the same in both folders

    // An entry whose own 8.3 name equals the alias pushes the long name to the hash form.
    machine_.Touch("three/Program Files");
    machine_.Touch("three/PROGRA~1");
    EXPECT_TRUE(IsHashAlias(GetShortPathName("C:\\three\\Program Files"), "three"));
    EXPECT_EQ(ToHostPath("C:\\three\\progra~1"), machine_.DriveC() / "three" / "PROGRA~1");
}

TEST_F(PathsTest, EightBitNamesAreUtf8OnTheHost) {
    const std::string cafe = "C:\\caf\xE9";
    ASSERT_TRUE(ForceDirectories(cafe));
    EXPECT_EQ(HostNames("").count("caf\xC3\xA9"), 1u);
    EXPECT_EQ(ToWindowsPath(machine_.DriveC() / "caf\xC3\xA9"), cafe);
    TSearchRec found;
    ASSERT_EQ(FindFirst("C:\\caf*", faDirectory, found), 0);
    EXPECT_EQ(found.Name, "caf\xE9");
    // A host name that is no valid UTF-8 still has an 8-bit form that finds it.
    machine_.Touch("raw\xFF");
    EXPECT_TRUE(FileExists(ToWindowsPath(machine_.DriveC() / "raw\xFF")));
}

// The machine's one rule: every letter of code page 1252 with a case partner, in small folders
// and in indexed large ones; sharp s and micro sign have no capital.
TEST_F(PathsTest, EightBitNamesIgnoreCaseAsTheCodePageHasIt) {
    const struct {
        const char* made;
        const char* asked;
        bool found;
    } cases[] = {
        {"Jos\xE9", "JOS\xC9", true},
        {"\xC6sir", "\xE6SIR", true},
        {"\x8A"
         "cher",
         "\x9A"
         "cher",
         true},
        {"\x9Cuvre", "\x8Cuvre", true},
        {"\x9Eiga", "\x8Eiga", true},
        {"\xFFves", "\x9Fves", true},
        {"\xDEorn", "\xFEorn", true},
        {"Stra\xDF"
         "e",
         "STRASSE", false},
        {"\xB5m", "Mm", false},
        {"\xF7x", "\xD7x", false},
    };
    for (const char* folder : {"C:\\Users", "C:\\Crowd"}) {
        ASSERT_TRUE(ForceDirectories(folder));
        for (const auto& c : cases)
            ASSERT_TRUE(ForceDirectories(std::string(folder) + "\\" + c.made));
    }
    for (int i = 0; i < 300; ++i) machine_.Touch("Crowd/m" + std::to_string(i));
    for (const char* folder : {"C:\\Users", "C:\\Crowd"}) {
        for (const auto& c : cases) {
            const std::string asked = std::string(folder) + "\\" + c.asked;
            EXPECT_EQ(DirectoryExists(asked), c.found) << asked;
            EXPECT_EQ(ToHostPath(asked).filename() == AnsiToUtf8(c.made), c.found) << asked;
        }
        EXPECT_TRUE(ForceDirectories(std::string(folder) + "\\JOS\xC9"));
        TSearchRec found;
        ASSERT_EQ(FindFirst(std::string(folder) + "\\jos\xC9*", faDirectory, found), 0);
        EXPECT_EQ(found.Name, "Jos\xE9");
        EXPECT_NE(FindNext(found), 0) << "one folder for Jos\xE9 in any case";
    }
}

TEST_F(PathsTest, RelativePathsStartAtTheCurrentFolder) {
    const fs::path before = fs::current_path();
    ASSERT_TRUE(SetCurrentDirectory("c:\\windows\\TEMP"));
    EXPECT_EQ(GetCurrentDirectory(), "C:\\WINDOWS\\temp");
    EXPECT_EQ(ToHostPath("x.txt"), machine_.DriveC() / "WINDOWS" / "temp" / "x.txt");
    EXPECT_EQ(ToHostPath("..\\help"), machine_.DriveC() / "WINDOWS" / "Help");
    EXPECT_EQ(ToHostPath("\\Users"), machine_.DriveC() / "Users");
    EXPECT_FALSE(SetCurrentDirectory("C:\\nowhere"));
    fs::current_path(before);
}

}  // namespace
