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

#include "store/machine.h"
#include "platform/paths.h"

namespace win::com {
namespace fs = std::filesystem;
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool HasDrive(std::string_view name) {
    return (name.size() >= 2 && name[1] == ':') || name.starts_with("\\");
}

// The host file of a Windows program name, by the machine's path rules (case, 8.3
// aliases, ".exe").
std::optional<fs::path> ExistingProgram(const std::string& windowsName) {
    std::error_code error;
    const fs::path host = ToHostPath(windowsName);
    if (!host.empty() && fs::is_regular_file(host, error)) return host;
    return std::nullopt;
}

// Searched as CreateProcess does: the caller's folder, the current folder, the system
// folder and the Windows folder, unless the name carries its own path.
std::optional<fs::path> ResolveProgram(const std::string& name) {
    if (HasDrive(name)) return ExistingProgram(name);
    const std::string module = GetModuleFileName();
    for (const std::string& folder :
         {module.substr(0, module.find_last_of('\\')), GetCurrentDirectory(), GetSystemDirectory(),
          GetWindowsDirectory()}) {
        if (folder.empty()) continue;
        if (auto found = ExistingProgram(folder + "\\" + name)) return found;
    }
    return std::nullopt;
}

// CommandLineToArgv's rules: blanks separate, quotes group, backslashes escape a quote.
std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i == text.size()) return arguments;
        std::string argument;
        bool quoted = false;
        for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
            std::size_t slashes = 0;
            while (i < text.size() && text[i] == '\\') ++slashes, ++i;
            if (i < text.size() && text[i] == '"') {
                argument.append(slashes / 2, '\\');
                if (slashes % 2) {
                    argument.push_back('"');
                } else {
                    quoted = !quoted;
                }
                continue;
            }
            argument.append(slashes, '\\');
            if (i == text.size() || (!quoted && IsBlank(text[i]))) break;
            argument.push_back(text[i]);
        }
        arguments.push_back(std::move(argument));
    }
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(std::string_view commandLine) {
    while (!commandLine.empty() && IsBlank(commandLine.front())) commandLine.remove_prefix(1);
    if (commandLine.starts_with('"')) {
        const std::size_t close = commandLine.find('"', 1);
        if (close == std::string_view::npos) return std::nullopt;
        auto program = ResolveProgram(std::string(commandLine.substr(1, close - 1)));
        if (!program) return std::nullopt;
        return CommandLine{*program, SplitArguments(commandLine.substr(close + 1))};
    }
    for (std::size_t end = 0; end < commandLine.size();) {
        end = commandLine.find_first_of(" \t", end + 1);
        if (end == std::string_view::npos) end = commandLine.size();
        if (auto program = ResolveProgram(std::string(commandLine.substr(0, end)))) {
            return CommandLine{*program, SplitArguments(commandLine.substr(end))};
        }
    }
    return std::nullopt;
}

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
