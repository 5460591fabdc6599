// File functions of the machine, with the Windows and runtime-library names the suite calls.
// Every path is a Windows path with the rules of paths.h (case-insensitive, 8.3 aliases,
// drives C: and Z:). Nothing here throws or prints: failures are results.
//
// Decisions of the stand-in:
// - Attributes: directories are faDirectory, files are faArchive, a name starting with "." is
//   faHidden, an entry without write permission for its owner is faReadOnly; faSysFile and
//   faVolumeID never occur. A search does not list "." and "..".
// - Names made here must be valid Windows names (no control characters, none of <>:"/\|?*).
// - Whole-file writes (WriteFileDurably, WriteFileAtomically) are atomic against a writer
//   that dies and durable against a power failure: the file is synced before it takes its
//   name and the folder after.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace win {

// The component library's error for a file that a stream or a text list cannot open. The
// functions here never raise it (their failures are results); callers that load a file the
// way the library does raise it with the file's name.
class EFOpenError : public std::runtime_error {
  public:
    explicit EFOpenError(std::string_view fileName)
        : std::runtime_error("Cannot open file \"" + std::string(fileName) + "\"") {}
};

// The machine's store (its database, log, shared memory and journal) is opened by the store
// alone: every function here that opens, writes, replaces, moves or deletes an existing file
// refuses the store's files, whatever path names them, with the last error
// ERROR_SHARING_VIOLATION, as Windows refuses an open registry hive.
// True when the host entry is one of the store's files, by device and inode.
bool IsStoreFile(const std::filesystem::path& host);

bool FileExists(std::string_view path);       // false for a directory
bool DirectoryExists(std::string_view path);  // false for a file
// Creates the folder and every missing folder above it; true when the folder exists after.
bool ForceDirectories(std::string_view path);
// ForceDirectories for a folder that must be its name's own (a mailbox folder named after
// its user): the last component is found only by its long name, in any letter case, never as
// the 8.3 alias of another entry; when no long name matches, the folder is made with that
// name and the other entry's alias moves (see GetShortPathName).
bool ForceOwnDirectory(std::string_view path);
bool DeleteFile(std::string_view path);  // files only
// Renames a file or folder; fails when the target exists (unless it is the same entry, so a
// change of letter case works) or the source does not.
bool MoveFile(std::string_view existingPath, std::string_view newPath);

// Attributes of a search record and of a search's attribute mask.
inline constexpr int faReadOnly = 0x01;
inline constexpr int faHidden = 0x02;
inline constexpr int faSysFile = 0x04;
inline constexpr int faVolumeID = 0x08;
inline constexpr int faDirectory = 0x10;
inline constexpr int faArchive = 0x20;
inline constexpr int faAnyFile = 0x3F;

namespace detail {
struct Search;
}

struct TSearchRec {
    std::int64_t Size = 0;
    int Attr = 0;
    std::string Name;  // the long name, 8-bit
    std::shared_ptr<detail::Search> FindHandle;
};

// Searches a folder: the last component of `pattern` holds "*" (any run of characters) and "?"
// (one character), matched against long names without regard to case ("*.*" matches every
// name, "x.*" matches "x" too). An entry matches the mask as the VCL has it: it is left out
// when it is hidden, a system file, a volume id or a directory and that attribute is not in
// `attr`; read-only and archive entries always match. Entries come in the order of their
// 8-bit names upper-cased by the machine's rule (bytes compared), as the suite's file system
// lists them.
// Results: 0 when F holds an entry, else a Windows error code: 2 (no entry matches), 3 (no
// such folder), 18 (FindNext: no more entries).
int FindFirst(std::string_view pattern, int attr, TSearchRec& F);
int FindNext(TSearchRec& F);
void FindClose(TSearchRec& F);  // also done when F is destroyed

// An open host file. Move-only; closed on destruction.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    bool Write(std::string_view bytes);  // all of them, or false
    // Up to count bytes (FileRead): their number, 0 at the end of the file, -1 on failure.
    std::ptrdiff_t Read(void* buffer, std::size_t count);
    bool Close();  // false when the file was not open or the close failed

  private:
    int fd_ = -1;
};

// Writes all the bytes to an open descriptor, going on after interruptions; false on failure.
bool WriteAll(int fd, std::string_view bytes);
// Copies the whole file behind `in` to `out`: in the kernel where it can, else through a large
// buffer. Reads by offset, so one file can be copied any number of times.
bool CopyFileContent(int in, int out);

