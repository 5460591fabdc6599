#include "service/command_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "platform/clock.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using vrel::PopCommand;

// The machine's clock runs 200 times faster here, so the 10-minute wait passes in 3 s: a
// hundred times the pauses between a client's segments, room for a loaded machine.
const int kScaledClock = ::setenv("VREL_CLOCK_SCALE", "200", 0);

struct Case {
    const char* name;
    std::vector<std::string> reads;  // what the client sends, one segment each
    PopCommand code;
    std::string argument;
};

class CommandReaderTest : public testing::TestWithParam<Case> {};

TEST_P(CommandReaderTest, ReadsOneCommand) {
    ASSERT_EQ(kScaledClock, 0);
    auto pair = vrel::test::ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    std::thread client([&] {
        for (const auto& read : GetParam().reads) {
            pair.client.Send(read);
            std::this_thread::sleep_for(30ms);
        }
    });
    std::string argument = "left over";
    vrel::CommandReader reader;
    EXPECT_EQ(reader.GetNextCommand(stream, argument), GetParam().code);
    EXPECT_EQ(argument, GetParam().argument);
    client.join();
}

const std::string kLongest = "USER " + std::string(vrel::kMaxCommandLine - 7, 'a');

// clang-format off
const Case kCases[] = {
    {"LowerCaseWord", {"quit\r\n"}, PopCommand::Quit, ""},
    {"MixedCaseWordWithArguments", {"ToP 1 5\r\n"}, PopCommand::Top, "1 5"},
    {"ArgumentKeepsBlanksAndCase", {"user Bob Smith\r\n"}, PopCommand::User, "Bob Smith"},
    {"SecondBlankStartsTheArgument", {"PASS  Secret \r\n"}, PopCommand::Pass, " Secret"},
    {"BlankLine", {"   \r\n"}, PopCommand::Unknown, ""},
    {"EmptyLine", {"\r\n"}, PopCommand::Unknown, ""},
    {"TrailingBlanks", {"LIST   \r\n"}, PopCommand::List, ""},
    {"TwoBlanksBeforeArgument", {"LIST  3\r\n"}, PopCommand::List, " 3"},
    {"TabDoesNotSplit", {"USER\tbob\r\n"}, PopCommand::Unknown, ""},
    {"WordRunsOn", {"TOP1\r\n"}, PopCommand::Unknown, ""},
    {"LongerWord", {"STATS\r\n"}, PopCommand::Unknown, ""},
    {"ControlCharactersTrimmedLineFeedOnly", {"\t stat \t\n"}, PopCommand::Stat, ""},
    {"CarriageReturnAloneDoesNotEndTheLine", {"NOOP\r", "\n"}, PopCommand::Noop, ""},
    {"LineInThreeReads", {"RE", "TR 1", "\r\n"}, PopCommand::Retr, "1"},
    {"TwoLinesInOneReadFirstOnly", {"RETR 1\r\nDELE 2\r\n"}, PopCommand::Retr, "1"},
    {"NulEndsTheText", {std::string("QUIT\0 x\r\n", 9)}, PopCommand::Quit, ""},
    {"Uidl", {"uidl 2\r\n"}, PopCommand::Uidl, "2"},
    {"Rset", {"Rset\r\n"}, PopCommand::Rset, ""},
    {"Dele", {"dele 9\r\n"}, PopCommand::Dele, "9"},
    {"Noop", {"noop\r\n"}, PopCommand::Noop, ""},
    {"LongestLineFits", {kLongest + "\r\n"}, PopCommand::User, kLongest.substr(5)},
    {"OneByteMoreIsTooLong", {kLongest + " \r\n"}, PopCommand::Unknown, ""},
    {"TooLongOverSeveralReads", {"LIST 1", std::string(2000, ' '), "\r\n"}, PopCommand::Unknown, ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Lines, CommandReaderTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class CommandStreamTest : public testing::Test {
  protected:
    vrel::test::LoopbackPair pair_ = vrel::test::ConnectLoopback();
    win::TWinSocketStream stream_{*pair_.server, 600000};
    vrel::CommandReader reader_;
    std::string argument_;

    void ExpectNext(PopCommand code, const std::string& argument) {
        EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), code);
        EXPECT_EQ(argument_, argument);
    }
};

