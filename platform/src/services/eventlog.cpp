// The event log in machine.db. Any process may append at any time; records are never
// changed. The log has a maximum size, and the oldest records make room for new ones, as the
// Windows event log does with "overwrite events as needed".
#include "platform/eventlog.h"

#include "platform/clock.h"
#include "platform/registry.h"
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

namespace {

// The Windows default size of the application log.
constexpr std::int64_t kDefaultMaxSize = 512 * 1024;
// A record's fixed part (EVENTLOGRECORD) besides its texts.
constexpr std::int64_t kRecordHeader = 56;

std::int64_t MaxLogSize(Db& db) {
    TRegistry registry(db);
    if (!registry.OpenKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine") ||
        registry.GetDataType("EventLogMaxSize") != REG_DWORD) {
        return kDefaultMaxSize;
    }
    const std::int64_t size = static_cast<std::uint32_t>(registry.ReadInteger("EventLogMaxSize"));
    return size > 0 ? size : kDefaultMaxSize;
}

// Removes the oldest records until the rest fit the maximum size; the newest always stays.
void OverwriteOldest(Db& db, std::int64_t newest) {
    db.Prepare(
          "DELETE FROM event_log WHERE id < ?2 AND id <= (SELECT id FROM (SELECT id, SUM(?3 +"
          " length(time) + length(source) + length(message)) OVER (ORDER BY id DESC) AS total"
          " FROM event_log) WHERE total > ?1 ORDER BY id DESC LIMIT 1)")
        .Bind(1, MaxLogSize(db))
        .Bind(2, newest)
        .Bind(3, kRecordHeader)
        .Step();
}

}  // namespace

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
    OverwriteOldest(db, db.LastInsertRowid());
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
