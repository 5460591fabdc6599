#include "store/db.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_map>
#include <utility>
#include <vector>

#include "store/name_collation.h"

namespace win {

// A connection's idle statements by their text; finalized with the cache. Bounded, so
// statements built from varying text do not pile up.
class StatementCache {
  public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache() {
        for (const auto& [sql, stmt] : idle_) sqlite3_finalize(stmt);
    }

    // The idle statement of that text, now the caller's; null when there is none.
    sqlite3_stmt* Take(std::string_view sql) {
        const auto found = idle_.find(std::string(sql));
        if (found == idle_.end()) return nullptr;
        sqlite3_stmt* stmt = found->second;
        idle_.erase(found);
        return stmt;
    }

    // Keeps a statement the caller has finished with, or finalizes it when the cache is full
    // or holds one of the same text.
    void Give(sqlite3_stmt* stmt) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        if (idle_.size() >= kCapacity || !idle_.emplace(sqlite3_sql(stmt), stmt).second) {
            sqlite3_finalize(stmt);
        }
    }

    std::size_t Size() const { return idle_.size(); }

  private:
    static constexpr std::size_t kCapacity = 64;
    std::unordered_map<std::string, sqlite3_stmt*> idle_;
};

namespace {

constexpr int kBusyTimeoutMs = 60000;

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
    throw SqlError(std::string(what) + ": " + sqlite3_errmsg(db));
}

// One idle connection per thread. A connection inherited through fork() belongs to the
// parent: the child neither uses nor closes it, since closing would drop the parent's file
// locks; it is only kept reachable.
struct PoolSlot {
    sqlite3* db = nullptr;
    std::shared_ptr<StatementCache> cache;
    dev_t device = 0;
    ino_t inode = 0;
    pid_t owner = 0;

    ~PoolSlot() { Drop(); }

    bool Holds(const struct stat& file) const {
        return db && owner == ::getpid() && device == file.st_dev && inode == file.st_ino;
    }

    void Drop() {
        if (db && owner == ::getpid()) {
            cache.reset();
            sqlite3_close(db);
        } else if (db) {
            static auto* inherited =
                new std::vector<std::pair<sqlite3*, std::shared_ptr<StatementCache>>>;
            inherited->emplace_back(db, std::move(cache));
        }
        db = nullptr;
    }

    void Keep(sqlite3* connection, std::shared_ptr<StatementCache> statements,
              const struct stat& file) {
        Drop();
        db = connection;
        cache = std::move(statements);
        device = file.st_dev;
        inode = file.st_ino;
        owner = ::getpid();
    }
};

thread_local PoolSlot pool;

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql,
                     const std::shared_ptr<StatementCache>& cache)
    : db_(db), stmt_(cache->Take(sql)), cache_(cache) {
    if (stmt_) return;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
        Fail(db_, "prepare");
    }
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)), cache_(std::move(other.cache_)) {}

Statement::~Statement() {
    if (!stmt_) return;
    if (const std::shared_ptr<StatementCache> cache = cache_.lock()) {
        cache->Give(stmt_);
    } else {
        sqlite3_finalize(stmt_);
    }
}

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

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, sqlite3_column_bytes(stmt_, column)) : std::string();
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return data ? std::vector<std::uint8_t>(data, data + sqlite3_column_bytes(stmt_, column))
                : std::vector<std::uint8_t>();
}

sqlite3* Db::Open(const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw SqlError("open " + path.string() + ": " + message);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (RegisterNameCollation(db) != SQLITE_OK ||
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw SqlError("open " + path.string() + ": " + message);
    }
    return db;
}

Db::Db(const std::filesystem::path& path)
    : db_(Open(path)), cache_(std::make_shared<StatementCache>()) {}

Db::Db(sqlite3* db, std::shared_ptr<StatementCache> cache, bool pooled, bool reused)
    : db_(db), cache_(std::move(cache)), pooled_(pooled), reused_(reused) {}

Db Db::Pooled(const std::filesystem::path& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) == 0 && pool.Holds(file)) {
        return Db(std::exchange(pool.db, nullptr), std::move(pool.cache), true, true);
    }
    return Db(Open(path), std::make_shared<StatementCache>(), true, false);
}

Db::Db(Db&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      cache_(std::move(other.cache_)),
      pooled_(other.pooled_),
      reused_(other.reused_) {}

// No open transaction, and no statement but the cached idle ones.
bool Db::Idle() const {
    if (!sqlite3_get_autocommit(db_)) return false;
    std::size_t statements = 0;
    for (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr); stmt;
         stmt = sqlite3_next_stmt(db_, stmt)) {
        ++statements;
    }
    return statements == cache_->Size();
}

Db::~Db() {
    if (!db_) return;
    // Only an idle connection goes back.
    struct stat file {};
    const char* path = sqlite3_db_filename(db_, "main");
    if (pooled_ && Idle() && path && ::stat(path, &file) == 0) {
        pool.Keep(db_, std::move(cache_), file);
        return;
    }
    cache_.reset();
    sqlite3_close(db_);
}

void Db::Exec(std::string_view sql) {
    std::string text(sql);
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(db_, text);
    }
}

Statement Db::Prepare(std::string_view sql) {
    return Statement(db_, sql, cache_);
}

std::int64_t Db::LastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

int Db::Changes() const {
    return sqlite3_changes(db_);
}

Transaction::Transaction(Db& db) : db_(db) {
    db_.Exec("BEGIN IMMEDIATE");
}

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
