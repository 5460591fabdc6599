#include "agent/message_agent.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "agent/mailbox.h"
#include "agent_fixture.h"
#include "platform/com.h"
#include "platform/eventlog.h"

namespace {

using vrel::test::ArrivalTest;
namespace value = vrel::settings_value;

constexpr std::int32_t kUnset = -1;

struct SortCase {
    const char* name;
    const char* recipients;
    std::map<std::string, int> copies;      // mailbox folder -> files in it
    std::optional<std::string> handedBack;  // nullopt: the message was stopped
    int received;
    int delivered;
    friend void PrintTo(const SortCase& c, std::ostream* os) { *os << c.recipients; }
};

class RecipientSortingTest : public ArrivalTest, public ::testing::WithParamInterface<SortCase> {
  protected:
    void SetUp() override {
        ArrivalTest::SetUp();
        // A local recipient who is no mail user is dropped in these cases.
        StoreNumber(value::UndeliverableMailStatus, 3);
        WriteAliases({{"postbox", "alice"}, {"a1", "a2"}, {"a2", "Bob"}, {"x", "y"}, {"y", "x"}});
    }

    // Mailbox folder -> how many files a listing finds, each checked against the message.
    static std::map<std::string, int> Copies() {
        std::map<std::string, int> copies;
        for (const std::string& user : Entries("C:\\Mail")) {
            const auto files = EmlFiles("C:\\Mail\\" + user);
            copies[user] = static_cast<int>(files.size());
            for (const std::string& file : files) {
                EXPECT_EQ(ReadFile("C:\\Mail\\" + user + "\\" + file), kContent);
            }
        }
        return copies;
    }
};

TEST_P(RecipientSortingTest, LocalMailUsersGetCopiesAndTheRestGoesBack) {
    const SortCase& c = GetParam();
    const auto message = Arrive(c.recipients);
    std::int32_t eventStatus = kUnset;
    ASSERT_EQ(vrel::TMessageAgentImpl().OnArrival(message, &eventStatus), win::S_OK);
    EXPECT_EQ(Copies(), c.copies);

    const win::Envelope envelope = message->GetEnvelope();
    const win::EnvelopeField& list = *envelope.Find("recipientlist");
    const win::EnvelopeField& status = *envelope.Find("messagestatus");
    if (c.handedBack) {
        EXPECT_EQ(list.value, win::VARIANT(*c.handedBack));
        EXPECT_TRUE(list.updated);
        EXPECT_EQ(status.value, win::VARIANT(win::cdoStatSuccess));
        EXPECT_EQ(eventStatus, win::cdoRunNextSink);
    } else {
        EXPECT_EQ(list.value, win::VARIANT(c.recipients));
        EXPECT_FALSE(list.updated);
        EXPECT_EQ(status.value, win::VARIANT(win::cdoStatAbortDelivery));
        EXPECT_EQ(eventStatus, win::cdoSkipRemainingSinks);
    }
    EXPECT_TRUE(status.updated);
    EXPECT_EQ(Counter(value::SMTPConnections), 1);
    EXPECT_EQ(Counter(value::MessagesReceived), c.received);
    EXPECT_EQ(Counter(value::MessagesDelivered), c.delivered);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RecipientSortingTest,
    ::testing::Values(
        SortCase{"TwoLocalUsersAndOneRemote",
                 "SMTP:alice@mail.test;SMTP:Bob@mail.test;SMTP:carol@remote.test;",
                 {{"alice", 1}, {"Bob", 1}},
                 "SMTP:carol@remote.test;",
                 3,
                 2},
        SortCase{"OnlyLocalUsers",
                 "SMTP:alice@mail.test;SMTP:bob@other.test;",
                 {{"alice", 1}, {"bob", 1}},
                 std::nullopt,
                 2,
                 2},
        SortCase{"DomainInCapitals", "SMTP:alice@MAIL.TEST;", {{"alice", 1}}, std::nullopt, 1, 1},
        SortCase{"LastEntryWithoutSemicolon",
                 "SMTP:dave@remote.test;SMTP:alice@mail.test",
                 {{"alice", 1}},
                 "SMTP:dave@remote.test;",
                 2,
                 1},
        SortCase{"RemoteAddressesGoBackAsTheyCame",
                 "SMTP:Dave <dave@remote.test>;SMTP:postbox@remote.test;",
                 {},
                 "SMTP:Dave <dave@remote.test>;SMTP:postbox@remote.test;",
                 2,
                 0},
        SortCase{
            "ListWithoutSmtpEntries", "alice@mail.test;bob@mail.test;", {}, std::nullopt, 0, 0},
        SortCase{"AliasAndChain",
                 "SMTP:postbox@mail.test;SMTP:a1@other.test;",
                 {{"alice", 1}, {"Bob", 1}},
                 std::nullopt,
                 2,
                 2},
        SortCase{"RepeatingChainNonUserAndNonMailAccount",
                 "SMTP:x@mail.test;SMTP:nobody@mail.test;SMTP:carol@mail.test;",
                 {},
                 std::nullopt,
                 3,
                 0},
        SortCase{"EmptyUserPart", "SMTP:@mail.test;", {}, std::nullopt, 1, 0},
        SortCase{"SameUserInTwoSpellings",
                 "SMTP:Bob@mail.test;SMTP:BOB@other.test;",
                 {{"Bob", 2}},
                 std::nullopt,
                 2,
                 2}),
    [](const ::testing::TestParamInfo<SortCase>& info) { return std::string(info.param.name); });

TEST_F(ArrivalTest, MailForBobIsFoundByALaterLookupAsbob) {
    std::int32_t eventStatus = kUnset;
    vrel::TMessageAgentImpl().OnArrival(Arrive("SMTP:Bob@mail.test;"), &eventStatus);
    const std::string folder = vrel::GetUserMailDir("bob");
    EXPECT_EQ(EmlFiles(folder).size(), 1u);
    EXPECT_EQ(Entries("C:\\Mail"), std::set<std::string>{"Bob"});
}

TEST_F(ArrivalTest, CountersFollowTheirSwitches) {
    StoreNumber(value::CountConnections, 0);
    std::int32_t eventStatus = kUnset;
    vrel::TMessageAgentImpl().OnArrival(Arrive("SMTP:alice@mail.test;SMTP:x@remote.test;"),
                                        &eventStatus);
    EXPECT_EQ(Counter(value::SMTPConnections), 0);
    EXPECT_EQ(Counter(value::MessagesReceived), 2);
    StoreNumber(value::CountConnections, 1);
    StoreNumber(value::CountMessages, 0);
    vrel::TMessageAgentImpl().OnArrival(Arrive("SMTP:alice@mail.test;"), &eventStatus);
    EXPECT_EQ(Counter(value::SMTPConnections), 1);
    EXPECT_EQ(Counter(value::MessagesReceived), 2);
    EXPECT_EQ(Counter(value::MessagesDelivered), 1);
}

TEST_F(ArrivalTest, WithoutEnvelopeFieldsTheSinkStepsAside) {
    for (const auto access : {win::EnvelopeAccess::Fails, win::EnvelopeAccess::Empty}) {
        win::Envelope envelope = win::MakeSmtpEnvelope("SMTP:alice@mail.test;", "s@x", "");
        envelope.access = access;
        const std::string file = std::string(kQueue) + "\\m.eml";
        std::ofstream(win::ToHostPath(file)) << kContent;
        const auto message = win::OpenMessage(file, envelope);
        std::int32_t eventStatus = kUnset;
        EXPECT_EQ(vrel::TMessageAgentImpl().OnArrival(message, &eventStatus), win::S_OK);
        EXPECT_EQ(eventStatus, kUnset);
        EXPECT_EQ(message->GetEnvelope(), envelope);
    }
    EXPECT_EQ(Counter(value::SMTPConnections), 2);
    EXPECT_EQ(Counter(value::MessagesReceived), 0);
    EXPECT_FALSE(HostExists("C:\\Mail"));
    EXPECT_FALSE(HostExists("C:\\Logs"));
}

TEST_F(ArrivalTest, AnUnreadableRecipientListStopsTheMessageUnlogged) {
    const auto message = Arrive("SMTP:alice@mail.test;");
    win::Envelope envelope = message->GetEnvelope();
    envelope.Find("recipientlist")->readable = false;
    const auto unreadable = win::OpenMessage(std::string(kQueue) + "\\arrived.eml", envelope);
    std::int32_t eventStatus = kUnset;
    EXPECT_EQ(vrel::TMessageAgentImpl().OnArrival(unreadable, &eventStatus), win::S_OK);
    EXPECT_EQ(eventStatus, win::cdoSkipRemainingSinks);
    EXPECT_EQ(*unreadable->GetEnvelope().Find("messagestatus"),
              (win::EnvelopeField{"messagestatus", win::cdoStatAbortDelivery, true, true, true}));
    EXPECT_FALSE(HostExists("C:\\Mail"));
    EXPECT_FALSE(HostExists("C:\\Logs"));
}

TEST_F(ArrivalTest, AFieldThatCannotBeWrittenIsNotUpdatedButTheStatusIsSet) {
    win::Envelope envelope = win::MakeSmtpEnvelope("SMTP:x@remote.test;SMTP:alice@mail.test;",
                                                   "sender@remote.test", "10.0.0.5");
    envelope.Find("recipientlist")->writable = false;
    envelope.Find("messagestatus")->writable = false;
    std::ofstream(win::ToHostPath(std::string(kQueue) + "\\m.eml")) << kContent;
    const auto message = win::OpenMessage(std::string(kQueue) + "\\m.eml", envelope);
    std::int32_t eventStatus = kUnset;
    EXPECT_EQ(vrel::TMessageAgentImpl().OnArrival(message, &eventStatus), win::S_OK);
    EXPECT_EQ(eventStatus, win::cdoRunNextSink);
    EXPECT_EQ(message->GetEnvelope(), envelope);
    EXPECT_EQ(EmlFiles("C:\\Mail\\alice").size(), 1u);
}

// A copy that cannot be stored (here alice's folder is a file) must not lose the message: the
// recipient goes back to the SMTP service as it came, and the failure is logged.
TEST_F(ArrivalTest, ARecipientWhoseCopyFailsStaysWithTheSmtpService) {
    WriteAliases({{"postbox", "alice"}});
    win::ForceDirectories("C:\\Mail");
    std::ofstream(win::ToHostPath("C:\\Mail\\alice")) << "not a folder";
    const auto message =
        Arrive("SMTP:postbox@mail.test;SMTP:Bob@mail.test;SMTP:carol@remote.test;");
    std::int32_t eventStatus = kUnset;
    ASSERT_EQ(vrel::TMessageAgentImpl().OnArrival(message, &eventStatus), win::S_OK);

    EXPECT_EQ(EmlFiles("C:\\Mail\\Bob").size(), 1u);
    const win::Envelope envelope = message->GetEnvelope();
    EXPECT_EQ(envelope.Find("recipientlist")->value,
              win::VARIANT("SMTP:postbox@mail.test;SMTP:carol@remote.test;"));
    EXPECT_EQ(envelope.Find("messagestatus")->value, win::VARIANT(win::cdoStatSuccess));
    EXPECT_EQ(eventStatus, win::cdoRunNextSink);

    const std::string text =
        "The message for postbox@mail.test could not be stored in its "
        "mailbox folder; the SMTP service keeps it.";
    const std::vector<win::EVENTLOGRECORD> events = win::ReadEventLog();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].SourceName, "vrelPOP3Service.MessageAgent");
    EXPECT_EQ(events[0].EventType, win::EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(events[0].Message, text);
    EXPECT_NE(ReadFile("C:\\Logs\\POP3Srv\\261209.log").find("  error: " + text + "\r\r\n"),
              std::string::npos);
}

