// Processes: CreateProcess, waiting for a process to end and its exit code.
//
// CreateProcess takes no application name: the first token of the command line names the
// program. A quoted token is used up to its closing quote; an unquoted one that contains
// blanks is tried with growing prefixes ("C:\Program" before "C:\Program Files\..."), as
// Windows does. A name without a drive is searched in the calling program's folder
// (GetModuleFileName's), the current folder, the system folder, the Windows folder, then each
// folder of PATH (host folders). The rest of the command line becomes the program's
// arguments by the Windows rules. The child inherits the environment (VREL_MACHINE and the
// clock settings with it) and the standard streams, and starts in the given folder or the
// caller's current folder.
//
// Failures answer false, with the reason in GetLastError(): 2 program not found, 267 no
// such folder, 87 an application name was given (not supported).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winerror.h"

namespace win {

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD STILL_ACTIVE = 259;

// A process handle (or the handle of its first thread, which only stands for it). Closing is
// releasing; the destructor does it.
class HANDLE {
  public:
    HANDLE() = default;
    HANDLE(HANDLE&& other) noexcept;
    HANDLE& operator=(HANDLE&& other) noexcept;
    HANDLE(const HANDLE&) = delete;
    HANDLE& operator=(const HANDLE&) = delete;
    ~HANDLE();

    explicit operator bool() const { return pid_ > 0; }

  private:
    friend struct ProcessHandleAccess;
    int pid_ = -1;
    int pidfd_ = -1;  // -1 for a thread handle
    bool ended_ = false;
    int exitCode_ = 0;
};

// A command line's program (a host file), found by the rules above, and its arguments;
// nothing when no prefix names an existing file.
struct CommandLine {
    std::filesystem::path program;
    std::vector<std::string> arguments;
};
std::optional<CommandLine> ParseCommandLine(std::string_view commandLine);

struct STARTUPINFO {};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

bool CreateProcess(const char* applicationName, std::string_view commandLine, bool inheritHandles,
                   DWORD creationFlags, const char* currentDirectory,
                   const STARTUPINFO& startupInfo, PROCESS_INFORMATION& processInformation);
inline bool CreateProcessA(const char* applicationName, std::string_view commandLine,
                           bool inheritHandles, DWORD creationFlags, const char* currentDirectory,
                           const STARTUPINFO& startupInfo,
                           PROCESS_INFORMATION& processInformation) {
    return CreateProcess(applicationName, commandLine, inheritHandles, creationFlags,
                         currentDirectory, startupInfo, processInformation);
}

// Waits on the machine's clock (INFINITE: without a limit) for the process to end:
// WAIT_OBJECT_0 when it has, WAIT_TIMEOUT, or WAIT_FAILED for a thread or empty handle.
DWORD WaitForSingleObject(HANDLE& process, DWORD milliseconds);
// The exit code, STILL_ACTIVE while it runs.
bool GetExitCodeProcess(HANDLE& process, DWORD& exitCode);
bool CloseHandle(HANDLE& handle);

}  // namespace win
