// Sees the fsync calls this test process makes, to show what a write makes durable and when.
#pragma once

#include <filesystem>
#include <mutex>
#include <vector>

namespace vrel::test {

// While it lives, records every fsync of the folder or of an entry in it, and whether `file`
// had its final name at that moment. One watch at a time.
class SyncWatch {
  public:
    struct Sync {
        std::filesystem::path path;  // the synced entry's name at the time of the sync
        bool placed;
    };

    SyncWatch(const std::filesystem::path& folder, const std::filesystem::path& file);
    SyncWatch(const SyncWatch&) = delete;
    SyncWatch& operator=(const SyncWatch&) = delete;
    ~SyncWatch();

    std::vector<Sync> Syncs() const;

    void Record(const std::filesystem::path& synced);  // called by the fsync wrapper

  private:
    const std::filesystem::path folder_;
    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::vector<Sync> syncs_;
};

}  // namespace vrel::test
