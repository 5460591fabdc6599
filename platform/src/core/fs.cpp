// File functions of the machine (see fs.h): existence, folders, deletion, renaming, creation
// only when absent, temporary names and whole-file reads and writes. Paths come from the suite
// and may name anything; nothing outside the path rules is assumed.
#include "platform/fs.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <unordered_set>

#include "core/resolver.h"
#include "core/store_guard.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace win {
namespace fs = std::filesystem;
namespace {

// The runtime library's limit of temporary names.
constexpr int kTempNameLimit = 65535;

std::optional<struct stat> StatOf(std::string_view windowsPath) {
    const fs::path host = ToHostPath(windowsPath);
    struct stat st;
    if (host.empty() || ::stat(host.c_str(), &st) != 0) return std::nullopt;
    return st;
}

// The resolution of a Windows path whose entry exists.
std::optional<detail::Resolution> ExistingResolution(std::string_view windowsPath) {
    const std::optional<detail::WindowsPath> path = detail::ParseWindowsPath(windowsPath);
    if (!path) return std::nullopt;
    detail::Resolution resolution = detail::Resolve(*path);
    if (!resolution.exists) return std::nullopt;
    return resolution;
}

// The existing host entry of a Windows path.
std::optional<fs::path> ExistingEntry(std::string_view windowsPath) {
    std::optional<detail::Resolution> resolution = ExistingResolution(windowsPath);
    if (!resolution) return std::nullopt;
    return std::move(resolution->host);
}

// The same, unless the store guard refuses the entry for the use.
std::optional<fs::path> UsableEntry(std::string_view windowsPath, detail::StoreUse use) {
    std::optional<detail::Resolution> resolution = ExistingResolution(windowsPath);
    if (!resolution || !detail::MayUse(resolution->host, use, resolution->status)) {
        return std::nullopt;
    }
    return std::move(resolution->host);
}

struct Placement {
    fs::path folder;   // host folder, existing
    std::string name;  // 8-bit name of the entry in it
};

// Where a Windows path's entry is or would be: its folder must exist, the entry need not.
std::optional<Placement> PlacementOf(std::string_view windowsPath) {
    std::optional<detail::WindowsPath> path = detail::ParseWindowsPath(windowsPath);
    if (!path || path->names.empty()) return std::nullopt;
    Placement placement{{}, std::move(path->names.back())};
    path->names.pop_back();
    const detail::Resolution folder = detail::Resolve(*path);
    std::error_code error;
    if (!folder.exists || !fs::is_directory(folder.host, error)) return std::nullopt;
    placement.folder = folder.host;
    return placement;
}

bool SameEntry(const fs::path& a, const fs::path& b) {
    struct stat x, y;
    return ::lstat(a.c_str(), &x) == 0 && ::lstat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    // File systems without the flag: the folder lock already excludes creators of the layer.
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::access(to.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

struct TempFile {
    std::string name;
    FileHandle file;
};

std::unordered_set<std::string> UpperCaseNames(const fs::path& folder) {
    std::unordered_set<std::string> names;
    for (const detail::Entry& entry : detail::ListFolder(folder))
        names.insert(UpperCase(entry.ansi));
    return names;
}

// One listing under the folder's lock finds the first free counter without a lookup per name.
std::optional<TempFile> CreateTempIn(const fs::path& folder) {
    const detail::FolderLock lock(folder);
    if (!lock.Held()) return std::nullopt;
    const std::unordered_set<std::string> taken = UpperCaseNames(folder);
    for (int n = 1; n <= kTempNameLimit; ++n) {
        std::string name = "TMP" + std::to_string(n) + ".$$$";
        if (taken.count(name)) continue;
        const fs::path host = folder / name;
        const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) return TempFile{std::move(name), FileHandle(fd)};
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

// The folder of a host entry; "." for a bare name.
fs::path FolderOf(const fs::path& entry) {
    return entry.has_parent_path() ? entry.parent_path() : fs::path(".");
}

// Moves a synced temporary file to its name; false with errno EEXIST when Keep finds it taken.
bool PlaceFile(const fs::path& temporary, const fs::path& target, Existing existing) {
    if (existing == Existing::Replace) return ::rename(temporary.c_str(), target.c_str()) == 0;
    return RenameNoReplace(temporary, target);
}

enum class Opened { File, Vanished, Failed };

// Opens the regular file of the path read-only, creating it when missing.
Opened OpenRegularFile(std::string_view path, int& fd, fs::path& host) {
    fd = -1;
    const detail::Creation creation = detail::CreateEntry(path, [&fd](const fs::path& entry) {
        fd = ::open(entry.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        return fd >= 0;
    });
    if (creation.status == CreateStatus::Exists) {
        // The holder removes the file when it lets go.
        if (!detail::MayUse(creation.host, detail::StoreUse::Change)) return Opened::Failed;
        fd = ::open(creation.host.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) return Opened::Vanished;
    }
    if (fd < 0) return Opened::Failed;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Opened::Failed;
    }
    host = creation.host;
    return Opened::File;
}

}  // namespace

bool FileExists(std::string_view path) {
    const std::optional<struct stat> st = StatOf(path);
    return st && !S_ISDIR(st->st_mode);
}

bool DirectoryExists(std::string_view path) {
    const std::optional<struct stat> st = StatOf(path);
    return st && S_ISDIR(st->st_mode);
}

namespace {

// ForceDirectories, the last component found or made as `last` says.
bool ForceFolders(std::string_view path, detail::Aliases last) {
    if (Trim(path).empty()) return false;
    const std::optional<detail::WindowsPath> parsed = detail::ParseWindowsPath(path);
    if (!parsed) return false;
    fs::path host = parsed->root;
    for (std::size_t i = 0; i < parsed->names.size(); ++i) {
        const detail::Aliases aliases =
            i + 1 == parsed->names.size() ? last : detail::Aliases::Count;
        const detail::Creation creation = detail::CreateEntryIn(
            host, parsed->names[i],
            [](const fs::path& p) { return ::mkdir(p.c_str(), 0700) == 0 || errno == EEXIST; },
            aliases);
        if (creation.status == CreateStatus::Failed) return false;
        host = creation.host;
    }
    std::error_code error;
    return fs::is_directory(host, error);
}

}  // namespace

bool ForceDirectories(std::string_view path) {
    return ForceFolders(path, detail::Aliases::Count);
}

bool ForceOwnDirectory(std::string_view path) {
    return ForceFolders(path, detail::Aliases::Ignore);
}

bool DeleteFile(std::string_view path) {
    const std::optional<fs::path> host = UsableEntry(path, detail::StoreUse::Change);
    struct stat st;
    if (!host || ::lstat(host->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(host->c_str()) == 0;
}

bool MoveFile(std::string_view existingPath, std::string_view newPath) {
    const std::optional<fs::path> from = UsableEntry(existingPath, detail::StoreUse::Change);
    const std::optional<Placement> target = PlacementOf(newPath);
    if (!from || !target || !detail::IsValidName(target->name)) return false;
    const detail::FolderLock lock(target->folder);
    if (!lock.Held()) return false;
    const fs::path to = target->folder / AnsiToUtf8(target->name);
    if (const auto existing = detail::FindEntry(target->folder, target->name)) {
        if (!SameEntry(*from, target->folder / *existing)) return false;
        return ::rename(from->c_str(), to.c_str()) == 0;
    }
    return RenameNoReplace(*from, to);
}

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileHandle::~FileHandle() {
    Close();
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool FileHandle::Write(std::string_view bytes) {
    return fd_ >= 0 && WriteAll(fd_, bytes);
}

std::ptrdiff_t FileHandle::Read(void* buffer, std::size_t count) {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool FileHandle::Close() {
    if (fd_ < 0) return false;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

bool CopyFileContent(int in, int out) {
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::sendfile(out, in, &offset, 1 << 30);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EINVAL && errno != ENOSYS) return false;
        break;
    }
    std::array<char, 1 << 16> buffer;
    for (;;) {
        const ssize_t n = ::pread(in, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
            return false;
        }
        offset += n;
    }
}

FileHandle FileOpenRead(std::string_view path) {
    const std::optional<fs::path> host = UsableEntry(path, detail::StoreUse::Read);
    if (!host) return {};
    return FileHandle(::open(host->c_str(), O_RDONLY | O_CLOEXEC));
}

NewFile CreateNewFile(std::string_view path) {
    int fd = -1;
    const detail::Creation creation = detail::CreateEntry(path, [&fd](const fs::path& host) {
        fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        return fd >= 0;
    });
    return NewFile{creation.status, FileHandle(fd)};
}

HeldFile::HeldFile(std::string_view path) {
    // A holder removes the file before it lets go, so a file taken just then may no longer
    // be the one under the name: it is let go and the name tried again.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int fd = -1;
        const Opened opened = OpenRegularFile(path, fd, host_);
        if (opened == Opened::Vanished) continue;
        if (opened == Opened::Failed) return;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            status_ = errno == EWOULDBLOCK ? CreateStatus::Exists : CreateStatus::Failed;
            ::close(fd);
            return;
        }
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_nlink > 0) {
            fd_ = fd;
            status_ = CreateStatus::Created;
            return;
        }
        ::close(fd);
    }
    status_ = CreateStatus::Exists;
}

HeldFile::~HeldFile() {
    if (fd_ < 0) return;
    ::unlink(host_.c_str());
    ::close(fd_);
}

std::string CreateTempFileName(std::string_view folder) {
    const std::optional<fs::path> host = ExistingEntry(folder);
    if (!host) return {};
    std::optional<TempFile> temp = CreateTempIn(*host);
    if (!temp || !temp->file.Close()) return {};
    return temp->name;
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
    const std::optional<fs::path> host = UsableEntry(path, detail::StoreUse::Read);
    if (!host) return std::nullopt;
    const int fd = ::open(host->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (n < 0) return std::nullopt;
    return content;
}

bool WriteWholeFile(std::string_view path, std::string_view bytes) {
    FileHandle file = detail::OpenForWriting(path, O_TRUNC);
    const bool written = file.Write(bytes);
    return file.Close() && written;
}

bool WriteFileAtomically(std::string_view path, std::string_view bytes) {
    const std::optional<Placement> target = PlacementOf(path);
    if (!target || !detail::IsValidName(target->name)) return false;
    const std::optional<std::string> existing = detail::FindEntry(target->folder, target->name);
    if (existing && !detail::MayUse(target->folder / *existing, detail::StoreUse::Change)) {
        return false;
    }
    return WriteFileDurably(target->folder / (existing ? *existing : AnsiToUtf8(target->name)),
                            bytes);
}

DurableWrite WriteFileDurably(const fs::path& target, Existing existing,
                              const std::function<bool(int fd)>& fill) {
    DurableFile file(target);
    if (!file.IsOpen() || !fill(file.Descriptor())) return DurableWrite::Failed;
    const DurableWrite placed = file.Place(existing);
    // A file in place whose folder cannot be synced is not known to last: not written.
    if (placed == DurableWrite::Written && !SyncFolder(FolderOf(target))) {
        return DurableWrite::Failed;
    }
    return placed;
}

bool WriteFileDurably(const fs::path& target, std::string_view bytes) {
    const auto fill = [bytes](int fd) { return WriteAll(fd, bytes); };
    return WriteFileDurably(target, Existing::Replace, fill) == DurableWrite::Written;
}

DurableFile::DurableFile(fs::path target)
    : target_(std::move(target)),
      temporary_((FolderOf(target_) / ("." + target_.filename().string() + ".XXXXXX")).string()),
      file_(::mkostemp(temporary_.data(), O_CLOEXEC)) {}

DurableFile::~DurableFile() {
    if (file_.IsOpen()) ::unlink(temporary_.c_str());
}

DurableWrite DurableFile::Place(Existing existing) {
    if (!file_.IsOpen()) return DurableWrite::Failed;
    const bool synced = ::fsync(file_.Descriptor()) == 0;
    if (!file_.Close() || !synced) {
        ::unlink(temporary_.c_str());
        return DurableWrite::Failed;
    }
    if (PlaceFile(temporary_, target_, existing)) return DurableWrite::Written;
    const bool taken = errno == EEXIST;
    ::unlink(temporary_.c_str());
    return taken ? DurableWrite::Exists : DurableWrite::Failed;
}

bool SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace win
