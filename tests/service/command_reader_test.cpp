#include "service/command_reader.h"

#include <gtest/gtest.h>

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

// The machine's clock runs 1000 times faster here, so the 10-minute wait passes in 0.6 s.
const int kScaledClock = ::setenv("VREL_CLOCK_SCALE", "1000", 0);

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
    EXPECT_EQ(vrel::GetNextCommand(stream, argument), GetParam().code);
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
    {"TwoLinesInOneRead", {"RETR 1\r\nDELE 2\r\n"}, PopCommand::Retr, "1\r\nDELE 2"},
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
    std::string argument_;
};

TEST_F(CommandStreamTest, NothingIsKeptOverToTheNextCommand) {
    pair_.client.Send("RETR 1\r\nDELE 2\r\n");
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::Retr);
    pair_.client.Send("QUIT\r\n");
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::Quit);
    EXPECT_EQ(argument_, "");
}

TEST_F(CommandStreamTest, AHundredKilobyteLineIsDiscardedWhole) {
    std::thread client([&] {
        pair_.client.Send("USER " + std::string(100 * 1024, 'a') + "\r\n");
        std::this_thread::sleep_for(50ms);
        pair_.client.Send("USER bob\r\n");
    });
    argument_ = "x";
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::Unknown);
    EXPECT_EQ(argument_, "");
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::User);
    EXPECT_EQ(argument_, "bob");
    client.join();
}

TEST_F(CommandStreamTest, SilenceEndsTheWaitAfterTenMachineMinutes) {
    const auto start = steady_clock::now();
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::NoData);
    const auto waited = steady_clock::now() - start;
    EXPECT_GE(waited, win::ScaledWait(600000));
    EXPECT_LT(waited, 10s);
}

TEST_F(CommandStreamTest, ALineLeftUnfinishedEndsWithTheStreamTimeOut) {
    pair_.client.Send("RETR 1");
    const auto start = steady_clock::now();
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::NoData);
    EXPECT_GE(steady_clock::now() - start, win::ScaledWait(600000));
}

TEST_F(CommandStreamTest, PeerCloseYieldsNoData) {
    pair_.client.Send("RETR 1");
    pair_.client.Close();
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::NoData);
    EXPECT_EQ(vrel::GetNextCommand(stream_, argument_), PopCommand::NoData);
}

TEST_F(CommandStreamTest, AReceiveErrorReachesTheCaller) {
    pair_.client.Send("RETR");
    pair_.client.Reset();
    EXPECT_THROW(while (vrel::GetNextCommand(stream_, argument_) != PopCommand::NoData){},
                 win::ESocketError);
}

}  // namespace
