// The machine's event log: records in order, and a full log that overwrites its oldest.
#include "platform/eventlog.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "test_machine.h"

namespace {

using namespace win;

class EventLogTest : public vrel::test::MachineTest {
  protected:
    static void SetMaxSize(std::int32_t bytes) {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true));
        registry.WriteInteger("EventLogMaxSize", bytes);
    }

    // Reports events 1 to count, each message `size` bytes long and ending in its number.
    static void Report(int count, std::size_t size) {
        for (int n = 1; n <= count; ++n) {
            std::string message = std::to_string(n);
            message.insert(0, size - message.size(), '.');
            ASSERT_TRUE(ReportEvent("svc", EVENTLOG_ERROR_TYPE, 0, 0, message));
        }
    }

    // The numbers of the events the log keeps, oldest first.
    static std::vector<int> Kept() {
        std::vector<int> numbers;
        for (const EVENTLOGRECORD& record : ReadEventLog()) {
            numbers.push_back(std::stoi(record.Message.substr(record.Message.rfind('.') + 1)));
        }
        return numbers;
    }

    static std::vector<int> Range(int first, int last) {
        std::vector<int> numbers;
        for (int n = first; n <= last; ++n) numbers.push_back(n);
        return numbers;
    }
};

TEST_F(EventLogTest, AFullLogOverwritesItsOldestRecords) {
    SetMaxSize(1000);
    Report(20, 200);  // about 280 bytes a record with its header, time and source
    EXPECT_EQ(Kept(), Range(18, 20));
    const std::vector<EVENTLOGRECORD> records = ReadEventLog();
    EXPECT_LT(records.front().RecordNumber, records.back().RecordNumber);
    EXPECT_EQ(records.back().RecordNumber, 20);
}

TEST_F(EventLogTest, TheDefaultMaximumIsHalfAMegabyte) {
    Report(60, 10000);
    EXPECT_EQ(Kept(), Range(9, 60));  // 52 records of about 10 KB
}

TEST_F(EventLogTest, ARecordLargerThanTheLogStaysAlone) {
    SetMaxSize(1000);
    Report(3, 100);
    Report(1, 5000);
    EXPECT_EQ(Kept(), std::vector<int>{1});
    EXPECT_EQ(ReadEventLog().back().RecordNumber, 4);
}

}  // namespace
