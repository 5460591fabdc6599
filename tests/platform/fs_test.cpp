// File functions of the machine: searches, renames, creation only when absent, temporary
// names, whole and atomic writes, and the text-mode append stream.
#include "platform/fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include "platform/paths.h"
#include "sync_watch.h"
#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using namespace win;
namespace fs = std::filesystem;

class FsTest : public MachineTest {
  protected:
    fs::path Host(const std::string& relative) { return machine_.DriveC() / relative; }
    void Write(const std::string& relative, const std::string& content) {
        fs::create_directories(Host(relative).parent_path());
        std::ofstream(Host(relative), std::ios::binary) << content;
    }
    std::string Read(const std::string& relative) {
        std::ifstream in(Host(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

struct Found {
    std::string name;
    std::int64_t size;
    int attr;
    bool operator<(const Found& o) const { return name < o.name; }
    bool operator==(const Found& o) const = default;
};

std::set<Found> Search(const std::string& pattern, int attr) {
    std::set<Found> found;
    TSearchRec F;
    for (int rc = FindFirst(pattern, attr, F); rc == 0; rc = FindNext(F)) {
        found.insert({F.Name, F.Size, F.Attr});
    }
    FindClose(F);
    return found;
}

class FindTest : public FsTest {
  protected:
    void SetUp() override {
        Write("box/a.eml", "hello");
        Write("box/B.EML", "");
        Write("box/r.eml", "12");
        ::chmod(Host("box/r.eml").c_str(), 0444);
        Write("box/.h.eml", "123");
        Write("box/c.txt", "1234");
        Write("box/noext", "1");
        Write("box/x.emlx", "1");
        Write("box/my long name.eml", "1");
        fs::create_directories(Host("box/sub.eml"));
    }
};

TEST_F(FindTest, MaskAndWildcardSelectEntries) {
    const Found a{"a.eml", 5, faArchive}, b{"B.EML", 0, faArchive},
        r{"r.eml", 2, faArchive | faReadOnly}, h{".h.eml", 3, faArchive | faHidden},
        c{"c.txt", 4, faArchive}, n{"noext", 1, faArchive}, x{"x.emlx", 1, faArchive},
        l{"my long name.eml", 1, faArchive}, sub{"sub.eml", 0, faDirectory};
    const struct {
        const char* pattern;
        int attr;
        std::set<Found> expected;
    } cases[] = {
        {"C:\\box\\*.eml", 0, {a, b, r, l}},
        {"C:\\box\\*.eml", faReadOnly | faArchive, {a, b, r, l}},
        {"C:\\box\\*.eml", faDirectory, {a, b, r, l, sub}},
        {"C:\\box\\*.eml", faHidden, {a, b, r, l, h}},
        {"C:\\BOX\\*.EML", faAnyFile, {a, b, r, l, h, sub}},
        {"C:\\box\\?.eml", 0, {a, b, r}},
        {"C:\\box\\*", 0, {a, b, r, c, n, x, l}},
        {"C:\\box\\*.*", 0, {a, b, r, c, n, x, l}},
        {"C:\\box\\noext.*", 0, {n}},
        {"C:\\box\\*~1*", faAnyFile, {}},  // aliases are no names for wildcards
        {"C:\\box\\MYLONG~1.EML", 0, {l}},
        {"C:\\box\\sub.eml", 0, {}},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(Search(row.pattern, row.attr), row.expected) << row.pattern << " " << row.attr;
    }
}

TEST_F(FindTest, ResultCodesTellMissingFolderFromNoMatch) {
    TSearchRec F;
    EXPECT_EQ(FindFirst("C:\\nowhere\\*.eml", faAnyFile, F), 3);
    EXPECT_EQ(FindFirst("C:\\box\\*.doc", faAnyFile, F), 2);
    ASSERT_EQ(FindFirst("C:\\box\\a.*", faAnyFile, F), 0);
    EXPECT_EQ(FindNext(F), 18);
    EXPECT_EQ(FindNext(F), 18);
    FindClose(F);
}

// Entries come in the order of their upper-cased names whatever the host's order, so the
// time-stamped names of messages come in arrival order.
TEST_F(FsTest, SearchesReturnNamesInUpperCaseOrder) {
    for (const char* name : {"b.eml", "_x.eml", "A.eml", "20261210014500002.eml", "c.EML",
                             "20261210014500001.eml", "9.eml"}) {
        Write(std::string("order/") + name, "");
    }
    std::vector<std::string> names;
    TSearchRec F;
    for (int rc = FindFirst("C:\\order\\*.eml", faAnyFile, F); rc == 0; rc = FindNext(F)) {
        names.push_back(F.Name);
    }
    FindClose(F);
    const std::vector<std::string> expected = {"20261210014500001.eml",
                                               "20261210014500002.eml",
                                               "9.eml",
                                               "A.eml",
                                               "b.eml",
                                               "c.EML",
                                               "_x.eml"};
    EXPECT_EQ(names, expected);
}

TEST_F(FsTest, ExistenceTellsFilesFromFolders) {
    Write("d/f.txt", "x");
    EXPECT_TRUE(FileExists("C:\\D\\F.TXT"));
    EXPECT_FALSE(DirectoryExists("C:\\d\\f.txt"));
    EXPECT_TRUE(DirectoryExists("C:\\d"));
    EXPECT_FALSE(FileExists("C:\\d"));
    EXPECT_FALSE(ForceDirectories("C:\\d\\f.txt\\below"));
    EXPECT_FALSE(ForceDirectories(""));
    EXPECT_FALSE(ForceDirectories("C:\\d\\a:b"));
    EXPECT_EQ(CreateNewFile("C:\\d\\x*y").status, CreateStatus::Failed);
    EXPECT_FALSE(DeleteFile("C:\\d"));
    EXPECT_TRUE(DeleteFile("C:\\d\\F.txt"));
    EXPECT_FALSE(FileExists("C:\\d\\f.txt"));
    EXPECT_FALSE(DeleteFile("C:\\d\\f.txt"));
}

TEST_F(FsTest, MoveFileFailsWhenTheTargetExists) {
    Write("m/old.csv", "old");
    Write("m/new.csv", "new");
    Write("m/Taken.BAK", "taken");
    EXPECT_FALSE(MoveFile("C:\\m\\new.csv", "C:\\m\\taken.bak"));
    EXPECT_FALSE(MoveFile("C:\\m\\new.csv", "C:\\m\\OLD.CSV"));
    EXPECT_FALSE(MoveFile("C:\\m\\missing.csv", "C:\\m\\other.csv"));
    EXPECT_FALSE(MoveFile("C:\\m\\new.csv", "C:\\nowhere\\new.csv"));
    EXPECT_EQ(Read("m/new.csv"), "new");
    EXPECT_EQ(Read("m/Taken.BAK"), "taken");

    EXPECT_TRUE(MoveFile("C:\\m\\OLD.csv", "C:\\m\\old.BAK"));
    EXPECT_EQ(Read("m/old.BAK"), "old");
    EXPECT_FALSE(FileExists("C:\\m\\old.csv"));
    EXPECT_TRUE(MoveFile("C:\\m\\old.bak", "C:\\m\\OLD.BAK"));  // a change of case only
    EXPECT_EQ(Read("m/OLD.BAK"), "old");
}

TEST_F(FsTest, CreateNewFileHasOneWinnerAmongRacers) {
    ASSERT_TRUE(ForceDirectories("C:\\Mail\\bob"));
    constexpr int kThreads = 12;
    constexpr int kNames = 30;
    std::atomic<int> created[kNames] = {};
    std::atomic<int> failed = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kNames; ++n) {
                const std::string name = (t % 2 ? "LockFile" : "LOCKFILE") + std::to_string(n);
                NewFile file = CreateNewFile("C:\\Mail\\bob\\" + name + ".$$$");
                if (file.status == CreateStatus::Created) {
                    EXPECT_TRUE(file.file.Write("me"));
                    ++created[n];
                } else if (file.status == CreateStatus::Failed) {
                    ++failed;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failed, 0);
    for (int n = 0; n < kNames; ++n) EXPECT_EQ(created[n], 1) << n;
    EXPECT_EQ(std::distance(fs::directory_iterator(Host("Mail/bob")), fs::directory_iterator()),
              kNames);
    EXPECT_EQ(CreateNewFile("C:\\Mail\\nobody\\LockFile.$$$").status, CreateStatus::Failed);
}

TEST_F(FsTest, AHeldFileHasOneHolderAtATimeAndGoesWithIt) {
    ASSERT_TRUE(ForceDirectories("C:\\Mail\\bob"));
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::atomic<int> holders = 0, mostHolders = 0, held = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const HeldFile file(t % 2 ? "C:\\Mail\\bob\\LockFile.$$$"
                                          : "C:\\MAIL\\BOB\\LOCKFILE.$$$");
                EXPECT_NE(file.Status(), CreateStatus::Failed);
                if (file.Status() != CreateStatus::Created) continue;
                const int now = ++holders;
                mostHolders = std::max(mostHolders.load(), now);
                ++held;
                std::this_thread::yield();
                --holders;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mostHolders, 1);
    EXPECT_GT(held, 0);
    EXPECT_FALSE(fs::exists(Host("Mail/bob/LockFile.$$$")));
    EXPECT_EQ(HeldFile("C:\\Mail\\nobody\\LockFile.$$$").Status(), CreateStatus::Failed);
    fs::create_directories(Host("Mail/bob/Folder.$$$"));
    EXPECT_EQ(HeldFile("C:\\Mail\\bob\\Folder.$$$").Status(), CreateStatus::Failed);
}

TEST_F(FsTest, AFileLeftByAKilledHolderIsTakenOver) {
    ASSERT_TRUE(ForceDirectories("C:\\Mail\\bob"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const HeldFile file("C:\\Mail\\bob\\LockFile.$$$");
        [[maybe_unused]] const auto written =
            ::write(ready[1], file.Status() == CreateStatus::Created ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char status = 0;
    ASSERT_EQ(::read(ready[0], &status, 1), 1);
    EXPECT_EQ(status, 'y');
    EXPECT_EQ(HeldFile("C:\\Mail\\bob\\LockFile.$$$").Status(), CreateStatus::Exists);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(fs::exists(Host("Mail/bob/LockFile.$$$")));
    EXPECT_EQ(HeldFile("C:\\Mail\\bob\\LockFile.$$$").Status(), CreateStatus::Created);
}

TEST_F(FsTest, TempNamesTakeTheFirstFreeCounter) {
    Write("WINDOWS/temp/TMP1.$$$", "");
    Write("WINDOWS/temp/tmp2.$$$", "");
    EXPECT_EQ(CreateTempFileName("C:\\WINDOWS\\temp"), "TMP3.$$$");
    EXPECT_EQ(CreateTempFileName("C:\\WINDOWS\\temp\\"), "TMP4.$$$");
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\temp\\TMP4.$$$"));
    ASSERT_TRUE(DeleteFile("C:\\WINDOWS\\temp\\TMP1.$$$"));
    EXPECT_EQ(CreateTempFileName("C:\\WINDOWS\\temp"), "TMP1.$$$");
    EXPECT_EQ(CreateTempFileName("C:\\WINDOWS\\missing"), "");
}

TEST_F(FsTest, WholeFilesRoundTrip) {
    const std::string bytes("a\r\nb\0c\n", 7);
    EXPECT_TRUE(WriteWholeFile("C:\\w.bin", bytes));
    EXPECT_EQ(ReadWholeFile("C:\\W.BIN"), bytes);
    EXPECT_TRUE(WriteWholeFile("C:\\W.bin", "short"));
    EXPECT_EQ(Read("w.bin"), "short");
    EXPECT_FALSE(ReadWholeFile("C:\\none.bin"));
    EXPECT_FALSE(WriteWholeFile("C:\\nowhere\\w.bin", "x"));
}

TEST_F(FsTest, FileOpenReadReadsInPieces) {
    Write("Mail/Bob/M.EML", "0123456789");
    FileHandle file = FileOpenRead("C:\\mail\\bob\\m.eml");
    ASSERT_TRUE(file.IsOpen());
    char buffer[4];
    std::string got;
    std::ptrdiff_t n;
    while ((n = file.Read(buffer, sizeof buffer)) > 0) got.append(buffer, n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(got, "0123456789");
    EXPECT_FALSE(FileOpenRead("C:\\mail\\bob\\none.eml").IsOpen());
    EXPECT_EQ(FileHandle().Read(buffer, sizeof buffer), -1);
}

TEST_F(FsTest, AtomicWriteReplacesTheNameItFinds) {
    Write("Badmail/X.EML", "old");
    EXPECT_TRUE(WriteFileAtomically("C:\\Badmail\\x.eml", "new content"));
    EXPECT_EQ(Read("Badmail/X.EML"), "new content");
    EXPECT_TRUE(WriteFileAtomically("C:\\Badmail\\y.eml", "y"));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(Host("Badmail"))) {
        names.insert(e.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"X.EML", "y.eml"}));
    EXPECT_FALSE(WriteFileAtomically("C:\\nowhere\\z.eml", "z"));
}

// A power failure after the call keeps the file: its content is synced before it takes its
// name, and the folder (which holds the name) after.
TEST_F(FsTest, ADurableWriteSyncsTheFileBeforeItsNameAndTheFolderAfter) {
    ASSERT_TRUE(ForceDirectories("C:\\Mail\\ann"));
    const fs::path target = Host("Mail/ann/1.eml");
    std::vector<vrel::test::SyncWatch::Sync> syncs;
    {
        const vrel::test::SyncWatch watch(Host("Mail/ann"), target);
        const auto hello = [](int fd) { return ::write(fd, "hello", 5) == 5; };
        ASSERT_EQ(WriteFileDurably(target, Existing::Keep, hello), DurableWrite::Written);
        syncs = watch.Syncs();
    }
    ASSERT_EQ(syncs.size(), 2u);
    EXPECT_TRUE(syncs[0].path.filename().string().starts_with(".1.eml."));
    EXPECT_FALSE(syncs[0].placed);
    EXPECT_EQ(syncs[1].path, fs::canonical(Host("Mail/ann")));
    EXPECT_TRUE(syncs[1].placed);
    EXPECT_EQ(Read("Mail/ann/1.eml"), "hello");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// Keep never replaces, and a failed or refused write leaves no temporary behind.
TEST_F(FsTest, ADurableWriteIsWholeOrAbsent) {
    Write("Mail/ann/1.eml", "first");
    const fs::path target = Host("Mail/ann/1.eml");
    const auto write = [](std::string_view text) {
        return [text](int fd) { return ::write(fd, text.data(), text.size()) > 0; };
    };
    EXPECT_EQ(WriteFileDurably(target, Existing::Keep, write("second")), DurableWrite::Exists);
    EXPECT_EQ(Read("Mail/ann/1.eml"), "first");
    const auto halfThenFail = [](int fd) { return ::write(fd, "half", 4) < 0; };
    EXPECT_EQ(WriteFileDurably(target, Existing::Replace, halfThenFail), DurableWrite::Failed);
    EXPECT_EQ(Read("Mail/ann/1.eml"), "first");
    EXPECT_TRUE(WriteFileDurably(target, "third"));
    EXPECT_EQ(Read("Mail/ann/1.eml"), "third");
    EXPECT_EQ(WriteFileDurably(Host("Mail/none/2.eml"), Existing::Keep, write("x")),
              DurableWrite::Failed);
    EXPECT_EQ(std::distance(fs::directory_iterator(Host("Mail/ann")), {}), 1);
}

TEST_F(FsTest, ReadersNeverSeeAPartialMessageFile) {
    ASSERT_TRUE(ForceDirectories("C:\\Mail\\ann"));
    const std::string message(1 << 20, 'm');
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int n = 0; n < 40; ++n) {
            EXPECT_TRUE(
                WriteFileAtomically("C:\\Mail\\ann\\" + std::to_string(n) + ".eml", message));
        }
        done = true;
    });
    int seen = 0;
    while (!done) {
        for (const Found& f : Search("C:\\Mail\\ann\\*.eml", faAnyFile)) {
            ASSERT_EQ(f.size, static_cast<std::int64_t>(message.size())) << f.name;
            ++seen;
        }
    }
    writer.join();
    EXPECT_EQ(Search("C:\\Mail\\ann\\*.eml", faAnyFile).size(), 40u);
    EXPECT_EQ(Search("C:\\Mail\\ann\\*", faAnyFile).size(), 40u);  // no temporary file is left
}

TEST_F(FsTest, TextAppendStoresLfAsCrLf) {
    {
        TextAppendFile log("C:\\WINDOWS\\system32\\LogFiles.log");
        ASSERT_TRUE(log.IsOpen());
        EXPECT_TRUE(log.Puts("header\r\n"));
        EXPECT_TRUE(log.Puts("start\n"));
        EXPECT_TRUE(log.Puts("100% no newline"));
    }
    TextAppendFile again("c:\\windows\\SYSTEM32\\logfiles.LOG");
    ASSERT_TRUE(again.IsOpen());
    EXPECT_TRUE(again.Printf("%s %d\n", "user", 3));
    EXPECT_TRUE(again.Close());
    EXPECT_FALSE(again.Puts("closed"));
    EXPECT_EQ(Read("WINDOWS/system32/LogFiles.log"),
              "header\r\r\nstart\r\n100% no newlineuser 3\r\n");
    EXPECT_FALSE(TextAppendFile("C:\\nowhere\\x.log").IsOpen());
}

}  // namespace
