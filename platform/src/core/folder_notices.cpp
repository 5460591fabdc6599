// The process's change notices (see folder_notices.h). Event names come from the host and are
// handed on as they are.
#include "core/folder_notices.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace win::detail {
namespace fs = std::filesystem;

void ReadNotices(int fd, const std::function<void(const inotify_event&)>& apply) {
    alignas(inotify_event) std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t length = ::read(fd, buffer.data(), buffer.size());
        if (length <= 0) return;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            apply(*event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

FolderNotices& FolderNotices::Process() {
    // Never destroyed: threads may still look names up while the process exits. A fork is
    // noted when it happens rather than asked of the process id at every read.
    static FolderNotices& notices = *[] {
        auto* created = new FolderNotices;
        ::pthread_atfork(nullptr, nullptr, [] { Process().inherited_ = true; });
        return created;
    }();
    return notices;
}

// Whether there is an instance; the first call of a process (or of a forked child) makes it.
bool FolderNotices::Owned() {
    if (opened_ && !inherited_) return fd_ >= 0;
    if (fd_ >= 0) {
        EndAll(false);  // the watches are the parent's: removing them would end them there
        ::close(fd_);
    }
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    opened_ = true;
    inherited_ = false;
    return fd_ >= 0;
}

std::uint64_t FolderNotices::Watch(const fs::path& folder, std::uint32_t events, bool followLink,
                                   Handler handler) {
    if (!Owned()) return 0;
    const std::uint32_t mask =
        events | IN_ONLYDIR | IN_MASK_ADD | (followLink ? 0u : std::uint32_t{IN_DONT_FOLLOW});
    const int watch = ::inotify_add_watch(fd_, folder.c_str(), mask);
    if (watch < 0) return 0;
    const std::uint64_t id = ++next_;
    subscriptions_.emplace(id, Subscription{watch, std::move(handler)});
    byWatch_[watch].push_back(id);
    return id;
}

void FolderNotices::Unwatch(std::uint64_t id) {
    const auto found = subscriptions_.find(id);
    if (found == subscriptions_.end()) return;
    const int watch = found->second.watch;
    subscriptions_.erase(found);
    std::vector<std::uint64_t>& ids = byWatch_[watch];
    std::erase(ids, id);
    if (!ids.empty()) return;
    byWatch_.erase(watch);
    ::inotify_rm_watch(fd_, watch);
}

void FolderNotices::Read() {
    if (!Owned()) return;
    ReadNotices(fd_, [this](const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) return EndAll(true);
        Dispatch(event.wd, event.mask, event.len ? event.name : "");  // NUL-padded
    });
}

// Handlers may end watches, theirs and others', while they run.
void FolderNotices::Dispatch(int watch, std::uint32_t mask, std::string_view name) {
    const auto found = byWatch_.find(watch);
    if (found == byWatch_.end()) return;
    const std::vector<std::uint64_t> ids = found->second;
    for (const std::uint64_t id : ids) {
        const auto subscription = subscriptions_.find(id);
        if (subscription == subscriptions_.end()) continue;
        const Handler handler = subscription->second.handler;
        if (mask & kWatchEnded) Unwatch(id);
        handler(mask, name);
    }
}

void FolderNotices::EndAll(bool removeWatches) {
    while (!subscriptions_.empty()) {
        const auto first = subscriptions_.begin();
        const std::uint64_t id = first->first;
        const Handler handler = first->second.handler;
        if (removeWatches) {
            Unwatch(id);
        } else {
            subscriptions_.erase(first);
        }
        handler(IN_Q_OVERFLOW, "");
    }
    byWatch_.clear();
}

}  // namespace win::detail
