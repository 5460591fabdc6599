// The machine's store: a thin RAII layer over one SQLite connection to machine.db.
//
// Every area of the platform keeps its tables here. Connections are cheap and short-lived:
// one per registry object or directory call, taken from the process's small pool of idle
// ones. Concurrent processes are normal, so every
// connection waits on a busy database instead of failing, and writers that read first
// take the write lock up front (Transaction).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct stat;

namespace win {

class StatementCache;

class SqlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A prepared statement. One that Db::Prepare handed out goes back to its connection's cache
// when destroyed, reset, so the next Prepare of the same text skips compiling it.
class Statement {
  public:
    // Takes the cache's idle statement of that text, or compiles one that returns to it.
    Statement(sqlite3* db, std::string_view sql, const std::shared_ptr<StatementCache>& cache);
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    ~Statement();

    // Binds by 1-based index; returns *this so calls chain.
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, std::span<const std::uint8_t> blob);
    Statement& BindNull(int index);

    // Runs one step: true while a row is available.
    bool Step();
    void Reset();

    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<std::uint8_t> Blob(int column) const;

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_;
    std::weak_ptr<StatementCache> cache_;
};

class Db {
  public:
    // Opens (creating when absent) the database at path, in WAL mode with a busy timeout.
    explicit Db(const std::filesystem::path& path);
    // A connection that goes back to the process's pool of idle connections when it is
    // destroyed, so the next short-lived user of the same file, on any thread, skips opening
    // it again. Nothing read through it is kept: every statement reads the store afresh.
    static Db Pooled(const std::filesystem::path& path);
    Db(Db&& other) noexcept;
    Db& operator=(Db&&) = delete;
    ~Db();

    void Exec(std::string_view sql);
    Statement Prepare(std::string_view sql);
    std::int64_t LastInsertRowid() const;
    int Changes() const;
    // True when Pooled() handed out a connection that was open already.
    bool Reused() const { return reused_; }

  private:
    Db(sqlite3* db, std::shared_ptr<StatementCache> cache, const struct stat& file, bool reused);
    static sqlite3* Open(const std::filesystem::path& path);
    bool Idle() const;

    sqlite3* db_;
    // The connection's idle prepared statements; it goes with the connection to the pool.
    std::shared_ptr<StatementCache> cache_;
    // The fork() generation the connection was opened in; one of a parent is never closed.
    unsigned generation_;
    bool pooled_ = false;
    bool reused_ = false;
    // The file the pool knows the connection by.
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// BEGIN IMMEDIATE on construction, rolled back unless Commit() was called.
class Transaction {
  public:
    explicit Transaction(Db& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void Commit();

  private:
    Db& db_;
    bool done_ = false;
};

}  // namespace win
