// Internal: Windows path rules over host folders (see resolver.h). Names come from callers and
// from the host; neither is trusted to be valid UTF-8 or a valid Windows name.
#include "core/resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/folder_index.h"
#include "core/resolution_cache.h"
#include "core/short_names.h"
#include "core/store_guard.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "store/machine.h"

namespace win::detail {
namespace fs = std::filesystem;
namespace {

// Folders share this many lock files, so run/ stays small however many folders get entries.
constexpr std::uint32_t kLockStripes = 64;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::optional<struct stat> StatusOf(const fs::path& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return st;
}

bool IsDirectory(const fs::path& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void AddComponent(std::vector<std::string>& names, std::string name) {
    if (name == "..") {
        if (!names.empty()) names.pop_back();
        return;
    }
    const std::size_t end = name.find_last_not_of(". ");
    if (end == std::string::npos) return;  // "." and names of dots and blanks only
    name.resize(end + 1);
    names.push_back(std::move(name));
}

std::optional<std::string> Match(const std::vector<Entry>& entries, std::string_view name) {
    for (const Entry& entry : entries) {
        if (AnsiSameText(entry.ansi, name)) return entry.host;
    }
    return std::nullopt;
}

std::optional<std::string> MatchAlias(const std::vector<Entry>& entries, std::string_view name) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const Entry& entry : entries) names.push_back(entry.ansi);
    const ShortNames aliases(names);
    for (const Entry& entry : entries) {
        if (AnsiSameText(aliases.Of(entry.ansi), name)) return entry.host;
    }
    return std::nullopt;
}

std::optional<std::string> MatchExactly(const fs::path& folder, std::string_view name,
                                        std::optional<struct stat>* status = nullptr) {
    std::string host = AnsiToUtf8(name);
    std::optional<struct stat> found = StatusOf(folder / host);
    if (!found) return std::nullopt;
    if (status) *status = found;
    return host;
}

bool MayBeAlias(std::string_view name) {
    return name.find('~') != std::string_view::npos;
}

// Ignoring case, then as an alias.
std::optional<std::string> MatchListed(const std::vector<Entry>& entries, std::string_view name) {
    if (auto found = Match(entries, name)) return found;
    if (MayBeAlias(name)) return MatchAlias(entries, name);
    return std::nullopt;
}

// A folder's names for the lookups of one call that miss the exact name: a large folder
// answers from its index, a small one is read once for all of them. Aliases need the whole
// listing.
class FolderNames {
  public:
    explicit FolderNames(const fs::path& folder) : folder_(folder) {}

    std::optional<std::string> Find(std::string_view name) {
        if (!listing_) {
            IndexAnswer answer = LookUpIgnoringCase(folder_, name);
            if (answer.indexed && (answer.host || !MayBeAlias(name))) return answer.host;
            listing_ = answer.indexed ? ListFolder(folder_) : std::move(answer.listing);
        }
        return MatchListed(*listing_, name);
    }

  private:
    const fs::path& folder_;
    std::optional<std::vector<Entry>> listing_;
};

// The host entry that the name designates (see FindEntry), and its status when it has the very
// name looked up.
std::optional<std::string> LookUpEntry(const fs::path& folder, std::string_view name,
                                       std::optional<struct stat>* status) {
    if (auto found = MatchExactly(folder, name, status)) return found;
    FolderNames names(folder);
    if (auto found = names.Find(name)) return found;
    if (!IsProgramName(name)) return std::nullopt;
    // Programs are built without the ".exe" that Windows names carry.
    const std::string_view program = name.substr(0, name.size() - 4);
    std::optional<std::string> found = MatchExactly(folder, program);
    if (!found) found = names.Find(program);
    if (found && IsDirectory(folder / *found)) return std::nullopt;
    return found;
}

// Each name looked up in its folder by `find`, none known beforehand.
Resolution ResolveAfresh(const fs::path& root, const std::vector<std::string>& names,
                         const EntryLookup& find) {
    fs::path host = root;
    std::size_t i = 0;
    for (; i < names.size(); ++i) {
        const std::optional<std::string> found = find(host, names[i]);
        if (!found) break;
        host /= *found;
    }
    const bool exists = i == names.size();
    for (; i < names.size(); ++i) host /= AnsiToUtf8(names[i]);
    return {std::move(host), exists};
}

// One folder reached through C: and through Z: must get the same lock.
fs::path LockFile(const fs::path& folder) {
    std::error_code error;
    fs::path key = fs::canonical(folder, error);
    if (error) key = folder;
    char name[32];
    std::snprintf(name, sizeof name, "folder-%02u.lock", NameHash(key.native()) % kLockStripes);
    return RunFolder() / name;
}

int OpenLockFile(const fs::path& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

}  // namespace

std::optional<WindowsPath> ParseWindowsPath(std::string_view path) {
    std::string full(path);
    if (full.size() < 2 || full[1] != ':') {
        const std::string current = GetCurrentDirectory();
        full = !full.empty() && IsSeparator(full[0]) ? current.substr(0, 2) + full
                                                     : current + "\\" + full;
    }
    WindowsPath result;
    result.drive = UpperCase(full.substr(0, 1))[0];
    if (result.drive == 'C') {
        result.root = DriveCFolder();
    } else if (result.drive == 'Z') {
        result.root = "/";
    } else {
        return std::nullopt;
    }
    std::string name;
    for (std::size_t i = 2; i < full.size(); ++i) {
        if (IsSeparator(full[i])) {
            AddComponent(result.names, std::move(name));
            name.clear();
        } else {
            name += full[i];
        }
    }
    AddComponent(result.names, std::move(name));
    return result;
}

std::optional<std::vector<Entry>> ReadFolder(const fs::path& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    std::vector<Entry> entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view host = entry->d_name;
        if (host == "." || host == "..") continue;
        entries.push_back({std::string(host), Utf8ToAnsi(host)});
    }
    return entries;
}

