// Internal: how a Windows path names a host file. Used by paths.cpp and the file functions.
//
// A path is taken apart into its drive's host folder and 8-bit components ("." and ".." are
// applied lexically and never climb above the drive's root; trailing dots and blanks of a
// component are dropped, as Windows drops them). Each component is looked up exactly, then
// ignoring case, then as an 8.3 alias; "X.exe" also finds a file "X". A missing component
// keeps the given name. A lookup that misses the exact name reads a small folder; a large one
// answers from its index (folder_index.h). Creating an entry and the check that no entry of
// that name exists are one step under the folder's lock, so two processes cannot make "bob"
// and "BOB" side by side.
//
// A path that misses its exact name is answered from what is known of its folders while they
// did not change (resolution_cache.h); a path known to miss it is not looked up as written.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace win::detail {

struct WindowsPath {
    char drive;                      // 'C' or 'Z'
    std::filesystem::path root;      // the drive's host folder
    std::vector<std::string> names;  // 8-bit components below the root
};

// nullopt for a drive the machine does not have. A relative path starts at the current folder.
std::optional<WindowsPath> ParseWindowsPath(std::string_view path);

struct Entry {
    std::string host;  // the entry's host name (UTF-8)
    std::string ansi;  // its 8-bit name
};
// nullopt when the folder cannot be read; ListFolder gives no entries then.
std::optional<std::vector<Entry>> ReadFolder(const std::filesystem::path& folder);
std::vector<Entry> ListFolder(const std::filesystem::path& folder);

// The host name of the entry of `folder` that the 8-bit `name` designates.
std::optional<std::string> FindEntry(const std::filesystem::path& folder, std::string_view name);
// The host name of the entry whose long name is `name`, exactly or ignoring case; no alias.
std::optional<std::string> FindLongName(const std::filesystem::path& folder, std::string_view name);
// Whether the name ends in ".exe", so that it also finds a file without that suffix.
bool IsProgramName(std::string_view name);

struct Resolution {
    std::filesystem::path host;
    bool exists;  // every component was found
    // The entry's status when the resolution took it on the way (it found the entry by its
    // exact name), for a caller that would take it again at once.
    std::optional<struct stat> status = std::nullopt;
};
Resolution Resolve(const std::filesystem::path& root, const std::vector<std::string>& names);
Resolution Resolve(const WindowsPath& path);

// Whether Windows accepts the 8-bit name for a new entry.
bool IsValidName(std::string_view name);

// Holds the lock that makes lookup and creation in one host folder a single step.
class FolderLock {
  public:
    explicit FolderLock(const std::filesystem::path& folder);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_;
};

struct Creation {
    CreateStatus status;
    std::filesystem::path host;  // the new or the existing entry
};

// Runs `create` on the host path of the path's last component unless its folder already holds
// an entry of that name; `create` reports success.
Creation CreateEntry(std::string_view windowsPath,
                     const std::function<bool(const std::filesystem::path&)>& create);
// Whether an entry found only by its 8.3 alias keeps a name from being made.
enum class Aliases { Count, Ignore };
// The same for an 8-bit name in a host folder that exists.
Creation CreateEntryIn(const std::filesystem::path& folder, std::string_view name,
                       const std::function<bool(const std::filesystem::path&)>& create,
                       Aliases aliases = Aliases::Count);

// Opens the file for writing with the extra open flags (O_TRUNC, O_APPEND), creating it when
// missing; not open on failure.
FileHandle OpenForWriting(std::string_view windowsPath, int flags);

}  // namespace win::detail
