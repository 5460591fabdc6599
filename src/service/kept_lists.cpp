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
    using Map = std::unordered_map<std::string, KeptList>;

    void Erase(Map::iterator kept);

    std::mutex mutex_;
    Map lists_;
    std::size_t weight_ = 0;  // of the lists kept
    std::uint64_t clock_ = 0;
};

// What a list costs against the bound: its records; an empty one still holds its folder's
// watch.
std::size_t Weight(const KeptList& kept) {
    return std::max<std::size_t>(kept.list->size(), 1);
}

std::optional<std::int64_t> KeptLists::Take(std::string_view folder, MessageList& list) {
    std::shared_ptr<const MessageList> kept;
    std::int64_t octetTotal = 0;
    {
        const std::lock_guard lock(mutex_);
        const auto found = lists_.find(std::string(folder));
        if (found == lists_.end()) return std::nullopt;
        if (found->second.changes->Changed()) {
            Erase(found);
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
    const std::lock_guard lock(mutex_);
    if (const auto old = lists_.find(std::string(folder)); old != lists_.end()) Erase(old);
    while (!lists_.empty() && weight_ + Weight(kept) > kKeptRecords) {
        Erase(std::min_element(lists_.begin(), lists_.end(), [](const auto& a, const auto& b) {
            return a.second.used < b.second.used;
        }));
    }
    kept.used = ++clock_;
    weight_ += Weight(kept);
    lists_.emplace(std::string(folder), std::move(kept));
}

void KeptLists::Erase(Map::iterator kept) {
    weight_ -= Weight(kept->second);
    lists_.erase(kept);
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
    if (list.size() > kKeptRecords || changes->Changed()) return;
    Lists().Keep(folder,
                 {std::move(changes), std::make_shared<const MessageList>(list), octetTotal, 0});
}

}  // namespace vrel
