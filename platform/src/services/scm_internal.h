// Internal: what the manager side and the service side of the service control manager
// share: the files under run/, the state rows in machine.db, the control channel and the
// launch of a service process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scm.h"
#include "store/db.h"

namespace win::scm {

inline constexpr std::string_view kServicesKey = "\\SYSTEM\\CurrentControlSet\\Services\\";
// What StartService tells the service process: its service name and the generation of its
// state row. The lock file is its descriptor 3.
inline constexpr const char* kServiceNameVariable = "VREL_SERVICE";
inline constexpr const char* kGenerationVariable = "VREL_SERVICE_GENERATION";
inline constexpr int kLockDescriptor = 3;
// The time a service's handler has to take a control.
inline constexpr DWORD kControlTimeoutMs = 30000;

// One lock file per start, so that a check never contends with a new start's lock.
std::filesystem::path LockPath(std::string_view name, std::int64_t generation);
std::filesystem::path SocketPath(std::string_view name);
std::filesystem::path LogPath(std::string_view name);

// True while the process holding the lock of that start is alive.
bool ProcessAlive(std::string_view name, std::int64_t generation);

struct StateRow {
    std::int64_t generation = 0;
    SERVICE_STATUS status;
    DWORD processId = 0;
    bool ended = false;  // the process is known to have ended
};
std::optional<StateRow> ReadState(Db& db, std::string_view name);
void WriteState(Db& db, std::string_view name, const StateRow& row);
// A status report of the running process of that start; reports of older starts are dropped.
void ReportState(Db& db, std::string_view name, std::int64_t generation,
                 const SERVICE_STATUS& status);
void DeleteState(Db& db, std::string_view name);

// Control channel: one request (the control code) and one reply (an error code) per
// connection.
int ListenForControls(const std::filesystem::path& path);
// The handler's reply, or 1061 when nobody listens, or 1053 when no reply comes in time.
DWORD SendControl(const std::filesystem::path& path, DWORD control);
// Reads one request from an accepted connection, lets handle answer it, and closes it.
void ServeControl(int connection, const std::function<DWORD(DWORD control)>& handle);

struct ServiceLaunch {
    std::string name;
    std::string commandLine;  // the image path as the database holds it
    std::int64_t generation = 0;
};
struct LaunchResult {
    DWORD error = ERROR_SUCCESS;
    pid_t processId = 0;
};
// Starts the detached service process holding a new lock; returns once it runs the program.
LaunchResult LaunchService(const ServiceLaunch& launch);

}  // namespace win::scm
