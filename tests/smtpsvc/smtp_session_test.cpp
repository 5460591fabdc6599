// Tests of the ESMTP session of the SMTP service stand-in: the replies of a conversation
// fed as bytes, in one piece and byte by byte, with the limits that bound what a client can
// make the service hold.
#include "smtp_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "smtp_address.h"

namespace smtpsvc {
namespace {

// A message as the host stored it.
struct Stored {
    ReceivedMessage envelope;
    std::string content;
};

class RecordingHost : public SessionHost {
  public:
    bool IsLocalDomain(std::string_view domain) override {
        return win::SameText(domain, "example.test");
    }
    std::unique_ptr<MessageText> BeginMessage() override {
        if (!begin) return nullptr;
        return std::make_unique<Text>(*this);
    }
    bool begin = true;   // a text can be had
    bool append = true;  // the text can be written
    bool accept = true;  // the message can be committed
    std::vector<Stored> queued;
    int open = 0;             // texts begun and not yet let go
    std::size_t written = 0;  // bytes handed on to the texts, over all messages

  private:
    class Text : public MessageText {
      public:
        explicit Text(RecordingHost& host) : host_(host) { ++host_.open; }
        ~Text() override { --host_.open; }
        bool Append(std::string_view text) override {
            host_.written += text.size();
            content_.append(text);
            return host_.append;
        }
        bool Commit(const ReceivedMessage& message) override {
            if (!host_.accept) return false;
            host_.queued.push_back(Stored{message, content_});
            return true;
        }

      private:
        RecordingHost& host_;
        std::string content_;
    };
};

// The codes of the final lines of the replies ("250-..." lines of a multi-line reply
// are left out), joined by blanks.
std::string Codes(const std::string& replies) {
    std::string codes;
    std::size_t start = 0;
    for (std::size_t end = replies.find("\r\n"); end != std::string::npos;
         start = end + 2, end = replies.find("\r\n", start)) {
        if (end - start >= 4 && replies[start + 3] == '-') continue;
        codes += (codes.empty() ? "" : " ") + replies.substr(start, 3);
    }
    return codes;
}

struct Conversation {
    const char* name;
    std::string input;
    std::string codes;
    bool loopback = false;
};

std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) repeated += text;
    return repeated;
}

const std::string kHello = "EHLO client.test\r\n";
const std::string kMail = "MAIL FROM:<a@sender.test>\r\n";
const std::string kRcpt = "RCPT TO:<b@example.test>\r\n";

class SessionTest : public ::testing::TestWithParam<Conversation> {};

TEST_P(SessionTest, RepliesInOnePieceAndByteByByte) {
    const Conversation& c = GetParam();
    RecordingHost host;
    SmtpSession whole(host, "mail.example.test", "192.0.2.7", c.loopback, SessionLimits{});
    EXPECT_EQ(Codes(whole.Receive(c.input)), c.codes);

    RecordingHost slowHost;
    SmtpSession slow(slowHost, "mail.example.test", "192.0.2.7", c.loopback, SessionLimits{});
    std::string replies;
    for (const char byte : c.input) replies += slow.Receive(std::string_view(&byte, 1));
    EXPECT_EQ(Codes(replies), c.codes);
    EXPECT_EQ(host.queued.size(), slowHost.queued.size());
}

