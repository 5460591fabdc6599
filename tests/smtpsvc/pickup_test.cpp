// Tests of reading a pickup file's envelope: the sender a notice travels with.
#include "pickup.h"

#include <gtest/gtest.h>

namespace {

struct SenderCase {
    const char* head;
    const char* sender;
    friend void PrintTo(const SenderCase& c, std::ostream* os) { *os << c.head; }
};

class PickupSenderTest : public ::testing::TestWithParam<SenderCase> {};

TEST_P(PickupSenderTest, TheSenderIsXSenderElseFrom) {
    smtpsvc::PickupMessage message;
    ASSERT_TRUE(smtpsvc::ParsePickupFile(
        std::string(GetParam().head) +
            "From: Boss <boss@here.test>\r\nTo: a@there.test\r\n\r\nHi\r\n",
        message));
    EXPECT_EQ(message.sender, GetParam().sender);
    EXPECT_EQ(message.recipients, std::vector<std::string>{"a@there.test"});
    EXPECT_TRUE(message.content.starts_with("From: Boss")) << message.content;
}

INSTANTIATE_TEST_SUITE_P(
    Heads, PickupSenderTest,
    ::testing::Values(SenderCase{"", "boss@here.test"},
                      SenderCase{"x-sender: <agent@here.test>\r\n", "agent@here.test"},
                      // The null reverse-path of a delivery notice, not the From address.
                      SenderCase{"x-sender: <>\r\n", ""}, SenderCase{"X-Sender:  <> \r\n", ""},
                      SenderCase{"x-sender: <>\r\nx-sender: b@here.test\r\n", ""},
                      // A line that names no sender is passed over.
                      SenderCase{"x-sender: nobody\r\nx-sender: c@here.test\r\n", "c@here.test"},
                      SenderCase{"x-sender:\r\n", "boss@here.test"}));

}  // namespace
