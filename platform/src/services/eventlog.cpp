// The event log in machine.db. Any process may append at any time; records are never
// changed. The log has a maximum size, and the oldest records make room for new ones, as the
// Windows event log does with "overwrite events as needed".
#include "platform/eventlog.h"

#include <mutex>

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
    // The bytes the records count together, kept with each change so a report need not sum
    // the log.
    db.Exec(
        "CREATE TABLE IF NOT EXISTS event_log_size(id INTEGER PRIMARY KEY CHECK (id = 1),"
        " bytes INTEGER NOT NULL)");
}

}  // namespace schema

namespace {

// The Windows default size of the application log.
constexpr std::int64_t kDefaultMaxSize = 512 * 1024;
// A record's fixed part (EVENTLOGRECORD) besides its texts.
constexpr std::int64_t kRecordHeader = 56;

std::int64_t MaxLogSize(Db& db) {
    const std::optional<std::int32_t> size = ReadMachineDword(db, "EventLogMaxSize");
    if (!size || *size == 0) return kDefaultMaxSize;
    return static_cast<std::uint32_t>(*size);
}

// A record's size in bytes, its header size bound as ?1.
constexpr const char* kRecordSize =
    "?1 + length(CAST(time AS BLOB)) + length(CAST(source AS BLOB))"
    " + length(CAST(message AS BLOB))";

// The log's size with a record of `bytes` just added.
std::int64_t Grow(Db& db, std::int64_t bytes) {
    db.Prepare("UPDATE event_log_size SET bytes = bytes + ?1 WHERE id = 1").Bind(1, bytes).Step();
    if (db.Changes() == 0) {
        // A store made before the log kept its size: the first sum, the new record in it.
        db.Prepare(std::string("INSERT INTO event_log_size(id, bytes) SELECT 1, COALESCE(SUM(") +
                   kRecordSize + "), 0) FROM event_log")
            .Bind(1, kRecordHeader)
            .Step();
    }
    auto size = db.Prepare("SELECT bytes FROM event_log_size WHERE id = 1");
    return size.Step() ? size.Int(0) : 0;
}

// Removes the oldest records until the rest fit the maximum size; the newest always stays.
void OverwriteOldest(Db& db, std::int64_t newest, std::int64_t size) {
    std::int64_t excess = size - MaxLogSize(db);
    if (excess <= 0) return;
    auto oldest = db.Prepare(std::string("SELECT id, ") + kRecordSize +
                             " FROM event_log WHERE id < ?2 ORDER BY id");
    oldest.Bind(1, kRecordHeader).Bind(2, newest);
    std::int64_t last = 0;
    std::int64_t removed = 0;
    while (removed < excess && oldest.Step()) {
        last = oldest.Int(0);
        removed += oldest.Int(1);
    }
    db.Prepare("DELETE FROM event_log WHERE id <= ?1").Bind(1, last).Step();
    Grow(db, -removed);
}

}  // namespace

bool ReportEvent(std::string_view sourceName, WORD eventType, WORD category, DWORD eventID,
                 std::string_view message) {
    SYSTEMTIME now;
    GetLocalTime(now);
    const std::string time = DateTimeText(now);
    Db db = OpenMachineDb();
    static std::once_flag sizeKept;  // a store made before the log kept its size
    std::call_once(sizeKept, [&db] { schema::CreateEventLog(db); });
    Transaction transaction(db);
    db.Prepare(
          "INSERT INTO event_log(time, type, category, event_id, source, message)"
          " VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
        .Bind(1, time)
        .Bind(2, eventType)
        .Bind(3, category)
        .Bind(4, eventID)
        .Bind(5, sourceName)
        .Bind(6, message)
        .Step();
    const std::int64_t newest = db.LastInsertRowid();
    const auto bytes = static_cast<std::int64_t>(time.size() + sourceName.size() + message.size());
    OverwriteOldest(db, newest, Grow(db, kRecordHeader + bytes));
    transaction.Commit();
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