INSTANTIATE_TEST_SUITE_P(
    Conversations, SessionTest,
    ::testing::Values(
        Conversation{"Mail",
                     kHello + kMail + kRcpt + "DATA\r\nSubject: x\r\n\r\nbody\r\n.\r\nQUIT\r\n",
                     "250 250 250 354 250 221"},
        Conversation{"HeloAndLowerCase",
                     "helo c\r\nmail from: <a@b.test>\r\nrcpt to:<b@EXAMPLE.test>\r\n",
                     "250 250 250"},
        Conversation{
            "BarePathsAndParameters",
            kHello + "MAIL FROM:a@b.test SIZE=10 BODY=8BITMIME\r\nRCPT TO:b@example.test\r\n",
            "250 250 250"},
        Conversation{"NullSender", kHello + "MAIL FROM:<>\r\n" + kRcpt, "250 250 250"},
        Conversation{"SequenceErrors",
                     kMail + kHello + kRcpt + "DATA\r\n" + kMail + kMail + "DATA\r\n",
                     "503 250 503 503 250 503 503"},
        Conversation{
            "SyntaxErrors",
            "HELO\r\nEHLO\r\n" + kHello + "MAIL TO:<a@b>\r\nMAIL FROM:<a@b\r\n" + kMail +
                "RCPT TO:<nobody>\r\nRCPT TO:<@x.test>\r\nRCPT TO:<b@example.test> X=1\r\n",
            "501 501 250 501 501 250 501 501 501"},
        Conversation{"OtherCommands",
                     "NOOP\r\nRSET\r\nVRFY bob\r\nHELP\r\nEXPN list\r\nSTARTTLS\r\nFOO\r\n\r\n",
                     "250 250 252 214 502 502 500 500"},
        Conversation{"ControlCharacters", std::string("NO\0OP\r\nNO\x01OP\r\n", 14), "500 500"},
        Conversation{"RelayRefused", kHello + kMail + "RCPT TO:<x@remote.test>\r\n" + kRcpt,
                     "250 250 550 250"},
        Conversation{"LoopbackRelays", kHello + kMail + "RCPT TO:<x@remote.test>\r\n",
                     "250 250 250", true},
        // A path that hides a second address behind a special is refused before the relay
        // check could look at the wrong domain.
        Conversation{"HiddenAddressesRefused",
                     kHello + kMail + "RCPT TO:<far@remote.test;x@example.test>\r\n" +
                         "RCPT TO:<far@remote.test;SMTP:b@example.test>\r\n" +
                         "RCPT TO:far@remote.test,x@example.test\r\n" +
                         "RCPT TO:<\"far;x\"@example.test>\r\n" +
                         "RCPT TO:<@remote.test;x:b@example.test>\r\n" + kRcpt,
                     "250 250 501 501 501 501 501 250"},
        Conversation{"HiddenAddressesRefusedOnLoopback",
                     kHello + "MAIL FROM:<a@b.test;SMTP:c@d.test>\r\n" + kMail +
                         "RCPT TO:<far@remote.test;SMTP:b@example.test>\r\n",
                     "250 501 250 501", true},
        Conversation{"UnknownParameter", kHello + "MAIL FROM:<a@b.test> AUTH=<>\r\n", "250 555"},
        Conversation{"DeclaredSizeTooBig",
                     kHello + "MAIL FROM:<a@b.test> SIZE=99999999999999999999\r\n" +
                         "MAIL FROM:<a@b.test> SIZE=2097153\r\n" + kMail,
                     "250 552 552 250"},
        Conversation{"LineTooLong",
                     std::string(600, 'A') + "\r\nNOOP\r\n" + std::string(509, 'N') + "\r\n",
                     "500 250 500"},
        Conversation{"RsetEndsTheTransaction", kHello + kMail + kRcpt + "RSET\r\nDATA\r\n" + kMail,
                     "250 250 250 250 503 250"},
        Conversation{"QuitEndsTheSession", "QUIT\r\nNOOP\r\n", "221"},
        Conversation{"TooManyErrors", Repeat("BAD\r\n", 11),
                     "500 500 500 500 500 500 500 500 500 500 421"}),
    [](const ::testing::TestParamInfo<Conversation>& info) { return info.param.name; });

struct Received {
    std::vector<Stored> queued;
    std::string codes;
};

Received Send(const std::string& input, SessionLimits limits = SessionLimits{}) {
    RecordingHost host;
    SmtpSession session(host, "mail.example.test", "192.0.2.7", false, limits);
    Received result;
    result.codes = Codes(session.Receive(input));
    result.queued = host.queued;
    return result;
}

