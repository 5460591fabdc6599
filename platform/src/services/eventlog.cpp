// The event log in machine.db. Any process may append at any time; records are never
// changed.
#include "platform/eventlog.h"

#include "platform/clock.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace schema {

void CreateEventLog(Db& db) {
    db.Exec(
        "CREATE TABLE IF NOT EXISTS event_log(id INTEGER PRIMARY KEY, time TEXT NOT NULL,"
        " type INTEGER NOT NULL, category INTEGER NOT NULL, event_id INTEGER NOT NULL,"
        " source TEXT NOT NULL, message TEXT NOT NULL)");
}

}  // namespace schema

bool ReportEvent(std::string_view sourceName, WORD eventType, WORD category, DWORD eventID,
                 std::string_view message) {
    SYSTEMTIME now;
    GetLocalTime(now);
    Db db = OpenMachineDb();
    db.Prepare(
          "INSERT INTO event_log(time, type, category, event_id, source, message)"
          " VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
        .Bind(1, DateTimeText(now))
        .Bind(2, eventType)
        .Bind(3, category)
        .Bind(4, eventID)
        .Bind(5, sourceName)
        .Bind(6, message)
        .Step();
    return true;
}

std::vector<EVENTLOGRECORD> ReadEventLog() {
    Db db = OpenMachineDb();
    auto select = db.Prepare(
        "SELECT id, time, type, category, event_id, source, message FROM event_log ORDER BY id");
    std::vector<EVENTLOGRECORD> records;
    while (select.Step()) {
        records.push_back({select.Int(0), select.Text(1), static_cast<WORD>(select.Int(2)),
                           static_cast<WORD>(select.Int(3)), static_cast<DWORD>(select.Int(4)),
                           select.Text(5), select.Text(6)});
    }
    return records;
}

}  // namespace win
