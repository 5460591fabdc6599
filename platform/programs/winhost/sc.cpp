// winhost sc: the service control manager from the command line, as sc.exe offers it:
//   sc query [NAME] [state= all|inactive]    sc qc NAME
//   sc start NAME    sc stop NAME    sc delete NAME
//   sc create NAME binPath= PATH [DisplayName= TEXT] [start= auto|demand|disabled]
//             [error= ignore|normal|severe|critical] [obj= ACCOUNT]
// Output and failure lines follow sc.exe ("STATE : 4 RUNNING", "[SC] StartService FAILED
// 1056:"), so an administrator reads what they know.
#include <cstdio>
#include <map>
#include <optional>

#include "commands.h"
#include "platform/scm.h"
#include "platform/text.h"

namespace winhost {
namespace {

using namespace win;

const char* StateName(DWORD state) {
    constexpr const char* kNames[] = {
        "",        "STOPPED",          "START_PENDING", "STOP_PENDING",
        "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
    return state < std::size(kNames) ? kNames[state] : "UNKNOWN";
}

const char* TypeName(DWORD type) {
    switch (type & ~SERVICE_INTERACTIVE_PROCESS) {
        case SERVICE_WIN32_OWN_PROCESS:
            return type & SERVICE_INTERACTIVE_PROCESS ? "WIN32_OWN_PROCESS (interactive)"
                                                      : "WIN32_OWN_PROCESS";
        case SERVICE_WIN32_SHARE_PROCESS:
            return "WIN32_SHARE_PROCESS";
        default:
            return "KERNEL_DRIVER";
    }
}

constexpr const char* kStartWords[] = {"boot", "system", "auto", "demand", "disabled"};
constexpr const char* kErrorWords[] = {"ignore", "normal", "severe", "critical"};

// The position of word in words, ignoring case.
template <std::size_t N>
std::optional<DWORD> IndexOf(const char* const (&words)[N], std::string_view word) {
    for (DWORD i = 0; i < N; ++i) {
        if (SameText(words[i], word)) return i;
    }
    return std::nullopt;
}

int Usage() {
    std::fputs(
        "usage: winhost sc query [NAME] [state= all|inactive]\n"
        "       winhost sc qc|start|stop|delete NAME\n"
        "       winhost sc create NAME binPath= PATH [DisplayName= TEXT]\n"
        "                 [start= auto|demand|disabled] [error= normal|...] [obj= ACCOUNT]\n",
        stderr);
    return 2;
}

const char* StartTypeName(DWORD start) {
    constexpr const char* kNames[] = {"BOOT_START", "SYSTEM_START", "AUTO_START", "DEMAND_START",
                                      "DISABLED"};
    return start < std::size(kNames) ? kNames[start] : "UNKNOWN";
}

const char* ErrorControlName(DWORD error) {
    constexpr const char* kNames[] = {"IGNORE", "NORMAL", "SEVERE", "CRITICAL"};
    return error < std::size(kNames) ? kNames[error] : "UNKNOWN";
}

int Failed(const char* call) {
    const DWORD error = GetLastError();
    std::printf("[SC] %s FAILED %u:\n\n%s\n\n", call, error, ScmErrorText(error).c_str());
    return 1;
}

void PrintStatus(const SERVICE_STATUS& status) {
    const DWORD accepted = status.dwControlsAccepted;
    std::printf("        TYPE               : %x  %s\n", status.dwServiceType,
                TypeName(status.dwServiceType));
    std::printf("        STATE              : %u  %s\n", status.dwCurrentState,
                StateName(status.dwCurrentState));
    std::printf("                                (%s, %s, %s)\n",
                accepted & SERVICE_ACCEPT_STOP ? "STOPPABLE" : "NOT_STOPPABLE",
                accepted & SERVICE_ACCEPT_PAUSE_CONTINUE ? "PAUSABLE" : "NOT_PAUSABLE",
                accepted & SERVICE_ACCEPT_SHUTDOWN ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN");
    std::printf("        WIN32_EXIT_CODE    : %u  (0x%x)\n", status.dwWin32ExitCode,
                status.dwWin32ExitCode);
    std::printf("        SERVICE_EXIT_CODE  : %u  (0x%x)\n", status.dwServiceSpecificExitCode,
                status.dwServiceSpecificExitCode);
    std::printf("        CHECKPOINT         : 0x%x\n", status.dwCheckPoint);
    std::printf("        WAIT_HINT          : 0x%x\n", status.dwWaitHint);
}

SC_HANDLE OpenManager() {
    return OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
}

// The "key= value" options after the service name; nullopt when one is malformed.
std::optional<std::map<std::string, std::string>> ReadOptions(const Args& args, std::size_t from) {
    std::map<std::string, std::string> options;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::size_t equals = args[i].find('=');
        if (equals == std::string::npos || equals == 0) return std::nullopt;
        const std::string key = LowerCase(args[i].substr(0, equals));
        std::string value = args[i].substr(equals + 1);
        if (value.empty()) {
            if (++i == args.size()) return std::nullopt;
            value = args[i];
        }
        options[key] = value;
    }
    return options;
}

int Query(const Args& args) {
    SC_HANDLE manager = OpenManager();
    if (!manager) return Failed("OpenSCManager");
    if (args.size() >= 2 && args[1].find('=') == std::string::npos) {
        SC_HANDLE service = OpenService(manager, args[1], SERVICE_QUERY_STATUS);
        if (!service) return Failed("EnumQueryServicesStatus:OpenService");
        SERVICE_STATUS status;
        if (!QueryServiceStatus(service, status)) return Failed("QueryServiceStatus");
        std::printf("\nSERVICE_NAME: %s\n", args[1].c_str());
        PrintStatus(status);
        return 0;
    }
    const auto options = ReadOptions(args, 1);
    if (!options) return Usage();
    DWORD which = SERVICE_ACTIVE;
    if (options->count("state")) {
        const std::string& state = options->at("state");
        which = SameText(state, "all")        ? SERVICE_STATE_ALL
                : SameText(state, "inactive") ? SERVICE_INACTIVE
                                              : SERVICE_ACTIVE;
    }
    std::vector<ENUM_SERVICE_STATUS> services;
    if (!EnumServicesStatus(manager, which, services)) return Failed("EnumServicesStatus");
    for (const ENUM_SERVICE_STATUS& service : services) {
        std::printf("\nSERVICE_NAME: %s\nDISPLAY_NAME: %s\n", service.lpServiceName.c_str(),
                    service.lpDisplayName.c_str());
        PrintStatus(service.ServiceStatus);
    }
    return 0;
}

int QueryConfig(const std::string& name) {
    SC_HANDLE manager = OpenManager();
    if (!manager) return Failed("OpenSCManager");
    SC_HANDLE service = OpenService(manager, name, SERVICE_QUERY_CONFIG);
    if (!service) return Failed("OpenService");
    QUERY_SERVICE_CONFIG config;
    if (!QueryServiceConfig(service, config)) return Failed("QueryServiceConfig");
    std::printf("[SC] QueryServiceConfig SUCCESS\n\nSERVICE_NAME: %s\n", name.c_str());
    std::printf("        TYPE               : %x  %s\n", config.dwServiceType,
                TypeName(config.dwServiceType));
    std::printf("        START_TYPE         : %u   %s\n", config.dwStartType,
                StartTypeName(config.dwStartType));
    std::printf("        ERROR_CONTROL      : %u   %s\n", config.dwErrorControl,
                ErrorControlName(config.dwErrorControl));
    std::printf("        BINARY_PATH_NAME   : %s\n", config.lpBinaryPathName.c_str());
    std::printf("        LOAD_ORDER_GROUP   : %s\n", config.lpLoadOrderGroup.c_str());
    std::printf("        DISPLAY_NAME       : %s\n", config.lpDisplayName.c_str());
    std::printf("        SERVICE_START_NAME : %s\n", config.lpServiceStartName.c_str());
    return 0;
}

int Start(const std::string& name) {
    SC_HANDLE manager = OpenManager();
    if (!manager) return Failed("OpenSCManager");
    SC_HANDLE service = OpenService(manager, name, SERVICE_START | SERVICE_QUERY_STATUS);
    if (!service) return Failed("OpenService");
    if (!StartService(service)) return Failed("StartService");
    SERVICE_STATUS_PROCESS status;
    if (!QueryServiceStatusEx(service, status)) return Failed("QueryServiceStatusEx");
    std::printf("\nSERVICE_NAME: %s\n", name.c_str());
    PrintStatus(status);
    std::printf("        PID                : %u\n", status.dwProcessId);
    return 0;
}

int Stop(const std::string& name) {
    SC_HANDLE manager = OpenManager();
    if (!manager) return Failed("OpenSCManager");
    SC_HANDLE service = OpenService(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) return Failed("OpenService");
    SERVICE_STATUS status;
    if (!ControlService(service, SERVICE_CONTROL_STOP, status)) return Failed("ControlService");
    std::printf("\nSERVICE_NAME: %s\n", name.c_str());
    PrintStatus(status);
    return 0;
}

int Delete(const std::string& name) {
    SC_HANDLE manager = OpenManager();
    if (!manager) return Failed("OpenSCManager");
    SC_HANDLE service = OpenService(manager, name, SERVICE_DELETE);
    if (!service) return Failed("OpenService");
    if (!DeleteService(service)) return Failed("DeleteService");
    std::printf("[SC] DeleteService SUCCESS\n");
    return 0;
}

int Create(const Args& args) {
    const auto options = ReadOptions(args, 2);
    if (!options || !options->count("binpath")) return Usage();
    const auto option = [&](const char* key, const char* otherwise) {
        return options->count(key) ? options->at(key) : std::string(otherwise);
    };
    const std::optional<DWORD> start = IndexOf(kStartWords, option("start", "demand"));
    const std::optional<DWORD> errorControl = IndexOf(kErrorWords, option("error", "normal"));
    if (!start || !errorControl) return Usage();
    SC_HANDLE manager = OpenManager();
    if (!manager) return Failed("OpenSCManager");
    SC_HANDLE service = CreateService(manager, args[1], option("displayname", ""),
                                      SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, *start,
                                      *errorControl, options->at("binpath"), "", option("obj", ""));
    if (!service) return Failed("CreateService");
    std::printf("[SC] CreateService SUCCESS\n");
    return 0;
}

}  // namespace

int Sc(const Args& args) {
    if (args.empty()) return Usage();
    const std::string& verb = args[0];
    if (SameText(verb, "query")) return Query(args);
    if (args.size() < 2) return Usage();
    if (SameText(verb, "create")) return Create(args);
    if (args.size() != 2) return Usage();
    if (SameText(verb, "qc")) return QueryConfig(args[1]);
    if (SameText(verb, "start")) return Start(args[1]);
    if (SameText(verb, "stop")) return Stop(args[1]);
    if (SameText(verb, "delete")) return Delete(args[1]);
    return Usage();
}

}  // namespace winhost