std::string Body(const Stored& message) {
    const std::size_t end = message.content.find("\r\n", message.content.find("\r\n") + 2);
    return message.content.substr(end + 2);
}

TEST(SessionData, IsUnstuffedAndGetsCrLfLineEnds) {
    // Only CR LF ends a line: a dot after a bare LF or CR is text.
    const Received r = Send(kHello + kMail + kRcpt + "RCPT TO:<c@example.test>\r\nDATA\r\n" +
                            "Subject: x\n\r..one\r\n..\r\n...\n.x\r\n.\r\n");
    ASSERT_EQ(r.codes, "250 250 250 250 354 250");
    ASSERT_EQ(r.queued.size(), 1u);
    const Stored& m = r.queued[0];
    EXPECT_EQ(m.envelope.sender, "a@sender.test");
    EXPECT_EQ(m.envelope.recipients,
              (std::vector<std::string>{"b@example.test", "c@example.test"}));
    EXPECT_EQ(m.envelope.clientIp, "192.0.2.7");
    EXPECT_TRUE(
        m.content.starts_with("Received: from client.test ([192.0.2.7]) by mail.example.test"))
        << m.content;
    EXPECT_EQ(Body(m), "Subject: x\r\n\r\n..one\r\n.\r\n..\r\n.x\r\n");
}

TEST(SessionData, LongLinesKeepTheirDotsAndLineEnds) {
    const std::string longLine = ".." + std::string(5000, 'a') + ".";
    RecordingHost host;
    SmtpSession session(host, "h", "127.0.0.1", true, SessionLimits{});
    std::string input = kHello + kMail + kRcpt + "DATA\r\n" + longLine + "\r\n.\r\n";
    // Pieces that end between CR and LF.
    std::string replies;
    for (std::size_t at = 0; at < input.size(); at += 1001) {
        replies += session.Receive(std::string_view(input).substr(at, 1001));
    }
    EXPECT_EQ(Codes(replies), "250 250 250 354 250");
    ASSERT_EQ(host.queued.size(), 1u);
    EXPECT_EQ(Body(host.queued[0]), longLine.substr(1) + "\r\n");
}

TEST(SessionData, OverTheSizeLimitIsRefusedAndNothingQueued) {
    SessionLimits limits;
    limits.maxMessageSize = 100;
    const Received r = Send(kHello + kMail + kRcpt + "DATA\r\n" + std::string(200, 'x') +
                                "\r\n.\r\nNOOP\r\n" + kMail + kRcpt + "DATA\r\nsmall\r\n.\r\n",
                            limits);
    EXPECT_EQ(r.codes, "250 250 250 354 552 250 250 250 354 250");
    ASSERT_EQ(r.queued.size(), 1u);
    EXPECT_EQ(Body(r.queued[0]), "small\r\n");
}

// A message many times the size of any buffer: its text reaches the host while it still
// arrives, and arrives whole, unstuffed and with CR LF line ends.
TEST(SessionData, TextIsPassedOnAsItArrivesAndStaysWhole) {
    RecordingHost host;
    SessionLimits limits;
    limits.maxMessageSize = 4u << 20;
    SmtpSession session(host, "h", "127.0.0.1", true, limits);
    std::string sent;
    std::string expected;
    for (int n = 0; n < 20000; ++n) {
        sent += ".." + std::to_string(n) + " a line\r\nbare\nend\r\n";
        expected += "." + std::to_string(n) + " a line\r\nbare\r\nend\r\n";
    }
    ASSERT_EQ(Codes(session.Receive(kHello + kMail + kRcpt + "DATA\r\n")), "250 250 250 354");
    constexpr std::size_t kPiece = 4093;
    for (std::size_t at = 0; at < sent.size(); at += kPiece) {
        EXPECT_EQ(session.Receive(std::string_view(sent).substr(at, kPiece)), "");
        const auto held = static_cast<std::ptrdiff_t>(std::min(at + kPiece, sent.size())) -
                          static_cast<std::ptrdiff_t>(host.written);
        EXPECT_LE(held, static_cast<std::ptrdiff_t>(2 * kTextPiece)) << at;
    }
    EXPECT_EQ(Codes(session.Receive(".\r\n")), "250");
    ASSERT_EQ(host.queued.size(), 1u);
    EXPECT_EQ(Body(host.queued[0]), expected);
}

