// The running state of services: one row per service in machine.db and the lock files under
// run/ that tell whether the process of a start is still alive. The rows are written by
// StartService, by the service process's status reports and by whoever finds a process ended.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "services/scm_internal.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace schema {

void CreateServices(Db& db) {
    db.Exec(
        "CREATE TABLE IF NOT EXISTS service_state(name TEXT PRIMARY KEY COLLATE NOCASE1252,"
        " generation INTEGER NOT NULL, state INTEGER NOT NULL, service_type INTEGER NOT NULL,"
        " controls_accepted INTEGER NOT NULL, win32_exit_code INTEGER NOT NULL,"
        " specific_exit_code INTEGER NOT NULL, check_point INTEGER NOT NULL,"
        " wait_hint INTEGER NOT NULL, process_id INTEGER NOT NULL, ended INTEGER NOT NULL)");
}

}  // namespace schema

namespace scm {
namespace fs = std::filesystem;

fs::path LockPath(std::string_view name, std::int64_t generation) {
    return RunFolder() / (std::string(name) + "." + std::to_string(generation) + ".lock");
}

fs::path SocketPath(std::string_view name) {
    return RunFolder() / (std::string(name) + ".sock");
}

fs::path LogPath(std::string_view name) {
    return RunFolder() / (std::string(name) + ".log");
}

bool ProcessAlive(std::string_view name, std::int64_t generation) {
    const int fd = ::open(LockPath(name, generation).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // A shared try-lock: checkers never block each other, only the holder's exclusive lock
    // refuses them.
    const bool alive = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return alive;
}

std::optional<StateRow> ReadState(Db& db, std::string_view name) {
    auto select = db.Prepare(
        "SELECT generation, state, service_type, controls_accepted, win32_exit_code,"
        " specific_exit_code, check_point, wait_hint, process_id, ended"
        " FROM service_state WHERE name = ?1");
    select.Bind(1, name);
    if (!select.Step()) return std::nullopt;
    StateRow row;
    row.generation = select.Int(0);
    const auto dword = [&](int column) { return static_cast<DWORD>(select.Int(column)); };
    row.status =
        SERVICE_STATUS{dword(2), dword(1), dword(3), dword(4), dword(5), dword(6), dword(7)};
    row.processId = dword(8);
    row.ended = select.Int(9) != 0;
    return row;
}

void WriteState(Db& db, std::string_view name, const StateRow& row) {
    db.Prepare(
          "INSERT OR REPLACE INTO service_state(name, generation, state, service_type,"
          " controls_accepted, win32_exit_code, specific_exit_code, check_point, wait_hint,"
          " process_id, ended) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)")
        .Bind(1, name)
        .Bind(2, row.generation)
        .Bind(3, row.status.dwCurrentState)
        .Bind(4, row.status.dwServiceType)
        .Bind(5, row.status.dwControlsAccepted)
        .Bind(6, row.status.dwWin32ExitCode)
        .Bind(7, row.status.dwServiceSpecificExitCode)
        .Bind(8, row.status.dwCheckPoint)
        .Bind(9, row.status.dwWaitHint)
        .Bind(10, row.processId)
        .Bind(11, row.ended ? 1 : 0)
        .Step();
}

void ReportState(Db& db, std::string_view name, std::int64_t generation,
                 const SERVICE_STATUS& status) {
    db.Prepare(
          "UPDATE service_state SET state = ?3, service_type = ?4, controls_accepted = ?5,"
          " win32_exit_code = ?6, specific_exit_code = ?7, check_point = ?8, wait_hint = ?9"
          " WHERE name = ?1 AND generation = ?2 AND ended = 0")
        .Bind(1, name)
        .Bind(2, generation)
        .Bind(3, status.dwCurrentState)
        .Bind(4, status.dwServiceType)
        .Bind(5, status.dwControlsAccepted)
        .Bind(6, status.dwWin32ExitCode)
        .Bind(7, status.dwServiceSpecificExitCode)
        .Bind(8, status.dwCheckPoint)
        .Bind(9, status.dwWaitHint)
        .Step();
}

void DeleteState(Db& db, std::string_view name) {
    db.Prepare("DELETE FROM service_state WHERE name = ?1").Bind(1, name).Step();
}

}  // namespace scm
}  // namespace win
