#include "agent/message_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "agent_fixture.h"
#include "sync_watch.h"

namespace {

using vrel::test::ArrivalTest;

constexpr const char* kAlice = "C:\\Mail\\alice";

TEST_F(ArrivalTest, MessageFilesAreNamedByTimeAndTheFirstFreeSequenceNumber) {
    vrel::CopyToFolder("alice@mail.test", Arrive(""));
    vrel::CopyToFolder("alice@mail.test", Arrive(""));
    SetFixedTime("2026-01-02T03:04:05.060");
    vrel::CopyToFolder("alice@mail.test", Arrive(""));
    EXPECT_EQ(Entries(kAlice),
              (std::set<std::string>{"261209101010001000000001.eml", "261209101010001000000002.eml",
                                     "260102030405060000000001.eml"}));
    EXPECT_EQ(ReadFile(std::string(kAlice) + "\\261209101010001000000002.eml"), kContent);
}

TEST_F(ArrivalTest, ANameTakenInAnyLetterCaseIsNotUsed) {
    win::ForceDirectories(kAlice);
    std::ofstream(win::ToHostPath(std::string(kAlice) + "\\261209101010001000000001.EML"))
        << "older";
    EXPECT_TRUE(vrel::CopyToFolder("alice@mail.test", Arrive("")));
    EXPECT_EQ(Entries(kAlice), (std::set<std::string>{"261209101010001000000001.EML",
                                                      "261209101010001000000002.eml"}));
    EXPECT_EQ(ReadFile(std::string(kAlice) + "\\261209101010001000000001.EML"), "older");
}

// The SMTP service drops its own copy once the agent returns, so a stored copy must survive a
// power failure: its content is on disk before it has its name, and its name after.
TEST_F(ArrivalTest, AMessageFileIsOnDiskBeforeTheCallReturns) {
    win::ForceDirectories(kAlice);
    const auto message = Arrive("");
    const std::filesystem::path file =
        win::ToHostPath(std::string(kAlice) + "\\261209101010001000000001.eml");
    std::vector<vrel::test::SyncWatch::Sync> syncs;
    {
        const vrel::test::SyncWatch watch(win::ToHostPath(kAlice), file);
        EXPECT_TRUE(vrel::CopyToFolder("alice@mail.test", message));
        syncs = watch.Syncs();
    }
    ASSERT_EQ(syncs.size(), 2u);
    EXPECT_NE(syncs[0].path, file.parent_path());
    EXPECT_FALSE(syncs[0].placed);
    EXPECT_EQ(syncs[1].path, std::filesystem::canonical(file.parent_path()));
    EXPECT_TRUE(syncs[1].placed);
}

TEST_F(ArrivalTest, NothingIsStoredWithoutAStreamOrAUser) {
    const auto message = Arrive("");
    std::filesystem::remove(win::ToHostPath(std::string(kQueue) + "\\arrived.eml"));
    vrel::CopyToFolder("alice@mail.test", message);
    EXPECT_EQ(Entries(kAlice), std::set<std::string>{});
    vrel::CopyToFolder("mail.test", Arrive(""));
    EXPECT_EQ(Entries("C:\\Mail"), std::set<std::string>{"alice"});
}

// A writer killed at any moment never leaves a partial file under a ".eml" name: a
// listing taken while it writes, and one taken after it died, see only whole messages.
TEST_F(ArrivalTest, AKilledWriterLeavesNoPartialMessageFile) {
    ::unsetenv("VREL_FIXED_TIME");  // real time, so the names keep changing
    const std::string content(1 << 20, 'x');
    const auto message = Arrive("", content);
    win::ForceDirectories(kAlice);
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            for (;;) vrel::CopyToFolder("alice@mail.test", message);
        }
        // The last round also lasts until a whole message is there: a machine too busy to
        // write one in the rounds' time is no fault of the writer.
        const auto start = std::chrono::steady_clock::now();
        const auto going = [&] {
            const auto spent = std::chrono::steady_clock::now() - start;
            if (spent < std::chrono::milliseconds(40 + 30 * round)) return true;
            return round == kRounds - 1 && EmlFiles(kAlice).empty() &&
                   spent < std::chrono::seconds(30);
        };
        while (going()) {
            for (const std::string& name : EmlFiles(kAlice)) {
                EXPECT_EQ(
                    std::filesystem::file_size(win::ToHostPath(std::string(kAlice) + "\\" + name)),
                    content.size())
                    << name;
            }
        }
        ::kill(writer, SIGKILL);
        int status = 0;
        ::waitpid(writer, &status, 0);
        for (const std::string& name : EmlFiles(kAlice)) {
            EXPECT_EQ(ReadFile(std::string(kAlice) + "\\" + name), content) << name;
        }
    }
    EXPECT_FALSE(EmlFiles(kAlice).empty());
}

}  // namespace
