// The manager side of the service control manager: handles, the service database in the
// registry and the status callers see. Each call opens its own connection to the machine's
// store; every decision that depends on the state is taken again inside the write
// transaction, since other processes start, stop and delete services at the same time.
#include <cstring>
#include <utility>

#include "platform/registry.h"
#include "platform/text.h"
#include "services/scm_internal.h"
#include "store/machine.h"

namespace win {

struct ScmHandleAccess {
    static SC_HANDLE Make(SC_HANDLE::Kind kind, DWORD access, std::string name = {}) {
        SC_HANDLE handle;
        handle.kind_ = kind;
        handle.access_ = access;
        handle.serviceName_ = std::move(name);
        return handle;
    }
    static bool IsManager(const SC_HANDLE& h) { return h.kind_ == SC_HANDLE::Kind::Manager; }
    static bool IsService(const SC_HANDLE& h) { return h.kind_ == SC_HANDLE::Kind::Service; }
    static bool Allows(const SC_HANDLE& h, DWORD right) { return (h.access_ & right) == right; }
    static const std::string& Name(const SC_HANDLE& h) { return h.serviceName_; }
    static SC_HANDLE Manager(DWORD access) { return Make(SC_HANDLE::Kind::Manager, access); }
    static SC_HANDLE Service(std::string name, DWORD access) {
        return Make(SC_HANDLE::Kind::Service, access, std::move(name));
    }
};

SC_HANDLE::SC_HANDLE(SC_HANDLE&& other) noexcept
    : kind_(std::exchange(other.kind_, Kind::None)),
      access_(std::exchange(other.access_, 0)),
      serviceName_(std::move(other.serviceName_)) {}

SC_HANDLE& SC_HANDLE::operator=(SC_HANDLE&& other) noexcept {
    kind_ = std::exchange(other.kind_, Kind::None);
    access_ = std::exchange(other.access_, 0);
    serviceName_ = std::move(other.serviceName_);
    return *this;
}

namespace {
using Access = ScmHandleAccess;

// The wait hint the manager reports for a process that has not reported yet.
constexpr DWORD kStartWaitHint = 2000;
constexpr std::size_t kMaxServiceName = 256;

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

SC_HANDLE FailHandle(DWORD code) {
    SetLastError(code);
    return SC_HANDLE();
}

std::nullopt_t FailOpen(DWORD code) {
    SetLastError(code);
    return std::nullopt;
}

std::string ServicesKey() {
    return std::string(scm::kServicesKey.substr(0, scm::kServicesKey.size() - 1));
}

std::string ServiceKey(std::string_view name) {
    return std::string(scm::kServicesKey) + std::string(name);
}

bool ValidName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxServiceName &&
           name.find_first_of("\\/") == std::string_view::npos;
}

DWORD ReadDword(TRegistry& registry, std::string_view name, DWORD otherwise) {
    const std::optional<RegValue> value = registry.GetValue(name);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return otherwise;
    DWORD result;
    std::memcpy(&result, value->data.data(), sizeof result);
    return result;
}

std::string ReadText(TRegistry& registry, std::string_view name) {
    const std::optional<RegValue> value = registry.GetValue(name);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::string();
    return registry.ReadString(name);
}

// A service as the database holds it; the name keeps the case it was created with.
struct ServiceEntry {
    std::string name;
    bool markedForDelete = false;
};

std::vector<std::string> ServiceNames(Db& db) {
    TRegistry registry(db);
    std::vector<std::string> names;
    if (!registry.OpenKeyReadOnly(ServicesKey())) return names;
    for (std::string& key : registry.GetKeyNames()) {
        TRegistry service(db);
        if (service.OpenKeyReadOnly(ServiceKey(key)) && service.ValueExists("Type")) {
            names.push_back(std::move(key));
        }
    }
    return names;
}

std::optional<ServiceEntry> FindService(Db& db, std::string_view name) {
    TRegistry registry(db);
    if (!ValidName(name) || !registry.OpenKeyReadOnly(ServiceKey(name)) ||
        !registry.ValueExists("Type")) {
        return std::nullopt;
    }
    ServiceEntry entry{std::string(name), ReadDword(registry, "DeleteFlag", 0) != 0};
    registry.OpenKeyReadOnly(ServicesKey());
    for (std::string& key : registry.GetKeyNames()) {
        if (AnsiSameText(key, name)) entry.name = std::move(key);
    }
    return entry;
}

bool Active(const std::optional<scm::StateRow>& row, std::string_view name) {
    return row && !row->ended && scm::ProcessAlive(name, row->generation);
}

void RemoveService(Db& db, std::string_view name) {
    TRegistry(db).DeleteKey(ServiceKey(name));
    scm::DeleteState(db, name);
}

// Records that the process of the row's start has ended: the service reads STOPPED, with
// 1067 when it never reported its stop, and a service marked for deletion goes away.
void Reap(Db& db, const ServiceEntry& service, std::int64_t generation) {
    Transaction transaction(db);
    std::optional<scm::StateRow> row = scm::ReadState(db, service.name);
    if (!row || row->generation != generation || row->ended ||
        scm::ProcessAlive(service.name, generation)) {
        return;
    }
    if (row->status.dwCurrentState != SERVICE_STOPPED) {
        row->status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
        row->status.dwServiceSpecificExitCode = 0;
    }
    row->status.dwCurrentState = SERVICE_STOPPED;
    row->status.dwControlsAccepted = 0;
    row->status.dwCheckPoint = 0;
    row->status.dwWaitHint = 0;
    row->processId = 0;
    row->ended = true;
    scm::WriteState(db, service.name, *row);
    TRegistry registry(db);
    if (registry.OpenKeyReadOnly(ServiceKey(service.name)) &&
        ReadDword(registry, "DeleteFlag", 0)) {
        RemoveService(db, service.name);
    }
    transaction.Commit();
    std::error_code ignored;
    std::filesystem::remove(scm::LockPath(service.name, generation), ignored);
}

// The status callers see; nullopt when the service went away on the way.
std::optional<SERVICE_STATUS_PROCESS> Observe(Db& db, const ServiceEntry& service) {
    const std::optional<scm::StateRow> row = scm::ReadState(db, service.name);
    SERVICE_STATUS_PROCESS status;
    if (row) static_cast<SERVICE_STATUS&>(status) = row->status;
    if (!row || row->ended) {
        TRegistry registry(db);
        registry.OpenKeyReadOnly(ServiceKey(service.name));
        status.dwServiceType = ReadDword(registry, "Type", SERVICE_WIN32_OWN_PROCESS);
        status.dwCurrentState = SERVICE_STOPPED;
        return status;
    }
    if (scm::ProcessAlive(service.name, row->generation)) {
        // A service that reported its stop is stopped only once its process has ended.
        if (status.dwCurrentState == SERVICE_STOPPED) status.dwCurrentState = SERVICE_STOP_PENDING;
        status.dwProcessId = row->processId;
        return status;
    }
    Reap(db, service, row->generation);
    const std::optional<ServiceEntry> still = FindService(db, service.name);
    return still ? Observe(db, *still) : std::nullopt;
}

// Opens the store and finds the handle's service as it is now, or fails with the reason.
struct Opened {
    std::optional<Db> db;
    ServiceEntry service;
    SERVICE_STATUS_PROCESS status;
};

std::optional<Opened> OpenHandleService(const SC_HANDLE& handle, DWORD right) {
    if (!Access::IsService(handle)) return FailOpen(ERROR_INVALID_HANDLE);
    if (!Access::Allows(handle, right)) return FailOpen(ERROR_ACCESS_DENIED);
    Opened opened;
    opened.db.emplace(OpenMachineDb());
    const std::optional<ServiceEntry> service = FindService(*opened.db, Access::Name(handle));
    if (!service) return FailOpen(ERROR_SERVICE_DOES_NOT_EXIST);
    const std::optional<SERVICE_STATUS_PROCESS> status = Observe(*opened.db, *service);
    if (!status) return FailOpen(ERROR_SERVICE_DOES_NOT_EXIST);
    opened.service = *service;
    opened.status = *status;
    return opened;
}

bool IsPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
           state == SERVICE_CONTINUE_PENDING || state == SERVICE_PAUSE_PENDING;
}

