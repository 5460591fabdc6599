#include "agent/undeliverable.h"

#include <gtest/gtest.h>

#include <vector>

#include "agent/message_agent.h"
#include "agent_fixture.h"

namespace {

using vrel::test::ArrivalTest;
namespace value = vrel::settings_value;

constexpr const char* kFailureText =
    "This is an automatically generated Delivery Status Notification.<br><br>"
    "Delivery to the following recipients failed.<br><br>"
    "alice@mail.test, Bob@mail.test<br><br>";

class UndeliverableTest : public ArrivalTest {
  protected:
    // Runs the sink for the list; the local non-users in it must not be handed back.
    static void Deliver(const std::string& recipients,
                        const std::string& content = ArrivalTest::kContent,
                        const std::string& sender = "sender@remote.test") {
        const auto message = Arrive(recipients, content, "10.0.0.5", sender);
        std::int32_t eventStatus = -1;
        ASSERT_EQ(vrel::TMessageAgentImpl().OnArrival(message, &eventStatus), win::S_OK);
        EXPECT_EQ(eventStatus, win::cdoSkipRemainingSinks);
    }

    // The notices the SMTP service would pick up, read back as messages.
    static std::vector<std::shared_ptr<win::IMessage>> Notices() {
        std::vector<std::shared_ptr<win::IMessage>> notices;
        for (const std::string& name : Entries(kPickup)) {
            notices.push_back(win::OpenMessage(std::string(kPickup) + "\\" + name, {}));
        }
        return notices;
    }

