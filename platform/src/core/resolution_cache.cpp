// The resolution cache (see resolution_cache.h). Names are kept as the callers and the host
// gave them; no name is compared here, so the path rules stay those of the lookup.
#include "core/resolution_cache.h"

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/folder_notices.h"
#include "platform/codepage.h"

namespace win::detail {
namespace fs = std::filesystem;
namespace {

struct Answer {
    std::optional<std::string> host;
    bool exact;  // the entry has the very name looked up, which no other entry can outrank
};

struct Folder {
    std::uint64_t watch = 0;
    Folder* parent = nullptr;  // none for a drive's folder
    std::string name;          // the host name in the parent
    std::uint64_t used = 0;
    std::uint64_t version = 0;                                          // of its entries
    std::unordered_map<std::string, Answer> answers;                    // by 8-bit name
    std::unordered_map<std::string, std::unique_ptr<Folder>> children;  // by host name
};

struct Root {
    dev_t device;
    ino_t inode;
    std::unique_ptr<Folder> folder;
};

class ResolutionCache {
  public:
    std::optional<Resolution> Resolve(const fs::path& root, const std::vector<std::string>& names,
                                      const EntryLookup& find);
    bool KnownToDiffer(const fs::path& root, const std::vector<std::string>& names);

  private:
    using Lock = std::unique_lock<std::mutex>;

    Folder* RootFolder(const fs::path& root);
    Folder* Child(Folder& folder, const std::string& name, const fs::path& host);
    std::unique_ptr<Folder> Known(const fs::path& host, bool followLink, Folder* parent,
                                  const std::string& name);
    std::optional<std::string> LookUp(Lock& lock, Folder*& folder, const fs::path& host,
                                      const std::string& name, const EntryLookup& find);
    void OnNotice(Folder& folder, std::uint32_t mask, std::string_view name);
    void Forget(Folder& folder);
    void Unwatch(Folder& folder);
    void MakeRoom(const Folder& keep);