// The handle right and the accepted-controls bit a control needs.
struct ControlNeeds {
    DWORD right;
    DWORD accepted;
};

std::optional<ControlNeeds> NeedsOf(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            return ControlNeeds{SERVICE_STOP, SERVICE_ACCEPT_STOP};
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
            return ControlNeeds{SERVICE_PAUSE_CONTINUE, SERVICE_ACCEPT_PAUSE_CONTINUE};
        case SERVICE_CONTROL_INTERROGATE:
            return ControlNeeds{SERVICE_INTERROGATE, 0};
        default:
            return std::nullopt;
    }
}

// Refuses a display name that another service uses as its name or display name, and a
// service name that another service shows as its display name.
bool NamesClash(Db& db, std::string_view name, std::string_view displayName) {
    for (const std::string& other : ServiceNames(db)) {
        TRegistry registry(db);
        registry.OpenKeyReadOnly(ServiceKey(other));
        const std::string otherDisplay = ReadText(registry, "DisplayName");
        if (AnsiSameText(otherDisplay, name) || AnsiSameText(other, displayName) ||
            AnsiSameText(otherDisplay, displayName)) {
            return true;
        }
    }
    return false;
}

void WriteServiceKey(Db& db, std::string_view name, std::string_view displayName,
                     const QUERY_SERVICE_CONFIG& config) {
    TRegistry registry(db);
    registry.OpenKey(ServiceKey(name), true);
    registry.WriteInteger("Type", static_cast<std::int32_t>(config.dwServiceType));
    registry.WriteInteger("Start", static_cast<std::int32_t>(config.dwStartType));
    registry.WriteInteger("ErrorControl", static_cast<std::int32_t>(config.dwErrorControl));
    registry.WriteExpandString("ImagePath", config.lpBinaryPathName);
    registry.WriteString("DisplayName", displayName.empty() ? name : displayName);
    registry.WriteString("ObjectName", config.lpServiceStartName);
    if (!config.lpLoadOrderGroup.empty()) registry.WriteString("Group", config.lpLoadOrderGroup);
}

}  // namespace

