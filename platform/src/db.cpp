#include "platform/db.h"

#include <sqlite3.h>

#include <utility>

namespace win {
namespace {

constexpr int kBusyTimeoutMs = 60000;

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
    throw SqlError(std::string(what) + ": " + sqlite3_errmsg(db));
}

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db), stmt_(nullptr) {
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
        Fail(db_, "prepare");
    }
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::Bind(int index, std::span<const std::uint8_t> blob) {
    // A zero-length blob must stay a blob, not NULL.
    static const std::uint8_t kEmpty = 0;
    const void* data = blob.empty() ? &kEmpty : blob.data();
    sqlite3_bind_blob(stmt_, index, data, static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNull(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
}

bool Statement::Step() {
    switch (sqlite3_step(stmt_)) {
        case SQLITE_ROW:
            return true;
        case SQLITE_DONE:
            return false;
        default:
            Fail(db_, "step");
    }
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, sqlite3_column_bytes(stmt_, column)) : std::string();
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return data ? std::vector<std::uint8_t>(data, data + sqlite3_column_bytes(stmt_, column))
                : std::vector<std::uint8_t>();
}

Db::Db(const std::filesystem::path& path) : db_(nullptr) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw SqlError("open " + path.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    Exec("PRAGMA synchronous=NORMAL");
}

Db::Db(Db&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Db::~Db() { sqlite3_close(db_); }

void Db::Exec(std::string_view sql) {
    std::string text(sql);
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(db_, text);
    }
}

Statement Db::Prepare(std::string_view sql) { return Statement(db_, sql); }

std::int64_t Db::LastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }

int Db::Changes() const { return sqlite3_changes(db_); }

Transaction::Transaction(Db& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (!done_) {
        try {
            db_.Exec("ROLLBACK");
        } catch (const SqlError&) {
            // The connection rolled back by itself; nothing is left to undo.
        }
    }
}

void Transaction::Commit() {
    db_.Exec("COMMIT");
    done_ = true;
}

}  // namespace win
