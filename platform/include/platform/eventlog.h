// The machine's event log: the application log that services write through ReportEvent and
// that `winhost eventlog` prints. Kept in machine.db, oldest record first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winerror.h"

namespace win {

inline constexpr WORD EVENTLOG_SUCCESS = 0x0;
inline constexpr WORD EVENTLOG_ERROR_TYPE = 0x1;
inline constexpr WORD EVENTLOG_WARNING_TYPE = 0x2;
inline constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x4;

struct EVENTLOGRECORD {
    std::int64_t RecordNumber = 0;
    std::string TimeGenerated;  // the machine's local date and time text
    WORD EventType = 0;
    WORD EventCategory = 0;
    DWORD EventID = 0;
    std::string SourceName;
    std::string Message;
};

// Appends one record with the message text under the given source name.
bool ReportEvent(std::string_view sourceName, WORD eventType, WORD category, DWORD eventID,
                 std::string_view message);
std::vector<EVENTLOGRECORD> ReadEventLog();

}  // namespace win
