// The service control manager of the machine, both sides of it.
//
// Manager side (the settings program, winhost sc and boot): open, create, delete, start,
// control and query services. The service database is the registry key
// HKLM\SYSTEM\CurrentControlSet\Services\<name> (Type, Start, ErrorControl, ImagePath,
// DisplayName, ObjectName); a key without "Type" is no service. The running state of each
// service is a row in machine.db, written by the service process through SetServiceStatus.
//
// Liveness is a lock file under run/ that StartService locks (flock) and hands to the service
// process as descriptor 3; it is released only when that process has ended, so a service
// whose process died reads STOPPED whatever it last reported, and a service that reported
// STOPPED reads STOP_PENDING until its process has ended. Nothing looks at process ids
// except QueryServiceStatusEx, which reports the one StartService launched.
//
// StartService launches the image path as a detached process (own session, standard input
// and output on /dev/null, standard error appended to run/<name>.log, every other descriptor
// closed) and returns at once; the service reads START_PENDING until its framework reports
// more. ControlService sends the control over the service's Unix socket run/<name>.sock and
// waits (30000 ms, through the machine's clock) for its handler to take it.
//
// A service deleted while its process runs is marked ("DeleteFlag" = 1): start, delete and
// a second create give 1072, and the first caller that finds its process ended removes it.
//
// Failures answer false or a null handle, with the reason in GetLastError().
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winerror.h"

namespace win {

inline constexpr std::string_view SERVICES_ACTIVE_DATABASE = "ServicesActive";

// Service types.
inline constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x100;

// Start types.
inline constexpr DWORD SERVICE_BOOT_START = 0;
inline constexpr DWORD SERVICE_SYSTEM_START = 1;
inline constexpr DWORD SERVICE_AUTO_START = 2;
inline constexpr DWORD SERVICE_DEMAND_START = 3;
inline constexpr DWORD SERVICE_DISABLED = 4;

// Error control.
inline constexpr DWORD SERVICE_ERROR_IGNORE = 0;
inline constexpr DWORD SERVICE_ERROR_NORMAL = 1;
inline constexpr DWORD SERVICE_ERROR_SEVERE = 2;
inline constexpr DWORD SERVICE_ERROR_CRITICAL = 3;

// Current states.
inline constexpr DWORD SERVICE_STOPPED = 1;
inline constexpr DWORD SERVICE_START_PENDING = 2;
inline constexpr DWORD SERVICE_STOP_PENDING = 3;
inline constexpr DWORD SERVICE_RUNNING = 4;
inline constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
inline constexpr DWORD SERVICE_PAUSE_PENDING = 6;
inline constexpr DWORD SERVICE_PAUSED = 7;

// Controls and the controls a service accepts.
inline constexpr DWORD SERVICE_CONTROL_STOP = 1;
inline constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
inline constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
inline constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 5;
inline constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;
inline constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2;
inline constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x4;

// Access rights.
inline constexpr DWORD SC_MANAGER_CONNECT = 0x1;
inline constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x2;
inline constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x4;
inline constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr DWORD SERVICE_QUERY_CONFIG = 0x1;
inline constexpr DWORD SERVICE_CHANGE_CONFIG = 0x2;
inline constexpr DWORD SERVICE_QUERY_STATUS = 0x4;
inline constexpr DWORD SERVICE_START = 0x10;
inline constexpr DWORD SERVICE_STOP = 0x20;
inline constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x40;
inline constexpr DWORD SERVICE_INTERROGATE = 0x80;
inline constexpr DWORD SERVICE_DELETE = 0x10000;  // DELETE
inline constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

// Which services EnumServicesStatus lists.
inline constexpr DWORD SERVICE_ACTIVE = 0x1;
inline constexpr DWORD SERVICE_INACTIVE = 0x2;
inline constexpr DWORD SERVICE_STATE_ALL = 0x3;

struct SERVICE_STATUS {
    DWORD dwServiceType = 0;
    DWORD dwCurrentState = 0;
    DWORD dwControlsAccepted = 0;
    DWORD dwWin32ExitCode = 0;
    DWORD dwServiceSpecificExitCode = 0;
    DWORD dwCheckPoint = 0;
    DWORD dwWaitHint = 0;
};

struct SERVICE_STATUS_PROCESS : SERVICE_STATUS {
    DWORD dwProcessId = 0;  // 0 unless the service's process is alive
};

struct QUERY_SERVICE_CONFIG {
    DWORD dwServiceType = 0;
    DWORD dwStartType = 0;
    DWORD dwErrorControl = 0;
    std::string lpBinaryPathName;
    std::string lpLoadOrderGroup;
    std::string lpDependencies;
    std::string lpServiceStartName;
    std::string lpDisplayName;
};

struct ENUM_SERVICE_STATUS {
    std::string lpServiceName;
    std::string lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};

// A handle to the manager or to one service. Closing is releasing; the destructor does it.
class SC_HANDLE {
  public:
    SC_HANDLE() = default;
    SC_HANDLE(SC_HANDLE&& other) noexcept;
    SC_HANDLE& operator=(SC_HANDLE&& other) noexcept;
    SC_HANDLE(const SC_HANDLE&) = delete;
    SC_HANDLE& operator=(const SC_HANDLE&) = delete;
    ~SC_HANDLE() = default;

