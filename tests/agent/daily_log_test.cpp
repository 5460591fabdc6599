#include "agent/daily_log.h"

#include <gtest/gtest.h>

#include "agent_fixture.h"

namespace {

using vrel::test::AgentTest;

constexpr const char* kLogFolder = "C:\\Logs\\Deep\\POP3Srv";
constexpr const char* kTodaysLog = "C:\\Logs\\Deep\\POP3Srv\\261209.log";

class DailyLogTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        StoreNumber(vrel::settings_value::LoggingEnabled, 1);
        StoreText(vrel::settings_value::LogFileLocation, "C:\\Logs\\Deep");
    }

    // The header as the file stores it: the text-mode stream turns its CR LF into CR CR LF.
    static std::string StoredHeader(const std::string& product, const std::string& dateTime) {
        return product + " " + vrel::GetVersionText() + " - Opening new log file:  " + dateTime +
               "\r\r\n";
    }
};

TEST_F(DailyLogTest, LoggingOffOrAbsentTouchesNothing) {
    StoreNumber(vrel::settings_value::LoggingEnabled, 0);
    vrel::WriteLog("line\n");
    EXPECT_FALSE(HostExists("C:\\Logs"));
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, false));
    ASSERT_TRUE(registry.DeleteValue(vrel::settings_value::LoggingEnabled));
    vrel::WriteLog("line\n");
    EXPECT_FALSE(HostExists("C:\\Logs"));
}

TEST_F(DailyLogTest, FirstWriteOfTheDayStartsTheFileWithItsHeaderOnce) {
    vrel::WriteLog("first\n");
    SetFixedTime("2026-12-09T23:59:59.999");
    vrel::WriteLog("second 100% sure\r\n");
    EXPECT_EQ(ReadFile(kTodaysLog), StoredHeader("Vrel POP3 Server", "12/9/2026 10:10:10 AM") +
                                        "first\r\nsecond 100% sure\r\r\n");
    EXPECT_EQ(Entries(kLogFolder), std::set<std::string>{"261209.log"});
}

TEST_F(DailyLogTest, AWriteAfterMidnightStartsTheNextDaysFile) {
    vrel::WriteLog("late");
    SetFixedTime("2026-12-10T00:00:00.000");
    vrel::WriteLog("early");
    EXPECT_EQ(ReadFile(kTodaysLog),
              StoredHeader("Vrel POP3 Server", "12/9/2026 10:10:10 AM") + "late");
    EXPECT_EQ(ReadFile("C:\\Logs\\Deep\\POP3Srv\\261210.log"),
              StoredHeader("Vrel POP3 Server", "12/10/2026 12:00:00 AM") + "early");
}

TEST_F(DailyLogTest, TheHeaderNamesTheWritingProgram) {
    UseVersionBlockOf("popservice");
    vrel::WriteLog("");
    EXPECT_EQ(ReadFile(kTodaysLog), StoredHeader("Vrel POP3 Service", "12/9/2026 10:10:10 AM"));
}

TEST_F(DailyLogTest, WithoutALocationTheLogGoesBelowTheSystemFolder) {
    StoreText(vrel::settings_value::LogFileLocation, "");
    vrel::WriteLog("x");
    EXPECT_EQ(vrel::GetLogFilePath("261209.log"),
              "C:\\WINDOWS\\system32\\LogFiles\\POP3Srv\\261209.log");
    EXPECT_TRUE(ReadFile("C:\\WINDOWS\\system32\\LogFiles\\POP3Srv\\261209.log").ends_with("x"));
}

TEST_F(DailyLogTest, GetLogFilePathStartsAnyNamedFileWithTheHeader) {
    StoreNumber(vrel::settings_value::LoggingEnabled, 0);
    EXPECT_EQ(vrel::GetLogFilePath("other.txt"), "C:\\Logs\\Deep\\POP3Srv\\other.txt");
    EXPECT_EQ(ReadFile("C:\\Logs\\Deep\\POP3Srv\\other.txt"),
              StoredHeader("Vrel POP3 Server", "12/9/2026 10:10:10 AM"));
}

TEST_F(DailyLogTest, AnUnwritableFolderIsSilent) {
    // A file where the log folder should be: neither folder nor log can be made.
    ASSERT_TRUE(std::filesystem::create_directories(machine_.DriveC() / "Logs"));
    std::ofstream(machine_.DriveC() / "Logs" / "Deep") << "in the way";
    EXPECT_NO_THROW(vrel::WriteLog("lost"));
    EXPECT_EQ(ReadFile("C:\\Logs\\Deep"), "in the way");
}

}  // namespace
