// Processes: the command line's program search, CreateProcess and waits; see process.h.
// Everything the child needs is prepared before fork, so the child only calls what is safe
// between fork and exec.
#include "platform/process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "platform/clock.h"
#include "platform/paths.h"

namespace win {
namespace fs = std::filesystem;

struct ProcessHandleAccess {
    static HANDLE Make(int pid, int pidfd) {
        HANDLE handle;
        handle.pid_ = pid;
        handle.pidfd_ = pidfd;
        return handle;
    }
    // Collects the ended process's exit code once; true when it has ended.
    static bool Reap(HANDLE& handle, bool block) {
        if (handle.ended_) return true;
        int status = 0;
        pid_t reaped;
        while ((reaped = ::waitpid(handle.pid_, &status, block ? 0 : WNOHANG)) < 0 &&
               errno == EINTR) {
        }
        if (reaped != handle.pid_) return false;
        handle.ended_ = true;
        handle.exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }
    static bool IsProcess(const HANDLE& handle) { return handle.pid_ > 0 && handle.pidfd_ >= 0; }
    static int Pidfd(const HANDLE& handle) { return handle.pidfd_; }
    static int ExitCode(const HANDLE& handle) { return handle.exitCode_; }
    static void Release(HANDLE& handle) {
        if (IsProcess(handle)) {
            Reap(handle, false);
            ::close(handle.pidfd_);
        }
        handle.pid_ = -1;
        handle.pidfd_ = -1;
    }
};

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

std::optional<fs::path> FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        if (auto found = ExistingProgram(ToWindowsPath(folder) + "\\" + name)) return found;
    }
    return std::nullopt;
}

std::optional<fs::path> ResolveProgram(const std::string& name) {
    if (HasDrive(name)) return ExistingProgram(name);
    const std::string module = GetModuleFileName();
    for (const std::string& folder :
         {module.substr(0, module.find_last_of('\\')), GetCurrentDirectory(), GetSystemDirectory(),
          GetWindowsDirectory()}) {
        if (folder.empty()) continue;
        if (auto found = ExistingProgram(folder + "\\" + name)) return found;
    }
    return FindOnPath(name);
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

// Starts the program in the host folder; the child's pid, or -1 with errno set.
pid_t Spawn(const CommandLine& commandLine, const fs::path& folder) {
    const std::string program = commandLine.program.string();
    const std::string directory = folder.string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : commandLine.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int execPipe[2];
    if (::pipe2(execPipe, O_CLOEXEC) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(directory.c_str()) == 0) {
            ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            ::execv(program.c_str(), argv.data());
        }
        const int failure = errno;
        ::write(execPipe[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(execPipe[1]);
    int failure = 0;
    const bool execFailed = child > 0 && ::read(execPipe[0], &failure, sizeof failure) > 0;
    ::close(execPipe[0]);
    if (execFailed) {
        ::waitpid(child, nullptr, 0);
        errno = failure;
        return -1;
    }
    return child;
}

}  // namespace

HANDLE::HANDLE(HANDLE&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      pidfd_(std::exchange(other.pidfd_, -1)),
      ended_(other.ended_),
      exitCode_(other.exitCode_) {}

HANDLE& HANDLE::operator=(HANDLE&& other) noexcept {
    if (this != &other) {
        ProcessHandleAccess::Release(*this);
        pid_ = std::exchange(other.pid_, -1);
        pidfd_ = std::exchange(other.pidfd_, -1);
        ended_ = other.ended_;
        exitCode_ = other.exitCode_;
    }
    return *this;
}

HANDLE::~HANDLE() {
    ProcessHandleAccess::Release(*this);
}

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

bool CreateProcess(const char* applicationName, std::string_view commandLine, bool, DWORD,
                   const char* currentDirectory, const STARTUPINFO&,
                   PROCESS_INFORMATION& processInformation) {
    if (applicationName) return SetLastError(ERROR_INVALID_PARAMETER), false;
    const std::optional<CommandLine> parsed = ParseCommandLine(commandLine);
    if (!parsed) return SetLastError(ERROR_FILE_NOT_FOUND), false;
    std::error_code error;
    const fs::path folder =
        ToHostPath(currentDirectory ? std::string(currentDirectory) : GetCurrentDirectory());
    if (folder.empty() || !fs::is_directory(folder, error)) {
        return SetLastError(ERROR_DIRECTORY), false;
    }
    const pid_t child = Spawn(*parsed, folder);
    if (child < 0) return SetLastError(ERROR_FILE_NOT_FOUND), false;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    processInformation.hProcess = ProcessHandleAccess::Make(child, pidfd);
    processInformation.hThread = ProcessHandleAccess::Make(child, -1);
    processInformation.dwProcessId = static_cast<DWORD>(child);
    processInformation.dwThreadId = static_cast<DWORD>(child);
    return true;
}

DWORD WaitForSingleObject(HANDLE& process, DWORD milliseconds) {
    if (!ProcessHandleAccess::IsProcess(process))
        return SetLastError(ERROR_INVALID_HANDLE), WAIT_FAILED;
    if (milliseconds == INFINITE) {
        ProcessHandleAccess::Reap(process, true);
        return WAIT_OBJECT_0;
    }
    pollfd poller{ProcessHandleAccess::Pidfd(process), POLLIN, 0};
    const auto wait = ScaledWait(milliseconds).count();
    int ready;
    while ((ready = ::poll(&poller, 1, static_cast<int>(wait))) < 0 && errno == EINTR) {
    }
    if (ready <= 0) return WAIT_TIMEOUT;
    ProcessHandleAccess::Reap(process, true);
    return WAIT_OBJECT_0;
}

bool GetExitCodeProcess(HANDLE& process, DWORD& exitCode) {
    if (!ProcessHandleAccess::IsProcess(process)) return SetLastError(ERROR_INVALID_HANDLE), false;
    exitCode = ProcessHandleAccess::Reap(process, false)
                   ? static_cast<DWORD>(ProcessHandleAccess::ExitCode(process))
                   : STILL_ACTIVE;
    return true;
}

bool CloseHandle(HANDLE& handle) {
    if (!handle) return SetLastError(ERROR_INVALID_HANDLE), false;
    ProcessHandleAccess::Release(handle);
    return true;
}

}  // namespace win
