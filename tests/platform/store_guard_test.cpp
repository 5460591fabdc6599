// The machine's store is opened by the store alone: the file functions refuse its files by
// every name a user could give them.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/winerror.h"
#include "store/machine.h"
#include "test_machine.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::MachineTest;

constexpr const char* kKey = "\\Software\\Guard";

struct Operation {
    const char* name;
    std::function<bool(const std::string& path)> run;  // true when the file layer went ahead
};

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> operations = {
        {"FileOpenRead", [](const std::string& path) { return win::FileOpenRead(path).IsOpen(); }},
        {"ReadWholeFile",
         [](const std::string& path) { return win::ReadWholeFile(path).has_value(); }},
        {"WriteWholeFile", [](const std::string& path) { return win::WriteWholeFile(path, ""); }},
        {"WriteFileAtomically",
         [](const std::string& path) { return win::WriteFileAtomically(path, ""); }},
        {"MoveFile", [](const std::string& path) { return win::MoveFile(path, "C:\\moved"); }},
        {"DeleteFile", [](const std::string& path) { return win::DeleteFile(path); }},
        {"HeldFile",
         [](const std::string& path) {
             return win::HeldFile(path).Status() == win::CreateStatus::Created;
         }},
    };
    return operations;
}

class StoreGuardTest : public MachineTest {
  protected:
    // The process holds the store from here on, as every program of the suite does.
    StoreGuardTest() { Write("own", "before"); }

    static void Write(const char* name, const char* data) {
        win::TRegistry registry;
        registry.OpenKey(kKey, true);
        registry.WriteString(name, data);
    }

    static fs::path StoreFile(const char* suffix) { return win::MachineDbPath().string() + suffix; }

    // Every name a user could give one of the store's files. The short name is taken in the
    // machine's own drive: the folders above the machine folder are shared with other tests,
    // whose entries can change an alias there between its reading and its use.
    std::vector<std::string> NamesOf(const char* suffix) {
        const fs::path file = StoreFile(suffix);
        const std::string host = win::ToWindowsPath(file);
        const std::string stem = "link" + std::to_string(names_++);
        fs::create_symlink(file, machine_.DriveC() / (stem + ".sym"));
        fs::create_hard_link(file, machine_.DriveC() / (stem + ".hard"));
        fs::create_hard_link(file, machine_.DriveC() / (stem + " with a long name.db"));
        return {host, win::UpperCase(host),
                win::GetShortPathName("C:\\" + stem + " with a long name.db"),
                "C:\\" + stem + ".sym", "C:\\" + stem + ".hard"};
    }

    int names_ = 0;
};

TEST_F(StoreGuardTest, TheFileFunctionsRefuseTheStoresFilesByEveryName) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ASSERT_TRUE(fs::exists(StoreFile(suffix))) << suffix;
        for (const std::string& name : NamesOf(suffix)) {
            for (const Operation& operation : Operations()) {
                win::SetLastError(0);
                EXPECT_FALSE(operation.run(name)) << operation.name << " " << name;
                EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION)
                    << operation.name << " " << name;
            }
            EXPECT_TRUE(win::IsStoreFile(win::ToHostPath(name))) << name;
        }
        EXPECT_TRUE(fs::exists(StoreFile(suffix))) << suffix;
    }
    EXPECT_FALSE(win::IsStoreFile(machine_.DriveC()));
}

// Every other file opens, changes and goes as before.
TEST_F(StoreGuardTest, OtherFilesOpenAsBefore) {
    ASSERT_TRUE(win::WriteWholeFile("C:\\plain.txt", "text"));
    EXPECT_EQ(win::ReadWholeFile("C:\\plain.txt"), "text");
    EXPECT_TRUE(win::FileOpenRead("C:\\plain.txt").IsOpen());
    EXPECT_FALSE(win::IsStoreFile(machine_.DriveC() / "plain.txt"));
    EXPECT_TRUE(win::DeleteFile("C:\\plain.txt"));
}

}  // namespace