    FolderNotices& notices_ = FolderNotices::Process();
    std::unordered_map<std::string, Root> roots_;
    std::unordered_map<std::uint64_t, Folder*> byWatch_;
    std::uint64_t clock_ = 0;
};

std::optional<Resolution> ResolutionCache::Resolve(const fs::path& root,
                                                   const std::vector<std::string>& names,
                                                   const EntryLookup& find) {
    Lock lock = notices_.Lock();
    notices_.Read();
    Folder* folder = RootFolder(root);
    if (!folder) return std::nullopt;
    fs::path host = root;
    std::size_t i = 0;
    for (; i < names.size(); ++i) {
        const std::optional<std::string> entry = LookUp(lock, folder, host, names[i], find);
        if (!entry) break;
        host /= *entry;
        if (folder && i + 1 < names.size()) folder = Child(*folder, *entry, host);
    }
    const bool exists = i == names.size();
    for (; i < names.size(); ++i) host /= AnsiToUtf8(names[i]);
    return Resolution{std::move(host), exists};
}

bool ResolutionCache::KnownToDiffer(const fs::path& root, const std::vector<std::string>& names) {
    const Lock lock = notices_.Lock();
    const auto found = roots_.find(root.native());
    if (found == roots_.end()) return false;
    const Folder* folder = found->second.folder.get();
    for (const std::string& name : names) {
        const auto answer = folder->answers.find(name);
        if (answer == folder->answers.end()) return false;
        if (!answer->second.exact) return true;
        const auto child = folder->children.find(*answer->second.host);
        if (child == folder->children.end()) return false;
        folder = child->second.get();
    }
    return false;
}

// The drive's folder, known afresh when another folder is now at its path.
Folder* ResolutionCache::RootFolder(const fs::path& root) {
    struct stat st;
    if (::stat(root.c_str(), &st) != 0) return nullptr;
    auto found = roots_.find(root.native());
    if (found != roots_.end() &&
        (found->second.device != st.st_dev || found->second.inode != st.st_ino)) {
        Forget(*found->second.folder);
        found = roots_.end();
    }
    if (found == roots_.end()) {
        std::unique_ptr<Folder> folder = Known(root, true, nullptr, {});
        if (!folder) return nullptr;
        found = roots_.emplace(root.native(), Root{st.st_dev, st.st_ino, std::move(folder)}).first;
    }
    found->second.folder->used = ++clock_;
    return found->second.folder.get();
}

Folder* ResolutionCache::Child(Folder& folder, const std::string& name, const fs::path& host) {
    const auto found = folder.children.find(name);
    if (found != folder.children.end()) {
        found->second->used = ++clock_;
        return found->second.get();
    }
    MakeRoom(folder);
    std::unique_ptr<Folder> child = Known(host, false, &folder, name);
    if (!child) return nullptr;
    child->used = ++clock_;
    return folder.children.emplace(name, std::move(child)).first->second.get();
}

// A folder watched from now on, so that no change falls between its first lookup and its notices.
std::unique_ptr<Folder> ResolutionCache::Known(const fs::path& host, bool followLink,
                                               Folder* parent, const std::string& name) {
    auto folder = std::make_unique<Folder>();
    folder->parent = parent;
    folder->name = name;
    Folder* known = folder.get();
    folder->watch = notices_.Watch(host, kNameNotices, followLink,
                                   [this, known](std::uint32_t mask, std::string_view entry) {
                                       OnNotice(*known, mask, entry);
                                   });
    if (!folder->watch) return nullptr;
    byWatch_[folder->watch] = known;
    return folder;
}

// The known answer, or `find`'s, run without the lock so that lookups in other folders go on;
// kept unless a notice of the folder was read meanwhile. Leaves `folder` null when the folder is
// no longer known as it was.
std::optional<std::string> ResolutionCache::LookUp(Lock& lock, Folder*& folder,
                                                   const fs::path& host, const std::string& name,
                                                   const EntryLookup& find) {
    if (folder) {
        folder->used = ++clock_;
        const auto known = folder->answers.find(name);
        if (known != folder->answers.end()) return known->second.host;
    }
    const std::uint64_t watch = folder ? folder->watch : 0;
    const std::uint64_t version = folder ? folder->version : 0;
    lock.unlock();
    std::optional<std::string> entry = find(host, name);
    lock.lock();
    if (!folder) return entry;
    // A notice read meanwhile changed the version; one still unread forgets the answer when
    // it is read, before the next answer.
    const auto found = byWatch_.find(watch);
    folder = found != byWatch_.end() && found->second->version == version ? found->second : nullptr;
    if (!folder) return entry;
    if (folder->answers.size() >= kKnownAnswers) folder->answers.clear();
    folder->answers.emplace(name, Answer{entry, entry && *entry == AnsiToUtf8(name)});
    return entry;
}

void ResolutionCache::OnNotice(Folder& folder, std::uint32_t mask, std::string_view name) {
    if (mask & kWatchEnded) return Forget(folder);
    if (!(mask & kNameNotices)) return;  // a notice another watcher of the folder asked for
    ++folder.version;
    if (name.empty()) {
        // The folder's own attributes: whether its entries can be reached at all.
        folder.answers.clear();
        while (!folder.children.empty()) Forget(*folder.children.begin()->second);
        return;
    }
    // Any new entry may match a name without case or as an alias, or end a name's absence;
    // an exact match stands until its own entry changes.
    std::erase_if(folder.answers, [name](const auto& answer) {
        return !answer.second.exact || *answer.second.host == name;
    });
    const auto child = folder.children.find(std::string(name));
    if (child != folder.children.end()) Forget(*child->second);
}

void ResolutionCache::Forget(Folder& folder) {
    Unwatch(folder);
    if (folder.parent) {
        folder.parent->children.erase(folder.name);
        return;
    }
    std::erase_if(roots_,
                  [&folder](const auto& root) { return root.second.folder.get() == &folder; });
}

void ResolutionCache::Unwatch(Folder& folder) {
    for (auto& [name, child] : folder.children) Unwatch(*child);
    notices_.Unwatch(folder.watch);
    byWatch_.erase(folder.watch);
}

void ResolutionCache::MakeRoom(const Folder& keep) {
    if (byWatch_.size() < kKnownFolders) return;
    Folder* oldest = nullptr;
    for (const auto& [watch, folder] : byWatch_) {
        if (folder == &keep || !folder->children.empty()) continue;
        if (!oldest || folder->used < oldest->used) oldest = folder;
    }
    if (oldest) Forget(*oldest);
}

// Never destroyed: threads may still look names up while the process exits.
ResolutionCache& Cache() {
    static ResolutionCache& cache = *new ResolutionCache;
    return cache;
}

}  // namespace

std::optional<Resolution> ResolveKnown(const fs::path& root, const std::vector<std::string>& names,
                                       const EntryLookup& find) {
    return Cache().Resolve(root, names, find);
}

bool KnownToDiffer(const fs::path& root, const std::vector<std::string>& names) {
    return Cache().KnownToDiffer(root, names);
}

}  // namespace win::detail
