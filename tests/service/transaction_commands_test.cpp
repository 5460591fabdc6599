// The transaction commands DELE, LIST, UIDL, TOP and RETR, each answering over a real
// loopback connection.
#include <gtest/gtest.h>

#include <set>

#include "mailbox_fixture.h"

namespace {

using vrel::TMyServerThread;

enum class Routine { Dele, List, Uidl, Top, Retr };

void RunRoutine(Routine routine, std::string_view argument, vrel::MessageList& list,
                std::int64_t& octets, win::TWinSocketStream& stream) {
    switch (routine) {
        case Routine::Dele:
            TMyServerThread::DeleteMessage(argument, list, octets, stream);
            break;
        case Routine::List:
            TMyServerThread::ListMessage(argument, list, stream, 2);
            break;
        case Routine::Uidl:
            TMyServerThread::UIDLMessage(argument, list, stream);
            break;
        case Routine::Top:
            TMyServerThread::TOPMessage(argument, list, stream);
            break;
        case Routine::Retr:
            TMyServerThread::RETRMessage(argument, list, stream);
            break;
    }
}

// Three messages of 20 bytes with the same text; message 2 is marked deleted.
const std::string kMessage = "Subject: x\r\n\r\nbody\r\n";

struct Case {
    const char* name;
    Routine routine;
    const char* argument;
    std::string reply;  // "{uid1}" and "{uid3}" stand for those messages' unique ids
};

class ReplyTest : public vrel::test::MailboxTest, public testing::WithParamInterface<Case> {
  protected:
    void SetUp() override {
        for (const char* name : {"a.eml", "b.eml", "c.eml"}) Store(name, kMessage);
        Build();
        list_[1].deleted = true;
        octets_ = 40;
    }
    std::string Expected(std::string text) const {
        for (const int n : {1, 3}) {
            const std::string key = "{uid" + std::to_string(n) + "}";
            for (auto at = text.find(key); at != std::string::npos; at = text.find(key)) {
                text.replace(at, key.size(), list_[n - 1].uid);
            }
        }
        return text;
    }
};

TEST_P(ReplyTest, AnswersExactly) {
    const Case& c = GetParam();
    EXPECT_EQ(
        Call([&](auto& stream) { RunRoutine(c.routine, c.argument, list_, octets_, stream); }),
        Expected(c.reply));
}

const std::string kNoSuch = "-ERR no such message\r\n";
const std::string kRetr1 = "+OK 20 octets\r\n" + kMessage + ".\r\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, ReplyTest, testing::Values(
    Case{"DeleAlone", Routine::Dele, "", "-ERR too few arguments for [DELE] command\r\n"},
    Case{"DeleZero", Routine::Dele, "0", kNoSuch},
    Case{"DeleBeyondTheList", Routine::Dele, "4", kNoSuch},
    Case{"DeleNegative", Routine::Dele, "-1", kNoSuch},
    Case{"DeleWord", Routine::Dele, "one", kNoSuch},
    Case{"DeleHugeNumber", Routine::Dele, "4294967297", kNoSuch},
    Case{"DeleMarked", Routine::Dele, "2", "-ERR message 2 already deleted\r\n"},
    Case{"Dele", Routine::Dele, "3", "+OK message 3 deleted\r\n"},
    Case{"DeleLeadingBlank", Routine::Dele, " 1", "+OK message 1 deleted\r\n"},
    Case{"ListAll", Routine::List, "", "+OK 2 message(s)\r\n1 20\r\n3 20\r\n.\r\n"},
    Case{"ListOne", Routine::List, "3", "+OK 3 20\r\n"},
    Case{"ListMarked", Routine::List, "2", "-ERR message 2 deleted\r\n"},
    Case{"ListZero", Routine::List, "0", kNoSuch},
    Case{"ListWord", Routine::List, "x", kNoSuch},
    Case{"UidlAll", Routine::Uidl, "",
         "+OK Unique-ID listing follows\r\n1 {uid1}\r\n3 {uid3}\r\n.\r\n"},
    Case{"UidlOne", Routine::Uidl, "1", "+OK 1 {uid1}\r\n"},
    Case{"UidlMarked", Routine::Uidl, "2", "-ERR message 2 has been deleted\r\n"},
    Case{"UidlBeyond", Routine::Uidl, "9", kNoSuch},
    Case{"TopAlone", Routine::Top, "", "-ERR command [TOP] requires arguments\r\n"},
    Case{"TopNumberOnly", Routine::Top, "1", "-ERR wrong number of arguments for [TOP] command\r\n"},
    Case{"TopWords", Routine::Top, "a b", "-ERR wrong number of arguments for [TOP] command\r\n"},
    Case{"TopMarked", Routine::Top, "2 0", "-ERR message 2 deleted\r\n"},
    Case{"TopZero", Routine::Top, "0 1", kNoSuch},
    Case{"TopNoBodyLines", Routine::Top, "1 0",
         "+OK top of message: 1\r\nSubject: x\r\n\r\n.\r\n"},
    Case{"TopNegativeCount", Routine::Top, "1 -5",
         "+OK top of message: 1\r\nSubject: x\r\n\r\n.\r\n"},
    Case{"TopMoreLinesThanTheBodyHas", Routine::Top, " 3  99",
         "+OK top of message: 3\r\nSubject: x\r\n\r\nbody\r\n.\r\n"},
    Case{"RetrAlone", Routine::Retr, "", "-ERR too few arguments for the [RETR] command\r\n"},
    Case{"RetrMarked", Routine::Retr, "2", "-ERR message 2 deleted\r\n"},
    Case{"RetrBeyond", Routine::Retr, "4", kNoSuch},
    Case{"Retr", Routine::Retr, "1", kRetr1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

class DeleteTest : public vrel::test::MailboxTest {};

TEST_F(DeleteTest, MarksOnlyAndLowersTheOctetTotal) {
    Store("a.eml", "12345");
    Store("b.eml", "123");
    Build();
    ASSERT_EQ(octets_, 8);
    bool deleted = false;
    Call([&](auto& stream) {
        deleted = TMyServerThread::DeleteMessage("1", list_, octets_, stream);
    });
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(list_[0].deleted);
    EXPECT_EQ(octets_, 8 - list_[0].size);
    Call([&](auto& stream) {
        deleted = TMyServerThread::DeleteMessage("1", list_, octets_, stream);
    });
    EXPECT_FALSE(deleted);
    EXPECT_EQ(octets_, 8 - list_[0].size);
    EXPECT_TRUE(std::filesystem::exists(Host("a.eml")));
}

struct ContentCase {
    const char* name;
    std::string file;
    const char* argument;  // of TOP; RETR when empty
    std::string body;      // the reply after its first line, the end line included
};

class ContentTest : public vrel::test::MailboxTest,
                    public testing::WithParamInterface<ContentCase> {};

TEST_P(ContentTest, SendsTheStoredText) {
    const ContentCase& c = GetParam();
    Store("m.eml", c.file);
    Build();
    const std::string argument = c.argument;
    const std::string reply = Call([&](auto& stream) {
        if (argument.empty()) {
            TMyServerThread::RETRMessage("1", list_, stream);
        } else {
            TMyServerThread::TOPMessage(argument, list_, stream);
        }
    });
    const std::string first = argument.empty()
                                  ? "+OK " + std::to_string(c.file.size()) + " octets\r\n"
                                  : "+OK top of message: 1\r\n";
    EXPECT_EQ(reply, first + c.body);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, ContentTest, testing::Values(
    ContentCase{"RetrEndingInCrLfIsSentAsStored", "A: 1\r\n\r\nx\r\n", "",
                "A: 1\r\n\r\nx\r\n.\r\n"},
    ContentCase{"RetrLastLineCompleted", "A: 1\r\n\r\nx", "", "A: 1\r\n\r\nx\r\n.\r\n"},
    ContentCase{"RetrEmptyFile", "", "", ".\r\n"},
    ContentCase{"RetrDotLinesDoubled", ".\r\n..x\r\n.\r\nend.\r\n", "",
                "..\r\n...x\r\n..\r\nend.\r\n.\r\n"},
    ContentCase{"RetrDotAfterBareLineFeed", "a\n.b", "", "a\n..b\r\n.\r\n"},
    ContentCase{"RetrDotAfterBareCarriageReturnStays", "a\r.b", "", "a\r.b\r\n.\r\n"},
    ContentCase{"TopWithoutEmptyLineSendsAll", "A: 1\r\nB: 2\r\n", "1 0",
                "A: 1\r\nB: 2\r\n.\r\n"},
    ContentCase{"TopCountsBodyLines", "A: 1\r\n\r\nl1\r\nl2\r\nl3\r\n", "1 2",
                "A: 1\r\n\r\nl1\r\nl2\r\n.\r\n"},
    ContentCase{"TopDotLinesDoubled", ".A\r\n\r\n.\r\n", "1 1", "..A\r\n\r\n..\r\n.\r\n"},
    ContentCase{"TopLineEndsOfEveryKind", "A\rB\nC\r\n\n1\r2", "1 1",
                "A\r\nB\r\nC\r\n\r\n1\r\n.\r\n"},
    ContentCase{"TopEmptyFile", "", "1 5", ".\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ContentTest, RetrStuffsADotThatStartsTheNextBlock) {
    // The first block of 100000 bytes ends with a line end, so the next one starts a line.
    std::string file(99998, 'x');
    file += "\r\n.dot\r\n";
    Store("m.eml", file);
    Build();
    const std::string reply =
        Call([&](auto& stream) { TMyServerThread::RETRMessage("1", list_, stream); });
    std::string expected = "+OK 100006 octets\r\n" + std::string(99998, 'x') + "\r\n..dot\r\n";
    EXPECT_EQ(reply, expected + ".\r\n");
}

TEST_F(ContentTest, RetrSendsOnlyTheListedSizeInWholeBlocks) {
    Store("m.eml", "A: 1\r\n\r\nshort\r\n");
    Build();
    Store("m.eml", "A: 1\r\n\r\nshort\r\nand grown since\r\n");
    EXPECT_EQ(Call([&](auto& stream) { TMyServerThread::RETRMessage("1", list_, stream); }),
              "+OK 15 octets\r\nA: 1\r\n\r\nshort\r\nand grown since\r\n.\r\n");
    std::string big(250000, 'y');
    Store("m.eml", big);
    EXPECT_EQ(Call([&](auto& stream) { TMyServerThread::RETRMessage("1", list_, stream); }),
              "+OK 15 octets\r\n" + big.substr(0, 100000) + "\r\n.\r\n");
}

TEST_F(ContentTest, AMissingFileIsAnEmptyMessageForRetrAndAnErrorForTop) {
    Store("m.eml", "A: 1\r\n");
    Build();
    std::filesystem::remove(Host("m.eml"));
    EXPECT_EQ(Call([&](auto& stream) { TMyServerThread::RETRMessage("1", list_, stream); }),
              "+OK 6 octets\r\n.\r\n");
    bool raised = false;
    EXPECT_EQ(Call([&](auto& stream) {
                  try {
                      TMyServerThread::TOPMessage("1 1", list_, stream);
                  } catch (const win::EFOpenError& error) {
                      EXPECT_EQ(std::string(error.what()),
                                "Cannot open file \"" + list_[0].path + "\"");
                      raised = true;
                  }
              }),
              "+OK top of message: 1\r\n");
    EXPECT_TRUE(raised);
}

}  // namespace
