// winhost eventlog: prints the machine's event log, oldest record first, one line each:
// date and time, type, source and message.
#include "platform/eventlog.h"

#include <cstdio>

#include "commands.h"

namespace winhost {
namespace {

const char* TypeName(win::WORD type) {
    switch (type) {
        case win::EVENTLOG_ERROR_TYPE:
            return "Error";
        case win::EVENTLOG_WARNING_TYPE:
            return "Warning";
        case win::EVENTLOG_INFORMATION_TYPE:
            return "Information";
        default:
            return "Success";
    }
}

}  // namespace

int EventLog(const Args& args) {
    if (!args.empty()) return 2;
    for (const win::EVENTLOGRECORD& record : win::ReadEventLog()) {
        std::printf("%s  %-11s  %s: %s\n", record.TimeGenerated.c_str(), TypeName(record.EventType),
                    record.SourceName.c_str(), record.Message.c_str());
    }
    return 0;
}

}  // namespace winhost
