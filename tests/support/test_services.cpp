#include "test_services.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "loopback.h"
#include "platform/paths.h"
#include "store/machine.h"

namespace vrel::test {
namespace fs = std::filesystem;
using namespace win;
namespace {

constexpr auto kPoll = std::chrono::milliseconds(10);
// A service that behaves stops well within this; one that does not is killed after it.
constexpr auto kStopWait = std::chrono::seconds(3);

std::vector<ENUM_SERVICE_STATUS> ActiveServices(const SC_HANDLE& manager) {
    std::vector<ENUM_SERVICE_STATUS> active;
    EnumServicesStatus(manager, SERVICE_ACTIVE, active);
    return active;
}

bool WaitUntilNoneActive(const SC_HANDLE& manager, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ActiveServices(manager).empty()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

}  // namespace

std::string ProgramImagePath(const std::string& program) {
    return ToWindowsPath(BinFolder() / program) + ".exe";
}

SC_HANDLE CreateTestService(const std::string& name, const std::string& options,
                            const std::string& displayName) {
    const SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    return CreateService(
        manager, name, displayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
        "\"" + ProgramImagePath("testservice") + "\" -name:" + name + " " + options);
}

DWORD ServiceState(const std::string& name) {
    const SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT);
    SERVICE_STATUS status;
    QueryServiceStatus(OpenService(manager, name, SERVICE_QUERY_STATUS), status);
    return status.dwCurrentState;
}

void StopAllServices() {
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    for (const ENUM_SERVICE_STATUS& entry : ActiveServices(manager)) {
        SC_HANDLE service = OpenService(manager, entry.lpServiceName, SERVICE_ALL_ACCESS);
        SERVICE_STATUS status;
        if (service) ControlService(service, SERVICE_CONTROL_STOP, status);
    }
    if (WaitUntilNoneActive(manager, kStopWait)) return;
    for (const ENUM_SERVICE_STATUS& entry : ActiveServices(manager)) {
        SC_HANDLE service = OpenService(manager, entry.lpServiceName, SERVICE_ALL_ACCESS);
        SERVICE_STATUS_PROCESS status;
        if (service && QueryServiceStatusEx(service, status) && status.dwProcessId != 0) {
            ::kill(static_cast<pid_t>(status.dwProcessId), SIGKILL);
        }
    }
    WaitUntilNoneActive(manager, kStopWait);
}

std::string SanitizerReports() {
    std::string reports;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(RunFolder(), error)) {
        if (entry.path().extension() != ".log") continue;
        std::stringstream text;
        text << std::ifstream(entry.path()).rdbuf();
        const std::string log = text.str();
        for (const char* mark :
             {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
            if (log.find(mark) != std::string::npos) reports += entry.path().string() + ":\n" + log;
        }
    }
    return reports;
}

bool EndsWithin(pid_t pid, std::chrono::milliseconds wait) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) return true;
    pollfd poller{pidfd, POLLIN, 0};
    const bool ended = ::poll(&poller, 1, static_cast<int>(wait.count())) > 0;
    ::close(pidfd);
    return ended;
}

SERVICE_STATUS WaitForState(const std::string& name, DWORD state, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenService(manager, name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status;
    while (service && QueryServiceStatus(service, status) && status.dwCurrentState != state &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPoll);
    }
    return status;
}

void ServiceTest::TearDown() {
    StopAllServices();
    EXPECT_EQ(SanitizerReports(), "");
}

std::vector<pid_t> AgentsOfThisMachine() {
    std::vector<pid_t> pids;
    const std::string machine = std::string("VREL_MACHINE=") + std::getenv("VREL_MACHINE");
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (fs::read_symlink(entry.path() / "exe", error).filename() != "popagent") continue;
        std::stringstream environment;
        environment << std::ifstream(entry.path() / "environ").rdbuf();
        std::string variable;
        while (std::getline(environment, variable, '\0')) {
            if (variable == machine) pids.push_back(std::stoi(name));
        }
    }
    return pids;
}

void KillAgentsOfThisMachine() {
    for (const pid_t pid : AgentsOfThisMachine()) ::kill(pid, SIGKILL);
}

void SendOverSmtp(int port, const std::string& sender, const std::string& recipient,
                  const std::string& message) {
    LoopbackClient smtp(port);
    const auto say = [&smtp](const std::string& line) {
        smtp.Send(line + "\r\n");
        return smtp.ReadLine().substr(0, 3);
    };
    ASSERT_EQ(smtp.ReadLine().substr(0, 3), "220");
    EXPECT_EQ(say("HELO client.test"), "250");
    EXPECT_EQ(say("MAIL FROM:<" + sender + ">"), "250");
    EXPECT_EQ(say("RCPT TO:<" + recipient + ">"), "250");
    EXPECT_EQ(say("DATA"), "354");
    smtp.Send(message);
    EXPECT_EQ(say("."), "250");
    say("QUIT");
}

}  // namespace vrel::test
