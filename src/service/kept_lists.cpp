// The kept message lists (see kept_lists.h).
#include "service/kept_lists.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/text.h"
#include "service/mailbox_lock.h"

namespace vrel {
namespace {

struct KeptList {
    std::unique_ptr<win::FolderChanges> changes;
    std::shared_ptr<const MessageList> list;
    std::int64_t octetTotal;
    std::uint64_t used;
};

class KeptLists {
  public:
    std::optional<std::int64_t> Take(std::string_view folder, MessageList& list);
    void Keep(std::string_view folder, KeptList kept);

  private:
    std::size_t Records() const;

    std::mutex mutex_;
    std::unordered_map<std::string, KeptList> lists_;
    std::uint64_t clock_ = 0;
};

std::optional<std::int64_t> KeptLists::Take(std::string_view folder, MessageList& list) {
    std::shared_ptr<const MessageList> kept;
    std::int64_t octetTotal = 0;
    {
        const std::lock_guard lock(mutex_);
        const auto found = lists_.find(std::string(folder));
        if (found == lists_.end()) return std::nullopt;
        if (found->second.changes->Changed()) {
            lists_.erase(found);
            return std::nullopt;
        }
        found->second.used = ++clock_;
        kept = found->second.list;
        octetTotal = found->second.octetTotal;
    }
    list.insert(list.end(), kept->begin(), kept->end());
    return octetTotal;
}

void KeptLists::Keep(std::string_view folder, KeptList kept) {
    if (kept.list->size() > kKeptRecords) return;
    const std::lock_guard lock(mutex_);
    lists_.erase(std::string(folder));
    while (!lists_.empty() && Records() + kept.list->size() > kKeptRecords) {
        lists_.erase(std::min_element(
            lists_.begin(), lists_.end(),
            [](const auto& a, const auto& b) { return a.second.used < b.second.used; }));
    }
    kept.used = ++clock_;
    lists_.emplace(std::string(folder), std::move(kept));
}

std::size_t KeptLists::Records() const {
    std::size_t records = 0;
    for (const auto& [folder, kept] : lists_) records += kept.list->size();
    return records;
}

KeptLists& Lists() {
    // Never destroyed: session threads may still log on while the process exits.
    static KeptLists& lists = *new KeptLists;
    return lists;
}

}  // namespace

std::unique_ptr<win::FolderChanges> WatchMailbox(std::string_view folder) {
    // The session's own lock file comes and goes with every session; it is never a message.
    return std::make_unique<win::FolderChanges>(
        folder, [](std::string_view name) { return win::SameText(name, kLockFileName); });
}

std::optional<std::int64_t> TakeKeptList(std::string_view folder, MessageList& list) {
    return Lists().Take(folder, list);
}

void KeepList(std::string_view folder, std::unique_ptr<win::FolderChanges> changes,
              const MessageList& list, std::int64_t octetTotal) {
    if (changes->Changed()) return;
    Lists().Keep(folder,
                 {std::move(changes), std::make_shared<const MessageList>(list), octetTotal, 0});
}

}  // namespace vrel
