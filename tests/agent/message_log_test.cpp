#include "agent/message_log.h"

#include <gtest/gtest.h>

#include <optional>

#include "agent/daily_log.h"
#include "agent_fixture.h"

namespace {

using vrel::test::ArrivalTest;

constexpr const char* kLog = "C:\\Logs\\POP3Srv\\261209.log";
constexpr const char* kList = "SMTP:a%1@x.test;SMTP:b@y.test;";

struct LineCase {
    std::optional<std::int32_t> mask;  // nullopt: the value is absent
    const char* clientIp;
    const char* stored;  // what the log holds after its header, CR LF as CR CR LF
    friend void PrintTo(const LineCase& c, std::ostream* os) {
        *os << "mask " << (c.mask ? std::to_string(*c.mask) : "absent") << ", client '"
            << c.clientIp << "'";
    }
};

class MessageLogTest : public ArrivalTest, public ::testing::WithParamInterface<LineCase> {
  protected:
    // The log without its header line.
    static std::string LoggedLines() {
        const std::string log = ReadFile(kLog);
        const std::size_t headerEnd = log.find("\r\r\n");
        return headerEnd == std::string::npos ? log : log.substr(headerEnd + 3);
    }
};

TEST_P(MessageLogTest, TheMaskChoosesTheFieldsOfTheLine) {
    if (GetParam().mask) StoreNumber(vrel::settings_value::MessageEventLogOption, *GetParam().mask);
    vrel::LogMessageEvent(Arrive(kList, kContent, GetParam().clientIp));
    EXPECT_EQ(LoggedLines(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MessageLogTest,
    ::testing::Values(
        LineCase{std::nullopt, "10.0.0.5",
                 "12/9/2026 10:10:10 AM sender: 10.0.0.5] sender@remote.test recipients: "
                 "SMTP:a%1@x.test;SMTP:b@y.test;\r\r\n"},
        LineCase{31, "",
                 "12/9/2026 10:10:10 AM sender: LocalPickup] sender@remote.test "
                 "recipients: SMTP:a%1@x.test;SMTP:b@y.test;\r\r\n"},
        LineCase{0, "10.0.0.5", ""}, LineCase{8, "10.0.0.5", "sender@remote.test"},
        LineCase{16, "10.0.0.5", " recipients: SMTP:a%1@x.test;SMTP:b@y.test;\r\r\n"},
        LineCase{20, "10.0.0.5", "10.0.0.5]  recipients: SMTP:a%1@x.test;SMTP:b@y.test;\r\r\n"},
        LineCase{2, "10.0.0.5", " sender: sender@remote.test"},
        LineCase{1, "10.0.0.5", "12/9/2026 10:10:10 AM"}));

TEST_F(MessageLogTest, ALineWithoutItsLineEndIsContinuedByTheNext) {
    StoreNumber(vrel::settings_value::MessageEventLogOption, 8);
    vrel::LogMessageEvent(Arrive(kList));
    vrel::LogMessageEvent(Arrive(kList));
    EXPECT_EQ(LoggedLines(), "sender@remote.testsender@remote.test");
}

TEST_F(MessageLogTest, MissingFieldsAreLeftOutOfTheLine) {
    win::Envelope envelope = win::MakeSmtpEnvelope(kList, "s@x", "10.0.0.5");
    envelope.Find("clientipaddress")->readable = false;
    std::erase_if(envelope.fields, [](const win::EnvelopeField& field) {
        return field.name == "senderemailaddress";
    });
    Arrive(kList);
    vrel::LogMessageEvent(win::OpenMessage(std::string(kQueue) + "\\arrived.eml", envelope));
    envelope.access = win::EnvelopeAccess::Fails;
    vrel::LogMessageEvent(win::OpenMessage(std::string(kQueue) + "\\arrived.eml", envelope));
    EXPECT_EQ(LoggedLines(),
              "12/9/2026 10:10:10 AM sender:  recipients: SMTP:a%1@x.test;SMTP:b@y.test;\r\r\n"
              "12/9/2026 10:10:10 AM sender: ");
}

TEST_F(MessageLogTest, WithLoggingOffNothingIsWritten) {
    StoreNumber(vrel::settings_value::LoggingEnabled, 0);
    vrel::LogMessageEvent(Arrive(kList));
    EXPECT_FALSE(HostExists("C:\\Logs"));
}

}  // namespace
