// Folder indexes kept by inotify; see folder_index.h. Event names come from the host and are
// treated as any entry name is.
#include "core/folder_index.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "core/folder_notices.h"
#include "platform/codepage.h"
#include "platform/text.h"

namespace win::detail {
namespace fs = std::filesystem;
namespace {

constexpr std::uint32_t kWatched = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

struct Index {
    dev_t device;
    ino_t inode;
    std::uint64_t used;
    std::unordered_multimap<std::string, std::string> hosts;  // AnsiUpperCase of the name -> host

    void Add(const std::string& host) {
        const std::string key = AnsiUpperCase(Utf8ToAnsi(host));
        const auto [first, last] = hosts.equal_range(key);
        for (auto it = first; it != last; ++it) {
            if (it->second == host) return;
        }
        hosts.emplace(key, host);
    }
    void Remove(const std::string& host) {
        const auto [first, last] = hosts.equal_range(AnsiUpperCase(Utf8ToAnsi(host)));
        for (auto it = first; it != last; ++it) {
            if (it->second == host) {
                hosts.erase(it);
                return;
            }
        }
    }
    std::optional<std::string> Find(std::string_view name) const {
        const auto found = hosts.find(AnsiUpperCase(name));
        if (found == hosts.end()) return std::nullopt;
        return found->second;
    }
};

class IndexCache {
  public:
    IndexAnswer LookUp(const fs::path& folder, std::string_view name);

  private:
    bool Owned();
    void Drain();
    void Apply(const inotify_event& event);
    void Drop(int watch);
    void DropAll();
    Index* Current(const fs::path& folder, const struct stat& st);
    Index* Build(const fs::path& folder, const struct stat& st);
    IndexAnswer Answer(Index& index, std::string_view name);

    std::mutex mutex_;
    int fd_ = -1;
    pid_t owner_ = 0;  // a forked child must not read its parent's notices
    std::uint64_t clock_ = 0;
    std::unordered_map<int, Index> indexes_;      // by watch
    std::unordered_map<std::string, int> watch_;  // host folder -> watch
};

// False while there is no index; a forked child drops what it inherited, as reading its
// parent's notices would take them from the parent.
bool IndexCache::Owned() {
    if (owner_ == ::getpid()) return fd_ >= 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    indexes_.clear();
    watch_.clear();
    owner_ = ::getpid();
    return false;
}

void IndexCache::Drain() {
    ReadNotices(fd_, [this](const inotify_event& event) { Apply(event); });
}

void IndexCache::Apply(const inotify_event& event) {
    if (event.mask & IN_Q_OVERFLOW) return DropAll();
    const auto found = indexes_.find(event.wd);
    if (found == indexes_.end()) return;
    if (event.mask & kGone) return Drop(event.wd);
    const std::string host(event.name);  // NUL-padded
    if (event.mask & (IN_CREATE | IN_MOVED_TO)) found->second.Add(host);
    if (event.mask & (IN_DELETE | IN_MOVED_FROM)) found->second.Remove(host);
}

void IndexCache::Drop(int watch) {
    ::inotify_rm_watch(fd_, watch);
    indexes_.erase(watch);
    std::erase_if(watch_, [watch](const auto& item) { return item.second == watch; });
}

void IndexCache::DropAll() {
    while (!indexes_.empty()) Drop(indexes_.begin()->first);
}

// The folder's index, with every notice applied, while it still describes the entry now at
// that path.
Index* IndexCache::Current(const fs::path& folder, const struct stat& st) {
    if (!Owned()) return nullptr;
    Drain();
    const auto watch = watch_.find(folder.native());
    if (watch == watch_.end()) return nullptr;
    Index& index = indexes_.at(watch->second);
    if (index.device == st.st_dev && index.inode == st.st_ino) return &index;
    Drop(watch->second);
    return nullptr;
}

// Watches first and reads again afterwards, so no change falls between listing and notices.
Index* IndexCache::Build(const fs::path& folder, const struct stat& st) {
    if (Index* built = Current(folder, st)) return built;  // by another thread meanwhile
    if (fd_ < 0) fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return nullptr;
    if (indexes_.size() >= kIndexedFolders) {
        const auto oldest = std::min_element(
            indexes_.begin(), indexes_.end(),
            [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
        Drop(oldest->first);
    }
    const int watch = ::inotify_add_watch(fd_, folder.c_str(), kWatched);
    if (watch < 0) return nullptr;
    Index& index = indexes_[watch];  // the same folder reached by another path shares it
    index.device = st.st_dev;
    index.inode = st.st_ino;
    for (const Entry& entry : ListFolder(folder)) index.Add(entry.host);
    watch_[folder.native()] = watch;
    return Current(folder, st);
}

IndexAnswer IndexCache::Answer(Index& index, std::string_view name) {
    index.used = ++clock_;
    return {true, index.Find(name), {}};
}

// A small folder is read without holding the lock, so threads looking into their own
// folders do not wait for each other.
IndexAnswer IndexCache::LookUp(const fs::path& folder, std::string_view name) {
    struct stat st;
    const bool exists = ::stat(folder.c_str(), &st) == 0;
    if (exists) {
        const std::lock_guard lock(mutex_);
        if (Index* index = Current(folder, st)) return Answer(*index, name);
    }
    std::vector<Entry> listing = ListFolder(folder);
    if (exists && listing.size() >= kIndexedEntries) {
        const std::lock_guard lock(mutex_);
        if (Index* index = Build(folder, st)) return Answer(*index, name);
    }
    return {false, std::nullopt, std::move(listing)};
}

}  // namespace

IndexAnswer LookUpIgnoringCase(const fs::path& folder, std::string_view name) {
    // Never destroyed: threads may still look names up while the process exits.
    static IndexCache& cache = *new IndexCache;
    return cache.LookUp(folder, name);
}

}  // namespace win::detail
