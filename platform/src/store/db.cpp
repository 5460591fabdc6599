#include "store/db.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "store/held_files.h"
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

// Bumped in the child of every fork(): a connection opened before belongs to the parent.
std::atomic<unsigned> forkGeneration{0};

// The child neither uses nor closes a connection of its parent, since closing would drop the
// parent's file locks; it is only kept reachable.
void Abandon(sqlite3* db, std::shared_ptr<StatementCache> cache) {
    static auto* const inherited =
        new std::vector<std::pair<sqlite3*, std::shared_ptr<StatementCache>>>;
    inherited->emplace_back(db, std::move(cache));
}

std::string FileName(sqlite3* db) {
    const char* name = sqlite3_db_filename(db, "main");
    return name ? name : "";
}

void Close(sqlite3* db, std::shared_ptr<StatementCache> cache, unsigned generation) {
    if (generation != forkGeneration.load()) {
        Abandon(db, std::move(cache));
        return;
    }
    const std::string name = FileName(db);
    cache.reset();
    sqlite3_close(db);
    store::NoteClosed(name);
}

// The idle connections, shared by every thread of the process. A connection is held only
// while a statement or a transaction uses it, so the pool needs as many as threads use the
// store at one moment, not one per thread (a session thread waiting for its client holds
// none). One handed back to a full pool is closed; but SQLite keeps the descriptors of a
// closed connection while others of the process hold locks on the file, so after such a
// burst the pool lets all its connections go once none is in use, and the descriptors with
// them.
class ConnectionPool {
  public:
    static constexpr std::size_t kIdleLimit = 4;

    struct Connection {
        sqlite3* db;
        std::shared_ptr<StatementCache> cache;
        dev_t device;
        ino_t inode;
    };

    static ConnectionPool& Instance() {
        // Leaked: pooled connections may be handed back after static destruction has begun.
        static ConnectionPool* const instance = new ConnectionPool;
        return *instance;
    }

    // An idle connection to the file, now the caller's, when there is one; either way the
    // caller holds one more connection until it gives it back.
    std::optional<Connection> Take(const struct stat& file) {
        const std::lock_guard lock(mutex_);
        LeaveInherited();
        ++inUse_;
        for (auto idle = idle_.rbegin(); idle != idle_.rend(); ++idle) {
            if (idle->device == file.st_dev && idle->inode == file.st_ino) {
                Connection connection = std::move(*idle);
                idle_.erase(std::next(idle).base());
                return connection;
            }
        }
        return std::nullopt;
    }

    // Takes back a connection of this process, kept for the next user when it is idle;
    // gives back the connections the caller is to close.
    std::vector<Connection> Give(Connection connection, bool idle) {
        const std::lock_guard lock(mutex_);
        LeaveInherited();
        --inUse_;
        std::vector<Connection> closing;
        if (idle && idle_.size() < kIdleLimit) {
            idle_.push_back(std::move(connection));
        } else {
            closing.push_back(std::move(connection));
            burst_ = true;
        }
        if (burst_ && inUse_ == 0) {
            std::move(idle_.begin(), idle_.end(), std::back_inserter(closing));
            idle_.clear();
            burst_ = false;
        }
        return closing;
    }

    // The caller holds no connection after all: its open failed.
    void Forget() {
        const std::lock_guard lock(mutex_);
        LeaveInherited();
        --inUse_;
    }

  private:
    ConnectionPool() {
        // A child of fork() starts with the mutex as its parent left it: hold it over the fork.
        ::pthread_atfork([] { Instance().mutex_.lock(); }, [] { Instance().mutex_.unlock(); },
                         [] {
                             forkGeneration.fetch_add(1);
                             Instance().mutex_.unlock();
                         });
    }

    void LeaveInherited() {
        const unsigned generation = forkGeneration.load();
        if (generation == generation_) return;
        for (Connection& idle : idle_) Abandon(idle.db, std::move(idle.cache));
        idle_.clear();
        inUse_ = 0;
        burst_ = false;
        generation_ = generation;
    }

    std::mutex mutex_;
    std::vector<Connection> idle_;
    int inUse_ = 0;
    // A connection was closed while others were open.
    bool burst_ = false;
    unsigned generation_ = 0;
};

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
    store::NoteOpened(FileName(db));
    return db;
}

Db::Db(const std::filesystem::path& path)
    : db_(Open(path)), cache_(std::make_shared<StatementCache>()), generation_(forkGeneration) {}

Db::Db(sqlite3* db, std::shared_ptr<StatementCache> cache, const struct stat& file, bool reused)
    : db_(db),
      cache_(std::move(cache)),
      generation_(forkGeneration),
      pooled_(true),
      reused_(reused),
      device_(file.st_dev),
      inode_(file.st_ino) {}

Db Db::Pooled(const std::filesystem::path& path) {
    struct stat file {};
    const bool exists = ::stat(path.c_str(), &file) == 0;
    ConnectionPool& pool = ConnectionPool::Instance();
    if (auto idle = pool.Take(file)) {
        return Db(idle->db, std::move(idle->cache), file, true);
    }
    try {
        sqlite3* db = Open(path);
        // A file made by the open is known only now.
        if (!exists) ::stat(path.c_str(), &file);
        return Db(db, std::make_shared<StatementCache>(), file, false);
    } catch (...) {
        pool.Forget();
        throw;
    }
}

Db::Db(Db&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      cache_(std::move(other.cache_)),
      generation_(other.generation_),
      pooled_(other.pooled_),
      reused_(other.reused_),
      device_(other.device_),
      inode_(other.inode_) {}

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
    if (!pooled_ || generation_ != forkGeneration) {
        Close(db_, std::move(cache_), generation_);
        return;
    }
    const bool idle = Idle();
    if (idle) store::NoteReturned(FileName(db_));
    for (auto& closing :
         ConnectionPool::Instance().Give({db_, std::move(cache_), device_, inode_}, idle)) {
        Close(closing.db, std::move(closing.cache), generation_);
    }
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
