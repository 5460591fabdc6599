// winhost boot: the machine's start-up and shut-down. Starts every service whose start type
// is automatic, stays in the foreground, and on SIGINT or SIGTERM stops every running
// service with a normal stop, so the services write what they write when stopped. A service
// that has not stopped when the stop wait's limit has passed is killed, and boot says so.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "commands.h"
#include "platform/clock.h"
#include "platform/scm.h"

namespace winhost {
namespace {

using namespace win;

constexpr DWORD kStopLimitMs = 30000;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

void StartAutomatic(const SC_HANDLE& manager) {
    std::vector<ENUM_SERVICE_STATUS> services;
    EnumServicesStatus(manager, SERVICE_INACTIVE, services);
    for (const ENUM_SERVICE_STATUS& entry : services) {
        SC_HANDLE service = OpenService(manager, entry.lpServiceName, SERVICE_ALL_ACCESS);
        QUERY_SERVICE_CONFIG config;
        if (!service || !QueryServiceConfig(service, config) ||
            config.dwStartType != SERVICE_AUTO_START) {
            continue;
        }
        if (StartService(service)) {
            std::printf("boot: started %s\n", entry.lpServiceName.c_str());
        } else {
            const DWORD error = GetLastError();
            std::printf("boot: %s did not start: %u %s\n", entry.lpServiceName.c_str(), error,
                        ScmErrorText(error).c_str());
        }
    }
    std::fflush(stdout);
}

// Sends each running service one stop and waits until none is active; true when all stopped.
bool StopAll(const SC_HANDLE& manager) {
    const std::uint32_t begin = GetTickCount();
    std::set<std::string> asked;
    for (;;) {
        std::vector<ENUM_SERVICE_STATUS> active;
        EnumServicesStatus(manager, SERVICE_ACTIVE, active);
        if (active.empty()) return true;
        if (GetTickCount() - begin > kStopLimitMs) break;
        for (const ENUM_SERVICE_STATUS& entry : active) {
            const DWORD state = entry.ServiceStatus.dwCurrentState;
            if (asked.count(entry.lpServiceName) ||
                (state != SERVICE_RUNNING && state != SERVICE_PAUSED)) {
                continue;
            }
            SC_HANDLE service = OpenService(manager, entry.lpServiceName, SERVICE_ALL_ACCESS);
            SERVICE_STATUS status;
            if (service && ControlService(service, SERVICE_CONTROL_STOP, status)) {
                std::printf("boot: stopping %s\n", entry.lpServiceName.c_str());
                std::fflush(stdout);
            }
            asked.insert(entry.lpServiceName);
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    std::vector<ENUM_SERVICE_STATUS> left;
    EnumServicesStatus(manager, SERVICE_ACTIVE, left);
    for (const ENUM_SERVICE_STATUS& entry : left) {
        SC_HANDLE service = OpenService(manager, entry.lpServiceName, SERVICE_QUERY_STATUS);
        SERVICE_STATUS_PROCESS status;
        if (service && QueryServiceStatusEx(service, status) && status.dwProcessId != 0) {
            ::kill(static_cast<pid_t>(status.dwProcessId), SIGKILL);
            std::printf("boot: %s did not stop in time; killed\n", entry.lpServiceName.c_str());
        }
    }
    return false;
}

}  // namespace

int Boot(const Args& args) {
    if (!args.empty()) return 2;
    // Taken on this thread only, by sigwait; services get a clean mask of their own.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    StartAutomatic(manager);
    std::printf("boot: running; stop with Ctrl-C or SIGTERM\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&signals, &signal);
    std::printf("boot: stopping services\n");
    std::fflush(stdout);
    const bool stopped = StopAll(manager);
    std::printf("boot: %s\n", stopped ? "all services stopped" : "some services were killed");
    return stopped ? 0 : 1;
}

}  // namespace winhost
