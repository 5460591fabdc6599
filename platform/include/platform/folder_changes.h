// FolderChanges: whether the entries of one folder changed since a moment, as a program on
// Windows learns it from a change notification of the folder (file and folder names, sizes,
// attributes and writes; the subtree is not watched). The suite uses it to keep what it built
// from a folder's listing while the listing would still give the same.
//
// Decisions of the stand-in: the kernel's notices are read before every answer, so a change
// made by any process before Changed() is called is seen by it. The folder counts as changed
// too when its path now names another folder, when it was moved or removed, and when notices
// were lost. Writes through a memory mapping and through a hard link kept in another folder
// give no notice.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace win {

class FolderChanges {
  public:
    // Tells whether a change of the entry with this 8-bit name is of no interest.
    using Ignored = std::function<bool(std::string_view name)>;

    // Watches the folder of the Windows path from now on; a folder that does not exist or
    // cannot be watched reads as changed.
    FolderChanges(std::string_view folder, Ignored ignored);
    FolderChanges(const FolderChanges&) = delete;
    FolderChanges& operator=(const FolderChanges&) = delete;
    ~FolderChanges();

    bool Changed();

  private:
    void OnNotice(std::uint32_t mask, std::string_view name);

    std::string folder_;
    Ignored ignored_;
    std::filesystem::path host_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::uint64_t watch_ = 0;
    bool changed_ = false;
};

}  // namespace win
