// Help requests and shell open as tests see them, and the help file's topics.
#include <gtest/gtest.h>

#include <string>

#include "platform/fs.h"
#include "platform/help.h"
#include "platform/shell.h"
#include "test_machine.h"

namespace {

using namespace win;

class HelpTest : public vrel::test::MachineTest {};

TEST_F(HelpTest, TopicsAreReadByNameAndContext) {
    ASSERT_TRUE(WriteWholeFile("C:\\help.ave",
                               "A preamble line.\r\n"
                               "@topic Server Status 11040\r\n"
                               "First line.\r\n"
                               "Second line.\r\n\r\n"
                               "@topic UA_PostMaster 0\n"
                               "Pick the PostMaster.\n"
                               "@topic not a header\n"));
    const auto topics = ReadHelpFile("C:\\help.ave");
    ASSERT_TRUE(topics);
    ASSERT_EQ(topics->size(), 2u);
    EXPECT_EQ((*topics)[0].name, "Server Status");
    EXPECT_EQ((*topics)[0].context, 11040);
    EXPECT_EQ((*topics)[0].body, "First line.\nSecond line.");
    EXPECT_EQ((*topics)[1].body, "Pick the PostMaster.\n@topic not a header");
    EXPECT_EQ(FindHelpTopic(*topics, {{}, 11040, {}}), &(*topics)[0]);
    EXPECT_EQ(FindHelpTopic(*topics, {{}, 0, "ua_postmaster"}), &(*topics)[1]);
    EXPECT_EQ(FindHelpTopic(*topics, {{}, 11041, {}}), nullptr);
    EXPECT_FALSE(ReadHelpFile("C:\\missing.ave"));
}

TEST(HelpRequestTest, RequestsAreRecordedWithTheHelpFile) {
    SetHelpFile("C:\\WINDOWS\\Help\\DUDARAV3.AVE");
    const HelpRecorder recorder;
    EXPECT_TRUE(HelpContext(12030));
    EXPECT_TRUE(HelpJump("AliasesOptions"));
    ASSERT_EQ(recorder.Requests().size(), 2u);
    EXPECT_EQ(recorder.Requests()[0].file, "C:\\WINDOWS\\Help\\DUDARAV3.AVE");
    EXPECT_EQ(recorder.Requests()[0].context, 12030);
    EXPECT_EQ(recorder.Requests()[1].topic, "AliasesOptions");
    EXPECT_EQ(recorder.Requests()[1].context, 0);
}

TEST(ShellExecuteTest, RequestsAreRecordedAndAnsweredWithTheGivenResult) {
    {
        const ShellRecorder recorder;
        EXPECT_GT(ShellExecute("open", "https://example.test/"), 32);
        ASSERT_EQ(recorder.Requests().size(), 1u);
        EXPECT_EQ(recorder.Requests()[0].operation, "open");
        EXPECT_EQ(recorder.Requests()[0].file, "https://example.test/");
    }
    const ShellRecorder failing(SE_ERR_NOASSOC);
    EXPECT_EQ(ShellExecute("open", "https://example.test/"), SE_ERR_NOASSOC);
}

}  // namespace
