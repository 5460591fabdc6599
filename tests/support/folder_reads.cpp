#include "folder_reads.h"

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

namespace vrel::test {

FolderReads::FolderReads(const std::filesystem::path& folder)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0 || ::inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_ONLYDIR) < 0) {
        throw std::runtime_error("cannot watch " + folder.string());
    }
}

FolderReads::~FolderReads() {
    ::close(fd_);
}

int FolderReads::Take() {
    alignas(inotify_event) std::array<char, 4096> buffer;
    int openings = 0;
    ssize_t length;
    while ((length = ::read(fd_, buffer.data(), buffer.size())) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            if (event->len == 0) ++openings;  // the folder itself, not an entry of it
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return openings;
}

void Shell(const std::filesystem::path& folder, const std::string& command) {
    const std::string line = "cd '" + folder.string() + "' && " + command;
    const int status = std::system(line.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("failed: " + line);
    }
}

}  // namespace vrel::test