TEST_F(CommandStreamTest, CommandsSentTogetherAreReadOneByOne) {
    pair_.client.Send("USER bob\r\nPASS secret\r\nLIST 1\nLIST 2\r\nQU");
    ExpectNext(PopCommand::User, "bob");
    ExpectNext(PopCommand::Pass, "secret");
    ExpectNext(PopCommand::List, "1");
    ExpectNext(PopCommand::List, "2");
    pair_.client.Send("IT\r\n");
    ExpectNext(PopCommand::Quit, "");
}

TEST_F(CommandStreamTest, ALineKeptOverCountsTowardsTheLimit) {
    const std::string head = "NOOP\r\nUSER " + std::string(500, 'a');
    pair_.client.Send(head);
    ExpectNext(PopCommand::Noop, "");
    std::thread client([&] {
        std::this_thread::sleep_for(30ms);
        pair_.client.Send(std::string(vrel::kMaxCommandLine, 'b') + "\r\nSTAT\r\n");
    });
    ExpectNext(PopCommand::Unknown, "");
    ExpectNext(PopCommand::Stat, "");
    client.join();
}

TEST_F(CommandStreamTest, ClearForgetsWhatWasSentAhead) {
    pair_.client.Send("RETR 1\r\nDELE 2\r\n");
    ExpectNext(PopCommand::Retr, "1");
    reader_.Clear();
    pair_.client.Send("QUIT\r\n");
    ExpectNext(PopCommand::Quit, "");
}

TEST_F(CommandStreamTest, AHundredKilobyteLineIsDiscardedWhole) {
    std::thread client([&] {
        pair_.client.Send("USER " + std::string(100 * 1024, 'a') + "\r\n");
        std::this_thread::sleep_for(50ms);
        pair_.client.Send("USER bob\r\n");
    });
    argument_ = "x";
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), PopCommand::Unknown);
    EXPECT_EQ(argument_, "");
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), PopCommand::User);
    EXPECT_EQ(argument_, "bob");
    client.join();
}

TEST_F(CommandStreamTest, SilenceEndsTheWaitAfterTenMachineMinutes) {
    const auto start = steady_clock::now();
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), PopCommand::NoData);
    const auto waited = steady_clock::now() - start;
    EXPECT_GE(waited, win::ScaledWait(600000));
    EXPECT_LT(waited, 10s);
}

TEST_F(CommandStreamTest, ALineLeftUnfinishedEndsWithTheStreamTimeOut) {
    pair_.client.Send("RETR 1");
    const auto start = steady_clock::now();
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), PopCommand::NoData);
    EXPECT_GE(steady_clock::now() - start, win::ScaledWait(600000));
}

// At scale 200 a byte every 4 machine seconds, well inside the stream's own time-out; the
// reader gives up at the limit, long before the client has sent its last byte.
TEST_F(CommandStreamTest, ALineTrickledPastItsLimitYieldsNoData) {
    constexpr int kBytes = 200;
    std::atomic<int> sent = 0;
    std::atomic<bool> done = false;
    std::thread client([&] {
        for (; sent < kBytes && !done; ++sent) {
            pair_.client.Send("N");
            std::this_thread::sleep_for(20ms);
        }
    });
    const vrel::TimeLimit limit(180000);
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_, limit), PopCommand::NoData);
    EXPECT_LT(sent, kBytes);
    done = true;
    EXPECT_EQ(limit.Left(), 0u);
    client.join();
}

TEST_F(CommandStreamTest, ALineWithinItsLimitIsRead) {
    pair_.client.Send("US");
    std::thread client([&] {
        std::this_thread::sleep_for(30ms);
        pair_.client.Send("ER bob\r\n");
    });
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_, vrel::TimeLimit(180000)),
              PopCommand::User);
    EXPECT_EQ(argument_, "bob");
    client.join();
}

TEST_F(CommandStreamTest, PeerCloseYieldsNoData) {
    pair_.client.Send("RETR 1");
    pair_.client.Close();
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), PopCommand::NoData);
    EXPECT_EQ(reader_.GetNextCommand(stream_, argument_), PopCommand::NoData);
}

TEST_F(CommandStreamTest, AReceiveErrorReachesTheCaller) {
    pair_.client.Send("RETR");
    pair_.client.Reset();
    EXPECT_THROW(while (reader_.GetNextCommand(stream_, argument_) != PopCommand::NoData){},
                 win::ESocketError);
}

}  // namespace