const std::string kLine = std::string(998, 'x') + "\r\n";

// A text no 250 acknowledges is let go, so the host can remove what it wrote: as soon as
// it passes the size limit, when its session ends in the middle, when it cannot be written.
TEST(SessionData, ATextNotAcknowledgedIsLetGo) {
    const std::string start = kHello + kMail + kRcpt + "DATA\r\n";
    SessionLimits limits;
    limits.maxMessageSize = 3 * kTextPiece;
    {
        RecordingHost host;
        SmtpSession session(host, "h", "127.0.0.1", true, limits);
        session.Receive(start + Repeat(kLine, 100));
        EXPECT_EQ(host.open, 1);
        session.Receive(Repeat(kLine, 200));
        EXPECT_EQ(host.open, 0) << "over the limit";
        EXPECT_EQ(Codes(session.Receive(".\r\n")), "552");
    }
    {
        RecordingHost host;
        {
            SmtpSession session(host, "h", "127.0.0.1", true, limits);
            session.Receive(start + Repeat(kLine, 100));
            EXPECT_EQ(host.open, 1);
        }
        EXPECT_EQ(host.open, 0) << "ended in the middle";
    }
    {
        RecordingHost host;
        host.append = false;
        SmtpSession session(host, "h", "127.0.0.1", true, limits);
        session.Receive(start + Repeat(kLine, 100));
        EXPECT_EQ(host.open, 0) << "not written";
        EXPECT_EQ(Codes(session.Receive(".\r\n")), "451");
        EXPECT_TRUE(host.queued.empty());
    }
}

TEST(SessionData, RecipientsAreBounded) {
    SessionLimits limits;
    limits.maxRecipients = 2;
    EXPECT_EQ(Send(kHello + kMail + kRcpt + "RCPT TO:<c@example.test>\r\n" +
                       "RCPT TO:<d@example.test>\r\n",
                   limits)
                  .codes,
              "250 250 250 250 452");
}

TEST(SessionData, OneRecipientPerRcptAndEachOnce) {
    SessionLimits limits;
    limits.maxRecipients = 2;
    const Received r =
        Send(kHello + kMail + "RCPT TO:<b@example.test;c@example.test>\r\n" +
                 "RCPT TO:<B@Example.Test>\r\n" + kRcpt +
                 "RCPT TO:<c@example.test>\r\nRCPT TO:<d@example.test>\r\n" + "DATA\r\nx\r\n.\r\n",
             limits);
    EXPECT_EQ(r.codes, "250 250 501 250 250 250 452 354 250");
    ASSERT_EQ(r.queued.size(), 1u);
    EXPECT_EQ(r.queued[0].envelope.recipients,
              (std::vector<std::string>{"B@Example.Test", "c@example.test"}));
}

// A "." line that ends in a bare LF or CR, or follows one, is text: the commands after it
// are part of the message and no second transaction with a forged sender begins.
TEST(SessionData, OnlyCrLfDotCrLfEndsTheMessage) {
    const std::string forged =
        "MAIL FROM:<boss@example.test>\r\nRCPT TO:<c@example.test>\r\n"
        "DATA\r\nforged\r\n";
    for (const std::string end : {"\n.\n", "\n.\r\n", "\r\n.\n", "\r.\r", "\r\n.\r"}) {
        const Received r = Send(kHello + kMail + kRcpt + "DATA\r\nhi" + end + forged + ".\r\n");
        EXPECT_EQ(r.codes, "250 250 250 354 250") << testing::PrintToString(end);
        ASSERT_EQ(r.queued.size(), 1u);
        EXPECT_EQ(r.queued[0].envelope.sender, "a@sender.test");
        const std::string body = Body(r.queued[0]);
        EXPECT_TRUE(body.starts_with("hi\r\n")) << body;
        EXPECT_TRUE(body.ends_with("\r\n" + forged)) << body;
        EXPECT_EQ(body.find("\r\r"), std::string::npos) << body;
        EXPECT_EQ(body.find("\n\n"), std::string::npos) << body;
    }
}