TEST_F(ArrivalTest, AClassLibraryErrorBecomesComErrorInformation) {
    // A counter of the wrong type raises the registry's error half-way through the list.
    StoreText(value::MessagesDelivered, "many");
    const auto message = Arrive("SMTP:x@remote.test;SMTP:alice@mail.test;SMTP:Bob@mail.test;");
    const win::Envelope before = message->GetEnvelope();
    std::int32_t eventStatus = kUnset;
    EXPECT_EQ(vrel::TMessageAgentImpl().OnArrival(message, &eventStatus), win::DISP_E_EXCEPTION);
    std::optional<win::ErrorInfo> info;
    ASSERT_EQ(win::GetErrorInfo(info), win::S_OK);
    EXPECT_EQ(*info, (win::ErrorInfo{"vrelPOP3Service.MessageAgent",
                                     "Invalid data type for 'MessagesDelivered'",
                                     win::IID_ISMTPOnArrival}));
    EXPECT_EQ(eventStatus, kUnset);
    EXPECT_EQ(message->GetEnvelope(), before);
    // What was done before the error stays done.
    EXPECT_EQ(Counter(value::SMTPConnections), 1);
    EXPECT_EQ(Counter(value::MessagesReceived), 2);
    EXPECT_TRUE(ReadFile("C:\\Logs\\POP3Srv\\261209.log").ends_with("\r\r\n"));
    EXPECT_FALSE(HostExists("C:\\Mail"));
}

}  // namespace
