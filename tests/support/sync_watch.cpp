#include "sync_watch.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <string>

namespace {

std::atomic<vrel::test::SyncWatch*> g_watch = nullptr;

}  // namespace

// Stands in front of the C library's fsync for the whole test program.
extern "C" int fsync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    if (vrel::test::SyncWatch* watch = g_watch) {
        char path[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
        if (n > 0) watch->Record(std::string(path, static_cast<std::size_t>(n)));
    }
    return real(fd);
}

namespace vrel::test {

SyncWatch::SyncWatch(const std::filesystem::path& folder, const std::filesystem::path& file)
    : folder_(std::filesystem::canonical(folder)), file_(file) {
    g_watch = this;
}

SyncWatch::~SyncWatch() {
    g_watch = nullptr;
}

std::vector<SyncWatch::Sync> SyncWatch::Syncs() const {
    std::lock_guard lock(mutex_);
    return syncs_;
}

void SyncWatch::Record(const std::filesystem::path& synced) {
    if (synced != folder_ && synced.parent_path() != folder_) return;
    const bool placed = std::filesystem::exists(file_);
    std::lock_guard lock(mutex_);
    syncs_.push_back({synced, placed});
}

}  // namespace vrel::test
