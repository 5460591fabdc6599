#include "store/held_files.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace win::store {
namespace {

struct HeldFile {
    dev_t device;
    ino_t inode;
    std::string name;
};

struct HeldDatabase {
    std::string path;
    int connections = 0;
    // Its log and shared memory were there at the last look; SQLite makes them at the first
    // read, so until then each return of a connection looks again.
    bool complete = false;
    std::vector<HeldFile> files;
};

bool Matches(const HeldFile& file, const struct stat& entry) {
    return file.device == entry.st_dev && file.inode == entry.st_ino;
}

class HeldFiles {
  public:
    static HeldFiles& Instance() {
        // Leaked: connections close after static destruction has begun.
        static HeldFiles* const instance = new HeldFiles;
        return *instance;
    }

    void Opened(std::string_view path) {
        const std::lock_guard lock(mutex_);
        HeldDatabase& database = Find(path);
        ++database.connections;
        connections_.fetch_add(1, std::memory_order_relaxed);
        Look(database);
    }

    void Returned(std::string_view path) {
        const std::lock_guard lock(mutex_);
        HeldDatabase& database = Find(path);
        if (!database.complete) Look(database);
    }

    void Closed(std::string_view path) {
        const std::lock_guard lock(mutex_);
        HeldDatabase& database = Find(path);
        connections_.fetch_sub(1, std::memory_order_relaxed);
        if (--database.connections <= 0) {
            std::erase_if(databases_,
                          [](const HeldDatabase& held) { return held.connections <= 0; });
        }
    }

    bool Any() const { return connections_.load(std::memory_order_relaxed) > 0; }

    bool Holds(const struct stat& entry) {
        const std::lock_guard lock(mutex_);
        for (const HeldDatabase& database : databases_) {
            for (const HeldFile& file : database.files) {
                // An inode of a file that has gone since may have been given to another.
                struct stat now;
                if (Matches(file, entry) && ::stat(file.name.c_str(), &now) == 0 &&
                    Matches(file, now)) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    HeldFiles() {
        // A child of fork() starts with the mutex as its parent left it: hold it over the fork.
        ::pthread_atfork([] { Instance().mutex_.lock(); }, [] { Instance().mutex_.unlock(); },
                         [] { Instance().mutex_.unlock(); });
    }

    HeldDatabase& Find(std::string_view path) {
        const auto found =
            std::find_if(databases_.begin(), databases_.end(),
                         [path](const HeldDatabase& held) { return held.path == path; });
        if (found != databases_.end()) return *found;
        HeldDatabase& added = databases_.emplace_back();
        added.path = path;
        return added;
    }

    // The files there now: a journal comes and goes, a log and shared memory stay while
    // connections hold them.
    static void Look(HeldDatabase& database) {
        database.files.clear();
        int sidecars = 0;
        for (const std::string_view suffix : kDatabaseFileSuffixes) {
            std::string name = database.path + std::string(suffix);
            struct stat entry;
            if (::stat(name.c_str(), &entry) != 0) continue;
            if (suffix == "-wal" || suffix == "-shm") ++sidecars;
            database.files.push_back({entry.st_dev, entry.st_ino, std::move(name)});
        }
        database.complete = sidecars == 2;
    }

    std::mutex mutex_;
    std::atomic<int> connections_{0};
    std::vector<HeldDatabase> databases_;
};

}  // namespace

void NoteOpened(std::string_view database) {
    HeldFiles::Instance().Opened(database);
}

void NoteReturned(std::string_view database) {
    HeldFiles::Instance().Returned(database);
}

void NoteClosed(std::string_view database) {
    HeldFiles::Instance().Closed(database);
}

bool HoldsDatabases() {
    return HeldFiles::Instance().Any();
}

bool IsHeldDatabaseFile(const struct stat& entry) {
    return HeldFiles::Instance().Holds(entry);
}

}  // namespace win::store