SC_HANDLE OpenSCManager(const char* machineName, const char* databaseName, DWORD desiredAccess) {
    if (machineName && *machineName) return FailHandle(RPC_S_SERVER_UNAVAILABLE);
    if (databaseName && *databaseName && !SameText(databaseName, SERVICES_ACTIVE_DATABASE)) {
        return FailHandle(ERROR_DATABASE_DOES_NOT_EXIST);
    }
    OpenMachineDb();
    return Access::Manager(desiredAccess);
}

SC_HANDLE OpenService(const SC_HANDLE& manager, std::string_view serviceName, DWORD desiredAccess) {
    if (!Access::IsManager(manager)) return FailHandle(ERROR_INVALID_HANDLE);
    if (!ValidName(serviceName)) return FailHandle(ERROR_INVALID_NAME);
    Db db = OpenMachineDb();
    const std::optional<ServiceEntry> service = FindService(db, serviceName);
    if (!service || !Observe(db, *service)) return FailHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    return Access::Service(service->name, desiredAccess);
}

SC_HANDLE CreateService(const SC_HANDLE& manager, std::string_view serviceName,
                        std::string_view displayName, DWORD desiredAccess, DWORD serviceType,
                        DWORD startType, DWORD errorControl, std::string_view binaryPathName,
                        std::string_view loadOrderGroup, std::string_view serviceStartName,
                        std::string_view) {
    if (!Access::IsManager(manager)) return FailHandle(ERROR_INVALID_HANDLE);
    if (!Access::Allows(manager, SC_MANAGER_CREATE_SERVICE)) return FailHandle(ERROR_ACCESS_DENIED);
    if (!ValidName(serviceName)) return FailHandle(ERROR_INVALID_NAME);
    const DWORD process = serviceType & ~SERVICE_INTERACTIVE_PROCESS;
    if ((process != SERVICE_WIN32_OWN_PROCESS && process != SERVICE_WIN32_SHARE_PROCESS) ||
        startType > SERVICE_DISABLED || errorControl > SERVICE_ERROR_CRITICAL ||
        binaryPathName.empty()) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    Db db = OpenMachineDb();
    // A marked service whose process has ended goes away here, making room for the new one.
    if (const auto existing = FindService(db, serviceName)) Observe(db, *existing);
    Transaction transaction(db);
    if (const auto existing = FindService(db, serviceName)) {
        return FailHandle(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                    : ERROR_SERVICE_EXISTS);
    }
    if (NamesClash(db, serviceName, displayName)) return FailHandle(ERROR_DUPLICATE_SERVICE_NAME);
    QUERY_SERVICE_CONFIG config;
    config.dwServiceType = serviceType;
    config.dwStartType = startType;
    config.dwErrorControl = errorControl;
    config.lpBinaryPathName = binaryPathName;
    config.lpLoadOrderGroup = loadOrderGroup;
    config.lpServiceStartName = serviceStartName.empty() ? "LocalSystem" : serviceStartName;
    WriteServiceKey(db, serviceName, displayName, config);
    scm::DeleteState(db, serviceName);
    transaction.Commit();
    return Access::Service(std::string(serviceName), desiredAccess);
}