// Opens an existing file for reading only (FileOpen with fmOpenRead); the handle is not open
// when the file cannot be opened.
FileHandle FileOpenRead(std::string_view path);

enum class CreateStatus { Created, Exists, Failed };

struct NewFile {
    CreateStatus status;
    FileHandle file;  // open for writing when status is Created
};

// Creates the file only when no entry of that name (in any letter case) exists: the test and
// the creation are one step, so of many callers racing for one name exactly one gets Created.
NewFile CreateNewFile(std::string_view path);

// A file that one holder keeps open for itself, as CreateFile with no sharing and
// FILE_FLAG_DELETE_ON_CLOSE does: opened (created when missing) and held, then removed and let
// go when the object goes. The hold ends with the holder's process however it ends, so a
// file left behind by a killed holder is free again: the next caller takes it over. Of many
// callers racing for one name, exactly one holds it.
class HeldFile {
  public:
    // Created: this object holds the file; Exists: another holder has it; Failed: it cannot
    // be opened (no folder, no rights, a folder of that name).
    explicit HeldFile(std::string_view path);
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile();

    CreateStatus Status() const { return status_; }

  private:
    std::filesystem::path host_;
    int fd_ = -1;
    CreateStatus status_ = CreateStatus::Failed;
};

// Reserves a fresh name in `folder`: "TMP" + the smallest counter from 1 up that no entry uses
// + ".$$$"; the file is created empty so that no other caller gets it. The name alone is
// returned (the runtime library's temporary-name form); empty when none can be made.
std::string CreateTempFileName(std::string_view folder);

std::optional<std::string> ReadWholeFile(std::string_view path);
// Creates or overwrites the file with the bytes.
bool WriteWholeFile(std::string_view path, std::string_view bytes);
// Creates or overwrites the file (its name in any letter case) through WriteFileDurably.
// The folder is not created.
bool WriteFileAtomically(std::string_view path, std::string_view bytes);

// Whether a whole-file write may take the place of an existing file.
enum class Existing { Replace, Keep };
enum class DurableWrite { Written, Exists, Failed };

// The one way the machine's programs write a file that must appear whole or not at all, and
// stay after a power failure once written: `fill` writes a temporary file in the target's
// folder (a hidden name, "." + the target's name + a random suffix, that no "*.eml" listing
// takes), which is synced, renamed to the host path `target` (with Keep, only when no entry
// of that name exists: Exists otherwise) and then the folder is synced. The file is readable
// and writable by its owner only. The folder is not created; a failure leaves no temporary.
DurableWrite WriteFileDurably(const std::filesystem::path& target, Existing existing,
                              const std::function<bool(int fd)>& fill);
// The bytes as the whole file, replacing any; true when written.
bool WriteFileDurably(const std::filesystem::path& target, std::string_view bytes);

// WriteFileDurably in steps, for a file written as its bytes arrive or one of several made
// together in a folder: the temporary file is made at once, Write adds to it, and Place
// syncs it and gives it its name. The folder is not synced by Place: the caller syncs it
// with SyncFolder once for all the files it placed there, and only then may count on them.
// A file not placed is removed when the object goes.
class DurableFile {
  public:
    explicit DurableFile(std::filesystem::path target);
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;
    ~DurableFile();

    bool IsOpen() const { return file_.IsOpen(); }
    int Descriptor() const { return file_.Descriptor(); }
    bool Write(std::string_view bytes) { return file_.Write(bytes); }
    // Written: the file has its name; Exists: Keep found the name taken; Failed otherwise. In
    // both failures the temporary is gone.
    DurableWrite Place(Existing existing);

  private:
    std::filesystem::path target_;
    std::string temporary_;
    FileHandle file_;
};

// Makes the entries made, renamed or removed in the host folder last after a power failure.
bool SyncFolder(const std::filesystem::path& folder);

// A text stream opened for appending, as the runtime library's fopen(path, "a+") in text mode:
// the file is created when missing, and every LF written is stored as CR LF (so a text ending
// in CR LF is stored ending in CR CR LF). Each write goes to the file at once.
class TextAppendFile {
  public:
    explicit TextAppendFile(std::string_view path);
    TextAppendFile(const TextAppendFile&) = delete;
    TextAppendFile& operator=(const TextAppendFile&) = delete;

    bool IsOpen() const { return file_.IsOpen(); }
    bool Puts(std::string_view text);                                            // fputs
    bool Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));  // fprintf
    bool Close();  // also done on destruction

  private:
    FileHandle file_;
};

}  // namespace win