struct AddressCase {
    std::string path;
    std::string mailbox;  // "" when the path is refused
};

TEST(Addresses, PathsAreTakenAsTheGrammarSays) {
    const AddressCase cases[] = {
        {"a@b.test", "a@b.test"},
        {"Jo.O'Neil+tag@mail-1.Example.TEST", "Jo.O'Neil+tag@mail-1.Example.TEST"},
        {"!#$%&*/=?^_`{|}~-@x9", "!#$%&*/=?^_`{|}~-@x9"},
        {"\"john doe, \\\"jr\\\"\"@example.test", "\"john doe, \\\"jr\\\"\"@example.test"},
        {"a@[192.0.2.1]", "a@[192.0.2.1]"},
        {"a@[IPv6:2001:db8::1]", "a@[IPv6:2001:db8::1]"},
        {"@one.test,@two.test:a@b.test", "a@b.test"},
        {"a;b@x.test", ""},
        {"a@x.test;SMTP:b@y.test", ""},
        {"\"a;b\"@x.test", ""},
        {"\"open@x.test", ""},
        {"a b@x.test", ""},
        {"a,b@x.test", ""},
        {"a@b@x.test", ""},
        {"a..b@x.test", ""},
        {".a@x.test", ""},
        {"a.@x.test", ""},
        {"@x.test", ""},
        {"a@", ""},
        {"a", ""},
        {"a@-x.test", ""},
        {"a@x-.test", ""},
        {"a@x..test", ""},
        {"a@x.test.", ""},
        {"a@x_y.test", ""},
        {"a@\xc3\xa9.test", ""},
        {"a@[256.1.1.1]", ""},
        {"a@[1.2.3]", ""},
        {"a@[1.2.3.4.5]", ""},
        {"a@[0001.2.3.4]", ""},
        {"a@[IPv6:zz::1]", ""},
        {"a@[tag:;SMTP:b@y.test]", ""},
        {"@one.test:", ""},
        {"@one.test,:a@b.test", ""},
        {"@one_test:a@b.test", ""},
        {"@one.test;x:a@b.test", ""},
    };
    for (const AddressCase& c : cases) {
        const std::optional<std::string_view> mailbox = PathMailbox(c.path);
        EXPECT_EQ(mailbox.value_or(""), c.mailbox) << c.path;
    }
}

// Without a place for the text DATA is refused (and the text then read as commands); a
// message that cannot be committed is not acknowledged.
TEST(SessionData, AFailedQueueIsNotAcknowledged) {
    const struct {
        bool begin;
        bool accept;
        std::string codes;
    } cases[] = {{false, true, "250 250 250 451 500 500"}, {true, false, "250 250 250 354 451"}};
    for (const auto& c : cases) {
        RecordingHost host;
        host.begin = c.begin;
        host.accept = c.accept;
        SmtpSession session(host, "h", "127.0.0.1", true, SessionLimits{});
        EXPECT_EQ(Codes(session.Receive(kHello + kMail + kRcpt + "DATA\r\nx\r\n.\r\n")), c.codes);
        EXPECT_TRUE(host.queued.empty());
    }
}

TEST(SessionData, TimeOutClosesWith421) {
    RecordingHost host;
    SmtpSession session(host, "h", "127.0.0.1", true, SessionLimits{});
    EXPECT_TRUE(session.Greeting().starts_with("220 h "));
    EXPECT_TRUE(session.TimedOut().starts_with("421 4.4.2 "));
    EXPECT_TRUE(session.Closed());
}

}  // namespace
}  // namespace smtpsvc