    static std::string Text(win::HRESULT (win::IMessage::*read)(std::string&),
                            win::IMessage& message) {
        std::string text;
        EXPECT_EQ((message.*read)(text), win::S_OK);
        return text;
    }
};

struct ModeCase {
    std::int32_t mode;
    std::size_t badMailCopies;
    std::size_t notices;
    friend void PrintTo(const ModeCase& c, std::ostream* os) { *os << "mode " << c.mode; }
};

class UndeliverableModeTest : public UndeliverableTest,
                              public ::testing::WithParamInterface<ModeCase> {};

TEST_P(UndeliverableModeTest, EachModeKeepsSendsOrDrops) {
    StoreNumber(value::UndeliverableMailStatus, GetParam().mode);
    StoreText(value::PostMaster, "alice@mail.test");
    Deliver("SMTP:nobody@mail.test;");
    EXPECT_EQ(Entries(kBadMail).size(), GetParam().badMailCopies);
    EXPECT_EQ(Entries(kPickup).size(), GetParam().notices);
    EXPECT_FALSE(HostExists("C:\\Mail"));
}

INSTANTIATE_TEST_SUITE_P(Modes, UndeliverableModeTest,
                         ::testing::Values(ModeCase{0, 1, 0}, ModeCase{1, 0, 1}, ModeCase{2, 0, 1},
                                           ModeCase{3, 0, 0}, ModeCase{7, 0, 0},
                                           ModeCase{-1, 0, 0}));

TEST_F(UndeliverableTest, BadMailNamesHoldNoHourOrMinute) {
    Deliver("SMTP:nobody@mail.test;SMTP:ghost@other.test;");
    SetFixedTime("2026-12-09T10:15:10.001");
    Deliver("SMTP:nobody@mail.test;");
    SetFixedTime("2026-12-09T10:15:11.001");
    Deliver("SMTP:nobody@mail.test;");
    EXPECT_EQ(Entries(kBadMail),
              (std::set<std::string>{"261209100010000000001.eml", "261209100010000000002.eml",
                                     "261209100010000000003.eml", "261209110010000000001.eml"}));
    EXPECT_EQ(ReadFile(std::string(kBadMail) + "\\261209100010000000003.eml"), kContent);
}

TEST_F(UndeliverableTest, WithoutABadMailFolderNothingIsKept) {
    std::shared_ptr<win::IIsObject> service;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost/smtpsvc", service), win::S_OK);
    ASSERT_EQ(service->Delete("IIsSmtpServer", "1"), win::S_OK);
    CreateNode("/smtpsvc", "IIsSmtpServer", "1", {{"DefaultDomain", "mail.test"}});
    CreateNode("/smtpsvc/1", "IIsSmtpDomain", "Domain");
    Deliver("SMTP:nobody@mail.test;");

    CreateNode("/smtpsvc", "IIsSmtpServer", "2");  // only to prove nothing went anywhere
    std::shared_ptr<win::IIsObject> server;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost/smtpsvc/1", server), win::S_OK);
    server->Put("BadMailDirectory", "C:\\NoSuchFolder");
    ASSERT_EQ(server->SetInfo(), win::S_OK);
    Deliver("SMTP:nobody@mail.test;");
    EXPECT_EQ(Entries(kBadMail), std::set<std::string>{});
    EXPECT_FALSE(HostExists("C:\\NoSuchFolder"));
}

TEST_F(UndeliverableTest, ReturnToSenderRepliesWithTheFailureText) {
    StoreNumber(value::UndeliverableMailStatus, 1);
    std::shared_ptr<win::IMessage> reply;
    ASSERT_EQ(Arrive("")->Reply(reply), win::S_OK);
    const std::string replyBody = Text(&win::IMessage::get_HTMLBody, *reply);

    Deliver("SMTP:nobody@mail.test;SMTP:ghost@mail.test;SMTP:x@other.test;");
    const auto notices = Notices();
    ASSERT_EQ(notices.size(), 3u);
    for (const auto& notice : notices) {
        EXPECT_EQ(Text(&win::IMessage::get_To, *notice), "sender@remote.test");
        EXPECT_EQ(Text(&win::IMessage::get_From, *notice), "PostMaster@mail.test");
        EXPECT_EQ(Text(&win::IMessage::get_Subject, *notice),
                  "Delivery Status Notification (Failure)");
        EXPECT_TRUE(Text(&win::IMessage::get_HTMLBody, *notice)
                        .starts_with(std::string(kFailureText) + replyBody));
    }
}

TEST_F(UndeliverableTest, ALocalSenderGetsANoticeOnlyWhenAMailUser) {
    StoreNumber(value::UndeliverableMailStatus, 1);
    WriteAliases({{"info", "alice"}, {"gone", "ghost"}});
    const struct {
        const char* sender;
        std::size_t notices;
    } cases[] = {{"ghost@mail.test", 0},
                 {"ghost@OTHER.test", 0},
                 {"gone@mail.test", 0},
                 {"alice@mail.test", 1},
                 {"INFO@mail.test", 2}};
    for (const auto& c : cases) {
        Deliver("SMTP:nobody@mail.test;", kContent, c.sender);
        EXPECT_EQ(Entries(kPickup).size(), c.notices) << c.sender;
    }
}

// The header is the client's to write; only the envelope says where a notice may go.
TEST_F(UndeliverableTest, TheNoticeGoesToTheEnvelopeSenderNotToTheHeader) {
    StoreNumber(value::UndeliverableMailStatus, 1);
    Deliver("SMTP:nobody@mail.test;",
            "From: victim@far.example\r\nReply-To: victim@far.example\r\n"
            "To: nobody@mail.test\r\n\r\nBuy now\r\n",
            "bounces@remote.test");
    const auto notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(Text(&win::IMessage::get_To, *notices[0]), "bounces@remote.test");
}

TEST_F(UndeliverableTest, ANoticeTravelsWithTheNullReversePath) {
    StoreNumber(value::UndeliverableMailStatus, 1);
    Deliver("SMTP:nobody@mail.test;");
    const std::set<std::string> names = Entries(kPickup);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(
        ReadFile(std::string(kPickup) + "\\" + *names.begin()).starts_with("x-sender: <>\r\n"));
}

// A message with the null reverse-path may be a notice itself: answering it could start a
// loop between two mail systems, so it is kept instead.
TEST_F(UndeliverableTest, AMessageWithTheNullReversePathCausesNoNoticeAndIsKept) {
    StoreText(value::PostMaster, "alice@mail.test");
    for (const std::int32_t mode : {1, 2}) {
        StoreNumber(value::UndeliverableMailStatus, mode);
        for (const char* sender : {"", "<>", " "}) {
            Deliver("SMTP:nobody@mail.test;", kContent, sender);
        }
    }
    EXPECT_EQ(Entries(kPickup), std::set<std::string>{});
    EXPECT_EQ(Entries(kBadMail).size(), 6u);
}

struct PostMasterCase {
    const char* postMaster;  // nullptr: the setting left at its default
    std::size_t notices;
    friend void PrintTo(const PostMasterCase& c, std::ostream* os) {
        *os << (c.postMaster ? c.postMaster : "(default)");
    }
};

class PostMasterTest : public UndeliverableTest,
                       public ::testing::WithParamInterface<PostMasterCase> {};

// The default postmaster, administrator@ the default domain, is usually no mail user.
TEST_P(PostMasterTest, TheForwardIsSentOnlyWhereSomebodyCanReadIt) {
    StoreNumber(value::UndeliverableMailStatus, 2);
    WriteAliases({{"boss", "Bob"}});
    if (GetParam().postMaster) StoreText(value::PostMaster, GetParam().postMaster);
    Deliver("SMTP:nobody@mail.test;");
    EXPECT_EQ(Entries(kPickup).size(), GetParam().notices);
    EXPECT_EQ(Entries(kBadMail), std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(PostMasters, PostMasterTest,
                         ::testing::Values(PostMasterCase{nullptr, 0},
                                           PostMasterCase{"ghost@mail.test", 0},
                                           PostMasterCase{"ghost@other.test", 0},
                                           PostMasterCase{"alice@mail.test", 1},
                                           PostMasterCase{"The Boss <boss@mail.test>", 1},
                                           PostMasterCase{"pm@remote.test", 1}));

TEST_F(UndeliverableTest, ForwardToPostMasterSendsTheMessageWithTheFailureText) {
    StoreNumber(value::UndeliverableMailStatus, 2);
    StoreText(value::PostMaster, "pm@remote.test");
    std::shared_ptr<win::IMessage> forward;
    ASSERT_EQ(Arrive("")->Forward(forward), win::S_OK);
    const std::string forwardBody = Text(&win::IMessage::get_HTMLBody, *forward);

    Deliver("SMTP:nobody@mail.test;");
    const auto notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(Text(&win::IMessage::get_To, *notices[0]), "pm@remote.test");
    EXPECT_EQ(Text(&win::IMessage::get_From, *notices[0]), "PostMaster@mail.test");
    EXPECT_EQ(Text(&win::IMessage::get_Subject, *notices[0]),
              "Delivery Status Notification (Failure)");
    EXPECT_TRUE(Text(&win::IMessage::get_HTMLBody, *notices[0])
                    .starts_with(std::string(kFailureText) + forwardBody));
}

}  // namespace
