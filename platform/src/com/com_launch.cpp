// Starting a local server; see com_launch.h. Everything the child needs is prepared
// before fork, so the child only calls what is safe between fork and exec.
#include "com/com_launch.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "store/machine.h"

namespace win::com {

std::optional<StartedServer> StartServer(const CommandLine& commandLine) {
    const std::string program = commandLine.program.string();
    const std::string log = (RunFolder() / (commandLine.program.stem().string() + ".log")).string();
    const std::string folder = ToHostPath(GetSystemDirectory()).string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : commandLine.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    int pidPipe[2], execPipe[2];
    if (::pipe2(pidPipe, O_CLOEXEC) != 0) return std::nullopt;
    Fd pidRead(pidPipe[0]), pidWrite(pidPipe[1]);
    if (::pipe2(execPipe, O_CLOEXEC) != 0) return std::nullopt;
    Fd execRead(execPipe[0]), execWrite(execPipe[1]);

    const pid_t middle = ::fork();
    if (middle < 0) return std::nullopt;
    if (middle == 0) {
        ::setsid();
        const pid_t server = ::fork();
        if (server == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (null >= 0 && err >= 0 && ::dup2(null, 0) >= 0 && ::dup2(null, 1) >= 0 &&
                ::dup2(err, 2) >= 0) {
                if (::chdir(folder.c_str()) != 0) ::chdir("/");
                ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
                ::execv(program.c_str(), argv.data());
            }
            const int failure = errno;
            ::write(execPipe[1], &failure, sizeof failure);
            ::_exit(127);
        }
        ::write(pidPipe[1], &server, sizeof server);
        ::_exit(0);
    }
    pidWrite.Reset();
    execWrite.Reset();
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    StartedServer started;
    int failure = 0;
    if (::read(pidRead.Get(), &started.pid, sizeof started.pid) != sizeof started.pid ||
        started.pid <= 0 || ::read(execRead.Get(), &failure, sizeof failure) != 0) {
        return std::nullopt;
    }
    started.pidfd = Fd(static_cast<int>(::syscall(SYS_pidfd_open, started.pid, 0)));
    return started;
}

bool HasEnded(const StartedServer& server) {
    if (!server.pidfd) return false;
    pollfd poller{server.pidfd.Get(), POLLIN, 0};
    return ::poll(&poller, 1, 0) > 0;
}

}  // namespace win::com
