// The service side of the service control manager: the control dispatcher a service program
// runs, its handler registration and its status reports.
//
// The process learns its service from what StartService put in its environment; the control
// socket under run/ is its only way in, and a request on it is a bare control code that the
// registered handler takes on the dispatcher's thread.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/text.h"
#include "services/scm_internal.h"
#include "store/machine.h"

namespace win {
namespace {

constexpr SERVICE_STATUS_HANDLE kStatusHandle = 1;

// What this process knows of its service; one service per process.
struct ServiceProcess {
    std::mutex mutex;
    std::string name;
    std::int64_t generation = 0;
    LPHANDLER_FUNCTION handler;
};

ServiceProcess& Process() {
    static ServiceProcess process;
    return process;
}

DWORD HandleControl(DWORD control) {
    LPHANDLER_FUNCTION handler;
    {
        std::lock_guard lock(Process().mutex);
        handler = Process().handler;
    }
    if (!handler) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    handler(control);
    return ERROR_SUCCESS;
}

class EventFd {
  public:
    EventFd() : fd_(::eventfd(0, EFD_CLOEXEC)) {}
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;
    ~EventFd() { ::close(fd_); }
    int Get() const { return fd_; }
    void Signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }

  private:
    int fd_;
};

// Serves controls until the service's main function has returned.
void ServeUntil(int listener, const EventFd& done) {
    for (;;) {
        pollfd waits[2] = {{listener, POLLIN, 0}, {done.Get(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[1].revents) return;
        if (waits[0].revents & POLLIN) {
            const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) scm::ServeControl(connection, HandleControl);
        }
    }
}

}  // namespace

bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table) {
    const char* name = std::getenv(scm::kServiceNameVariable);
    const char* generation = std::getenv(scm::kGenerationVariable);
    if (!name || !generation) {
        SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return false;
    }
    const SERVICE_TABLE_ENTRY* entry = nullptr;
    for (const SERVICE_TABLE_ENTRY& candidate : table) {
        if (AnsiSameText(candidate.lpServiceName, name)) entry = &candidate;
    }
    {
        std::lock_guard lock(Process().mutex);
        Process().name = name;
        Process().generation = std::strtoll(generation, nullptr, 10);
    }
    if (!entry) {
        SERVICE_STATUS stopped{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0,
                               ERROR_SERVICE_NOT_IN_EXE};
        SetServiceStatus(kStatusHandle, stopped);
        SetLastError(ERROR_SERVICE_NOT_IN_EXE);
        return false;
    }
    // The lock must not outlive this process in a child it starts.
    ::fcntl(scm::kLockDescriptor, F_SETFD, FD_CLOEXEC);
    const std::filesystem::path socketPath = scm::SocketPath(name);
    const int listener = scm::ListenForControls(socketPath);
    if (listener < 0) {
        SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return false;
    }
    EventFd done;
    std::thread main([&] {
        entry->lpServiceProc({name});
        done.Signal();
    });
    ServeUntil(listener, done);
    main.join();
    ::close(listener);
    ::unlink(socketPath.c_str());
    return true;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(std::string_view serviceName,
                                                 LPHANDLER_FUNCTION handler) {
    std::lock_guard lock(Process().mutex);
    if (Process().name.empty() || !AnsiSameText(Process().name, serviceName)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return 0;
    }
    Process().handler = std::move(handler);
    return kStatusHandle;
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
    std::string name;
    std::int64_t generation;
    {
        std::lock_guard lock(Process().mutex);
        name = Process().name;
        generation = Process().generation;
    }
    if (handle != kStatusHandle || name.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    Db db = OpenMachineDb();
    scm::ReportState(db, name, generation, status);
    return true;
}

}  // namespace win