    explicit operator bool() const { return kind_ != Kind::None; }

  private:
    friend struct ScmHandleAccess;
    enum class Kind { None, Manager, Service };
    Kind kind_ = Kind::None;
    DWORD access_ = 0;
    std::string serviceName_;  // the name as the database keeps it
};

// A null or empty machine name is the local machine; a null or empty database name, or
// SERVICES_ACTIVE_DATABASE, its active database.
SC_HANDLE OpenSCManager(const char* machineName, const char* databaseName, DWORD desiredAccess);
SC_HANDLE OpenService(const SC_HANDLE& manager, std::string_view serviceName, DWORD desiredAccess);
// Writes the service's key; an empty serviceStartName is LocalSystem. Services here have
// no dependencies, and the password of an account is not kept.
SC_HANDLE CreateService(const SC_HANDLE& manager, std::string_view serviceName,
                        std::string_view displayName, DWORD desiredAccess, DWORD serviceType,
                        DWORD startType, DWORD errorControl, std::string_view binaryPathName,
                        std::string_view loadOrderGroup = {},
                        std::string_view serviceStartName = {}, std::string_view password = {});
bool DeleteService(const SC_HANDLE& service);
bool StartService(const SC_HANDLE& service);
// On success and on 1052, 1061 and 1062, status holds the service's status.
bool ControlService(const SC_HANDLE& service, DWORD control, SERVICE_STATUS& status);
bool QueryServiceStatus(const SC_HANDLE& service, SERVICE_STATUS& status);
bool QueryServiceStatusEx(const SC_HANDLE& service, SERVICE_STATUS_PROCESS& status);
bool QueryServiceConfig(const SC_HANDLE& service, QUERY_SERVICE_CONFIG& config);
// Services in the order of their names.
bool EnumServicesStatus(const SC_HANDLE& manager, DWORD serviceState,
                        std::vector<ENUM_SERVICE_STATUS>& services);
bool CloseServiceHandle(SC_HANDLE& handle);

// The ANSI names the suite's sources use.
inline SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName,
                                DWORD desiredAccess) {
    return OpenSCManager(machineName, databaseName, desiredAccess);
}
inline SC_HANDLE OpenServiceA(const SC_HANDLE& manager, std::string_view serviceName,
                              DWORD desiredAccess) {
    return OpenService(manager, serviceName, desiredAccess);
}
inline SC_HANDLE CreateServiceA(const SC_HANDLE& manager, std::string_view serviceName,
                                std::string_view displayName, DWORD desiredAccess,
                                DWORD serviceType, DWORD startType, DWORD errorControl,
                                std::string_view binaryPathName,
                                std::string_view loadOrderGroup = {},
                                std::string_view serviceStartName = {},
                                std::string_view password = {}) {
    return CreateService(manager, serviceName, displayName, desiredAccess, serviceType, startType,
                         errorControl, binaryPathName, loadOrderGroup, serviceStartName, password);
}
inline bool StartServiceA(const SC_HANDLE& service) {
    return StartService(service);
}

// The system's text for the codes the service control manager gives, as the system's message
// table words them ("The specified service already exists.").
std::string ScmErrorText(DWORD code);

// Service side: what a service program calls. The process that StartService launched finds
// its service name in $VREL_SERVICE; run any other way, StartServiceCtrlDispatcher fails with
// 1063 at once.
using LPHANDLER_FUNCTION = std::function<void(DWORD control)>;
using LPSERVICE_MAIN_FUNCTION = std::function<void(const std::vector<std::string>& args)>;
using SERVICE_STATUS_HANDLE = std::uintptr_t;

struct SERVICE_TABLE_ENTRY {
    std::string lpServiceName;
    LPSERVICE_MAIN_FUNCTION lpServiceProc;
};

// Runs the service's main function on a new thread and serves control requests on the
// calling thread, each through the registered handler, until the main function returns.
bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(std::string_view serviceName,
                                                 LPHANDLER_FUNCTION handler);
bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);

}  // namespace win