bool DeleteService(const SC_HANDLE& service) {
    std::optional<Opened> opened = OpenHandleService(service, SERVICE_DELETE);
    if (!opened) return false;
    if (opened->service.markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    Db& db = *opened->db;
    const std::string& name = opened->service.name;
    Transaction transaction(db);
    if (Active(scm::ReadState(db, name), name)) {
        TRegistry registry(db);
        registry.OpenKey(ServiceKey(name), false);
        registry.WriteInteger("DeleteFlag", 1);
    } else {
        RemoveService(db, name);
    }
    transaction.Commit();
    return true;
}

bool StartService(const SC_HANDLE& service) {
    std::optional<Opened> opened = OpenHandleService(service, SERVICE_START);
    if (!opened) return false;
    if (opened->service.markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (opened->status.dwCurrentState != SERVICE_STOPPED)
        return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    Db& db = *opened->db;
    const std::string& name = opened->service.name;
    TRegistry registry(db);
    registry.OpenKeyReadOnly(ServiceKey(name));
    if (ReadDword(registry, "Start", SERVICE_DEMAND_START) == SERVICE_DISABLED) {
        return Fail(ERROR_SERVICE_DISABLED);
    }
    Transaction transaction(db);
    const std::optional<scm::StateRow> last = scm::ReadState(db, name);
    if (Active(last, name)) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    scm::StateRow row;
    row.generation = last ? last->generation + 1 : 1;
    const scm::LaunchResult launched =
        scm::LaunchService({name, ReadText(registry, "ImagePath"), row.generation});
    if (launched.error != ERROR_SUCCESS) return Fail(launched.error);
    row.status.dwServiceType = ReadDword(registry, "Type", SERVICE_WIN32_OWN_PROCESS);
    row.status.dwCurrentState = SERVICE_START_PENDING;
    row.status.dwWaitHint = kStartWaitHint;
    row.processId = static_cast<DWORD>(launched.processId);
    scm::WriteState(db, name, row);
    transaction.Commit();
    if (last) {
        std::error_code ignored;
        std::filesystem::remove(scm::LockPath(name, last->generation), ignored);
    }
    return true;
}

bool ControlService(const SC_HANDLE& service, DWORD control, SERVICE_STATUS& status) {
    const std::optional<ControlNeeds> needs = NeedsOf(control);
    if (!needs) return Fail(ERROR_INVALID_PARAMETER);
    std::optional<Opened> opened = OpenHandleService(service, needs->right);
    if (!opened) return false;
    status = opened->status;
    const DWORD state = opened->status.dwCurrentState;
    if (state == SERVICE_STOPPED) return Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (IsPending(state)) return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    if ((opened->status.dwControlsAccepted & needs->accepted) != needs->accepted) {
        return Fail(ERROR_INVALID_SERVICE_CONTROL);
    }
    const DWORD reply = scm::SendControl(scm::SocketPath(opened->service.name), control);
    if (const auto now = Observe(*opened->db, opened->service)) status = *now;
    return reply == ERROR_SUCCESS ? true : Fail(reply);
}

bool QueryServiceStatus(const SC_HANDLE& service, SERVICE_STATUS& status) {
    SERVICE_STATUS_PROCESS full;
    if (!QueryServiceStatusEx(service, full)) return false;
    status = full;
    return true;
}

bool QueryServiceStatusEx(const SC_HANDLE& service, SERVICE_STATUS_PROCESS& status) {
    const std::optional<Opened> opened = OpenHandleService(service, SERVICE_QUERY_STATUS);
    if (!opened) return false;
    status = opened->status;
    return true;
}

bool QueryServiceConfig(const SC_HANDLE& service, QUERY_SERVICE_CONFIG& config) {
    std::optional<Opened> opened = OpenHandleService(service, SERVICE_QUERY_CONFIG);
    if (!opened) return false;
    TRegistry registry(*opened->db);
    registry.OpenKeyReadOnly(ServiceKey(opened->service.name));
    config.dwServiceType = ReadDword(registry, "Type", SERVICE_WIN32_OWN_PROCESS);
    config.dwStartType = ReadDword(registry, "Start", SERVICE_DEMAND_START);
    config.dwErrorControl = ReadDword(registry, "ErrorControl", SERVICE_ERROR_NORMAL);
    config.lpBinaryPathName = ReadText(registry, "ImagePath");
    config.lpLoadOrderGroup = ReadText(registry, "Group");
    config.lpDependencies.clear();
    config.lpServiceStartName = ReadText(registry, "ObjectName");
    config.lpDisplayName = ReadText(registry, "DisplayName");
    if (config.lpDisplayName.empty()) config.lpDisplayName = opened->service.name;
    return true;
}

bool EnumServicesStatus(const SC_HANDLE& manager, DWORD serviceState,
                        std::vector<ENUM_SERVICE_STATUS>& services) {
    if (!Access::IsManager(manager)) return Fail(ERROR_INVALID_HANDLE);
    if (!Access::Allows(manager, SC_MANAGER_ENUMERATE_SERVICE)) return Fail(ERROR_ACCESS_DENIED);
    if (serviceState == 0 || (serviceState & ~SERVICE_STATE_ALL) != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    services.clear();
    Db db = OpenMachineDb();
    for (const std::string& name : ServiceNames(db)) {
        const std::optional<ServiceEntry> service = FindService(db, name);
        const std::optional<SERVICE_STATUS_PROCESS> status =
            service ? Observe(db, *service) : std::nullopt;
        if (!status) continue;
        const bool active = status->dwCurrentState != SERVICE_STOPPED;
        if (!(serviceState & (active ? SERVICE_ACTIVE : SERVICE_INACTIVE))) continue;
        TRegistry registry(db);
        registry.OpenKeyReadOnly(ServiceKey(name));
        std::string display = ReadText(registry, "DisplayName");
        services.push_back({name, display.empty() ? name : display, *status});
    }
    return true;
}

bool CloseServiceHandle(SC_HANDLE& handle) {
    if (!handle) return Fail(ERROR_INVALID_HANDLE);
    handle = SC_HANDLE();
    return true;
}

}  // namespace win
