#include "workers.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace vrel::test {
namespace {

std::string ReadAll(int fd) {
    std::string text;
    std::array<char, 4096> buffer;
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) text.append(buffer.data(), n);
    ::close(fd);
    return text;
}

}  // namespace

std::vector<WorkerResult> RunWorkers(int count, const std::function<int(int, int)>& work) {
    std::vector<pid_t> children;
    std::vector<int> pipes;
    for (int index = 0; index < count; ++index) {
        int ends[2];
        if (::pipe(ends) != 0) throw std::runtime_error("pipe failed");
        const pid_t child = ::fork();
        if (child < 0) throw std::runtime_error("fork failed");
        if (child == 0) {
            ::close(ends[0]);
            ::_exit(work(index, ends[1]));  // no exit handlers: they belong to the test process
        }
        ::close(ends[1]);
        children.push_back(child);
        pipes.push_back(ends[0]);
    }
    std::vector<WorkerResult> results;
    for (int index = 0; index < count; ++index) {
        std::string report = ReadAll(pipes[index]);
        int status = 0;
        ::waitpid(children[index], &status, 0);
        results.push_back({WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::move(report)});
    }
    return results;
}

}  // namespace vrel::test
