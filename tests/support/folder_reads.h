// Sees a host folder's own work from outside: how often it is opened for reading its entries
// (by any process), and a shell command run in a folder as another process would change it.
#pragma once

#include <filesystem>
#include <string>

namespace vrel::test {

// While it lives, counts the openings of the folder itself (not of its entries).
class FolderReads {
  public:
    explicit FolderReads(const std::filesystem::path& folder);
    FolderReads(const FolderReads&) = delete;
    FolderReads& operator=(const FolderReads&) = delete;
    ~FolderReads();

    // The openings since the last call; the kernel has queued them by the time the opening
    // call returned.
    int Take();

  private:
    int fd_;
};

// Runs `sh -c command` in the folder; throws unless it exits 0.
void Shell(const std::filesystem::path& folder, const std::string& command);

}  // namespace vrel::test