std::vector<Entry> ListFolder(const fs::path& folder) {
    return ReadFolder(folder).value_or(std::vector<Entry>());
}

std::optional<std::string> FindEntry(const fs::path& folder, std::string_view name) {
    return LookUpEntry(folder, name, nullptr);
}

std::optional<std::string> FindLongName(const fs::path& folder, std::string_view name) {
    if (auto found = MatchExactly(folder, name)) return found;
    IndexAnswer answer = LookUpIgnoringCase(folder, name);
    return answer.indexed ? answer.host : Match(answer.listing, name);
}

bool IsProgramName(std::string_view name) {
    return name.size() > 4 && SameText(name.substr(name.size() - 4), ".exe");
}

Resolution Resolve(const fs::path& root, const std::vector<std::string>& names) {
    if (!KnownToDiffer(root, names)) {
        fs::path exact = root;
        for (const std::string& name : names) exact /= AnsiToUtf8(name);
        if (std::optional<struct stat> status = StatusOf(exact)) {
            return {std::move(exact), true, status};
        }
    }
    // The status of the entry that the last lookup found by its exact name: the path's own
    // when that lookup was of its last name.
    fs::path found;
    std::optional<struct stat> status;
    const EntryLookup find = [&found, &status](const fs::path& folder, std::string_view name) {
        status.reset();
        std::optional<std::string> entry = LookUpEntry(folder, name, &status);
        if (status) found = folder / *entry;
        return entry;
    };
    std::optional<Resolution> resolution = ResolveKnown(root, names, find);
    if (!resolution) resolution = ResolveAfresh(root, names, find);
    if (resolution->exists && status && found.native() == resolution->host.native()) {
        resolution->status = status;
    }
    return std::move(*resolution);
}

Resolution Resolve(const WindowsPath& path) {
    return Resolve(path.root, path.names);
}

bool IsValidName(std::string_view name) {
    if (name.empty()) return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) return false;
    }
    return true;
}

FolderLock::FolderLock(const fs::path& folder) {
    const fs::path path = LockFile(folder);
    fd_ = OpenLockFile(path);
    if (fd_ < 0 && errno == ENOENT) {
        std::error_code ignored;
        fs::create_directories(path.parent_path(), ignored);
        fd_ = OpenLockFile(path);
    }
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

Creation CreateEntryIn(const fs::path& folder, std::string_view name,
                       const std::function<bool(const fs::path&)>& create, Aliases aliases) {
    const auto find = aliases == Aliases::Count ? FindEntry : FindLongName;
    if (auto found = find(folder, name)) return {CreateStatus::Exists, folder / *found};
    if (!IsValidName(name)) return {CreateStatus::Failed, {}};
    const FolderLock lock(folder);
    if (!lock.Held()) return {CreateStatus::Failed, {}};
    if (auto found = find(folder, name)) return {CreateStatus::Exists, folder / *found};
    const fs::path host = folder / AnsiToUtf8(name);
    return {create(host) ? CreateStatus::Created : CreateStatus::Failed, host};
}

Creation CreateEntry(std::string_view windowsPath,
                     const std::function<bool(const fs::path&)>& create) {
    std::optional<WindowsPath> path = ParseWindowsPath(windowsPath);
    if (!path || path->names.empty()) return {CreateStatus::Failed, {}};
    const std::string name = std::move(path->names.back());
    path->names.pop_back();
    const Resolution folder = Resolve(*path);
    if (!folder.exists || !IsDirectory(folder.host)) return {CreateStatus::Failed, {}};
    return CreateEntryIn(folder.host, name, create);
}

FileHandle OpenForWriting(std::string_view windowsPath, int flags) {
    flags |= O_WRONLY | O_CLOEXEC;
    const std::optional<WindowsPath> path = ParseWindowsPath(windowsPath);
    if (!path) return FileHandle();
    const Resolution resolution = Resolve(*path);
    const auto open = [flags](const fs::path& host) {
        return MayUse(host, StoreUse::Change) ? ::open(host.c_str(), flags) : -1;
    };
    if (resolution.exists) return FileHandle(open(resolution.host));
    int fd = -1;
    const Creation creation = CreateEntry(windowsPath, [&](const fs::path& host) {
        fd = ::open(host.c_str(), flags | O_CREAT | O_EXCL, 0644);
        return fd >= 0;
    });
    if (creation.status == CreateStatus::Exists) fd = open(creation.host);
    return FileHandle(fd);
}

}  // namespace win::detail
