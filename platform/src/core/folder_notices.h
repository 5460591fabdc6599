// Internal: the kernel's change notices (inotify) for host folders, one instance per process,
// for what is kept about a folder only while the folder does not change: the resolution cache
// (resolution_cache.h) and the folder change watches (platform/folder_changes.h).
//
// The call that changes a folder queues its notice before it returns, so reading the pending
// notices before an answer sees every change that returned before it, made by this process or
// any other. Every call is made with Lock() held; handlers run under it too and may start and
// end watches. A forked child starts with no watches (reading its parent's notices would take
// them from the parent): every handler it inherited hears IN_Q_OVERFLOW first.
#pragma once

#include <sys/inotify.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace win::detail {

// The notices that tell a folder's entry names changed, and that the folder itself went.
inline constexpr std::uint32_t kNameNotices =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// Notices after which nothing more comes for the watch: the folder went, or notices were lost.
inline constexpr std::uint32_t kWatchEnded =
    IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_Q_OVERFLOW;

// Hands each notice pending on the (non-blocking) inotify descriptor to `apply`.
void ReadNotices(int fd, const std::function<void(const inotify_event&)>& apply);

class FolderNotices {
  public:
    // The event mask, and the entry's host name (empty for the folder itself).
    using Handler = std::function<void(std::uint32_t mask, std::string_view name)>;

    static FolderNotices& Process();

    std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }

    // Starts a watch of the folder for the notices in `events` (the handler may hear other
    // notices of the folder too); 0 when it cannot be watched: missing, not a folder, a
    // symbolic link unless `followLink`, or no inotify. The handler hears the watch's end once.
    std::uint64_t Watch(const std::filesystem::path& folder, std::uint32_t events, bool followLink,
                        Handler handler);
    void Unwatch(std::uint64_t id);

    // Hands every pending notice to the handlers of its folder.
    void Read();

  private:
    struct Subscription {
        int watch;
        Handler handler;
    };

    bool Owned();
    void Dispatch(int watch, std::uint32_t mask, std::string_view name);
    void EndAll(bool removeWatches);

    std::mutex mutex_;
    int fd_ = -1;
    bool opened_ = false;
    bool inherited_ = false;  // by a forked child, which must not read its parent's notices
    std::uint64_t next_ = 0;
    std::unordered_map<std::uint64_t, Subscription> subscriptions_;
    std::unordered_map<int, std::vector<std::uint64_t>> byWatch_;  // one inode, many watchers
};

}  // namespace win::detail
