// The service framework: TServiceApplication, TService and TServiceThread. Called by the
// suite's service program; it trusts the program's handlers to return, and reports what
// they raise to the event log instead of letting it end the process.
#include "platform/service.h"

#include <sys/resource.h>

#include <cstdio>
#include <exception>

#include "platform/paths.h"
#include "platform/text.h"

namespace win {
namespace {

std::string FailureText(std::string_view operation, std::string_view message) {
    return "Service failed on " + std::string(operation) + ": " + std::string(message);
}

// Runs one part of the service's work; what it raises becomes an event log line.
template <class Work>
void Logged(TService& service, std::string_view operation, Work&& work) {
    try {
        work();
    } catch (const std::exception& error) {
        service.LogMessage(FailureText(operation, error.what()));
    } catch (...) {
        service.LogMessage(FailureText(operation, "unknown exception"));
    }
}

std::string_view ControlText(DWORD code) {
    switch (code) {
        case SERVICE_CONTROL_STOP:
            return "stop";
        case SERVICE_CONTROL_PAUSE:
            return "pause";
        case SERVICE_CONTROL_CONTINUE:
            return "continue";
        case SERVICE_CONTROL_INTERROGATE:
            return "interrogate";
        default:
            return "shutdown";
    }
}

DWORD NtState(TCurrentStatus status) {
    constexpr DWORD kStates[] = {SERVICE_STOPPED, SERVICE_START_PENDING,    SERVICE_STOP_PENDING,
                                 SERVICE_RUNNING, SERVICE_CONTINUE_PENDING, SERVICE_PAUSE_PENDING,
                                 SERVICE_PAUSED};
    return kStates[status];
}

bool IsPending(TCurrentStatus status) {
    return status == csStartPending || status == csStopPending || status == csContinuePending ||
           status == csPausePending;
}

DWORD NtServiceType(const TService& service) {
    constexpr DWORD kKernelDriver = 0x1, kFileSystemDriver = 0x2;
    switch (service.ServiceType) {
        case stDevice:
            return kKernelDriver;
        case stFileSystem:
            return kFileSystemDriver;
        default:
            return SERVICE_WIN32_OWN_PROCESS |
                   (service.Interactive ? SERVICE_INTERACTIVE_PROCESS : 0);
    }
}

// A service serves many clients at once, each with a connection and files open: the soft
// limit of open files (often 1024) would lock clients out long before the hard one.
void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::string ModuleBaseName() {
    const std::string module = GetModuleFileName();
    return module.substr(module.find_last_of('\\') + 1);
}

}  // namespace

// ---- TServiceThread

TServiceThread::TServiceThread(TService& service) : service_(service) {}

TServiceThread::~TServiceThread() {
    if (thread_.joinable()) thread_.join();
}

bool TServiceThread::Terminated() const {
    std::lock_guard lock(mutex_);
    return terminated_;
}

void TServiceThread::Terminate() {
    std::lock_guard lock(mutex_);
    terminated_ = true;
    arrived_.notify_all();
}

void TServiceThread::Post(Request request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    arrived_.notify_all();
}

bool TServiceThread::Next(bool wait, Request& request) {
    std::unique_lock lock(mutex_);
    if (wait) arrived_.wait(lock, [&] { return !requests_.empty() || terminated_; });
    if (requests_.empty()) return false;
    request = requests_.front();
    requests_.pop_front();
    return true;
}

void TServiceThread::Suspend() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [&] { return !requests_.empty(); });
}

void TServiceThread::ProcessRequests(bool WaitForMessage) {
    for (;;) {
        if (WaitForMessage && Terminated()) break;
        Request request;
        if (!Next(WaitForMessage, request)) break;
        Handle(request);
    }
}

void TServiceThread::Handle(const Request& request) {
    try {
        bool done = true;
        switch (request.code) {
            case SERVICE_CONTROL_STOP:
                done = service_.DoStop();
                break;
            case SERVICE_CONTROL_PAUSE:
                done = service_.DoPause();
                break;
            case SERVICE_CONTROL_CONTINUE:
                done = service_.DoContinue();
                break;
            case SERVICE_CONTROL_SHUTDOWN:
                service_.DoShutdown();
                break;
            case SERVICE_CONTROL_INTERROGATE:
                service_.DoInterrogate();
                break;
            default:
                break;
        }
        if (!done) service_.SetStatus(request.previous);
    } catch (const std::exception& error) {
        // A shutdown goes on whatever its handler raised.
        if (request.code != SERVICE_CONTROL_SHUTDOWN) service_.SetStatus(request.previous);
        service_.LogMessage(FailureText(ControlText(request.code), error.what()));
    }
}

void TServiceThread::Execute() {
    Logged(service_, "start", [&] {
        bool started = true;
        if (service_.OnStart) service_.OnStart(&service_, started);
        if (!started) return;
        Logged(service_, "execute", [&] {
            service_.SetStatus(csRunning);
            if (service_.OnExecute) {
                service_.OnExecute(&service_);
            } else {
                ProcessRequests(true);
            }
            ProcessRequests(false);
        });
    });
}

// ---- TService

TService::TService(std::string name) : Name(std::move(name)), DisplayName(Name) {}

TService::~TService() = default;

TServiceThread* TService::ServiceThread() const {
    std::lock_guard lock(threadMutex_);
    return thread_.get();
}

bool TService::Terminated() const {
    const TServiceThread* thread = ServiceThread();
    return !thread || thread->Terminated();
}

TCurrentStatus TService::Status() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

void TService::SetStatus(TCurrentStatus status) {
    std::lock_guard lock(statusMutex_);
    status_ = status;
    ReportLocked();
}

void TService::ReportStatus() {
    std::lock_guard lock(statusMutex_);
    ReportLocked();
}

SERVICE_STATUS TService::BuildStatus() {
    SERVICE_STATUS status;
    status.dwServiceType = NtServiceType(*this);
    status.dwCurrentState = NtState(status_);
    if (status_ != csStartPending) {
        status.dwControlsAccepted = (AllowStop ? SERVICE_ACCEPT_STOP : 0) |
                                    (AllowPause ? SERVICE_ACCEPT_PAUSE_CONTINUE : 0) |
                                    SERVICE_ACCEPT_SHUTDOWN;
    }
    checkPoint_ = IsPending(status_) && status_ == lastReported_ ? checkPoint_ + 1 : 0;
    lastReported_ = status_;
    status.dwCheckPoint = checkPoint_;
    status.dwWaitHint = WaitHint;
    status.dwWin32ExitCode = ErrCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : Win32ErrCode;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(ErrCode);
    return status;
}

void TService::ReportLocked() {
    if (statusHandle_ == 0) return;  // not running under the manager
    if (!SetServiceStatus(statusHandle_, BuildStatus())) LogMessage(ScmErrorText(GetLastError()));
}

void TService::LogMessage(const std::string& Message, WORD EventType, int Category, int ID) {
    try {
        ReportEvent(Name, EventType, static_cast<WORD>(Category), static_cast<DWORD>(ID), Message);
    } catch (const std::exception&) {
        // The event log is the last place a service can report to; a failure there is lost.
    }
}

void TService::Controller(DWORD CtrlCode) {
    std::lock_guard lock(threadMutex_);
    if (!thread_) return;
    const TCurrentStatus previous = Status();
    switch (CtrlCode) {
        case SERVICE_CONTROL_STOP:
            SetStatus(csStopPending);
            break;
        case SERVICE_CONTROL_PAUSE:
            SetStatus(csPausePending);
            break;
        case SERVICE_CONTROL_CONTINUE:
            SetStatus(csContinuePending);
            break;
        default:
            break;
    }
    thread_->Post({CtrlCode, previous});
}

void TService::Main(const std::vector<std::string>&) {
    const TServiceController controller = GetServiceController();
    statusHandle_ =
        RegisterServiceCtrlHandler(Name, [controller](DWORD code) { controller(code); });
    if (statusHandle_ == 0) {
        LogMessage(ScmErrorText(GetLastError()));
        return;
    }
    DoStart();
}

void TService::DoStart() {
    Logged(*this, "execute", [&] {
        SetStatus(csStartPending);
        TServiceThread* thread;
        {
            std::lock_guard lock(threadMutex_);
            thread_ = std::make_unique<TServiceThread>(*this);
            thread = thread_.get();
            thread->thread_ = std::thread([thread] { thread->Execute(); });
        }
        thread->thread_.join();
        {
            std::lock_guard lock(threadMutex_);
            thread_.reset();
        }
        SetStatus(csStopped);
    });
}

bool TService::DoStop() {
    bool stopped = true;
    if (OnStop) OnStop(this, stopped);
    if (stopped) ServiceThread()->Terminate();
    return stopped;
}

bool TService::DoPause() {
    bool paused = true;
    if (OnPause) OnPause(this, paused);
    if (paused) {
        SetStatus(csPaused);
        ServiceThread()->Suspend();
    }
    return paused;
}

bool TService::DoContinue() {
    bool continued = true;
    if (OnContinue) OnContinue(this, continued);
    if (continued) SetStatus(csRunning);
    return continued;
}

void TService::DoShutdown() {
    SetStatus(csStopPending);
    try {
        if (OnShutdown) OnShutdown(this);
    } catch (...) {
        ServiceThread()->Terminate();
        throw;
    }
    ServiceThread()->Terminate();
}

void TService::DoInterrogate() {
    ReportStatus();
}

// ---- TServiceApplication

TServiceApplication::TServiceApplication(int argc, char** argv)
    : arguments_(argv + 1, argv + argc) {
    RaiseOpenFileLimit();
}

TServiceApplication::~TServiceApplication() {
    while (!components_.empty()) components_.pop_back();
}

bool TServiceApplication::FindSwitch(std::string_view name) const {
    for (const std::string& argument : arguments_) {
        if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-') &&
            SameText(std::string_view(argument).substr(1), name)) {
            return true;
        }
    }
    return false;
}

void TServiceApplication::DisplayMessage(const std::string& text) const {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int TServiceApplication::RegisterServices(bool install, bool silent) {
    const auto fail = [&](const TService& service) {
        DisplayMessage("Service \"" + service.Name + "\" failed to " +
                       (install ? "install" : "uninstall") + " with error: \"" +
                       ScmErrorText(GetLastError()) + "\"");
        return 1;
    };
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    for (TService* service : services_) {
        if (!manager) return fail(*service);
        if (install) {
            const SC_HANDLE created =
                CreateService(manager, service->Name, service->DisplayName, SERVICE_ALL_ACCESS,
                              NtServiceType(*service), static_cast<DWORD>(service->StartType),
                              static_cast<DWORD>(service->ErrorSeverity), GetModuleFileName(),
                              service->LoadGroup, service->ServiceStartName, service->Password);
            if (!created) return fail(*service);
        } else {
            const SC_HANDLE opened = OpenService(manager, service->Name, SERVICE_ALL_ACCESS);
            if (!opened || !DeleteService(opened)) return fail(*service);
        }
    }
    if (!silent) {
        DisplayMessage(install ? "Service installed successfully"
                               : "Service uninstalled successfully");
    }
    return 0;
}

int TServiceApplication::Run() {
    if (FindSwitch("INSTALL")) return RegisterServices(true, FindSwitch("SILENT"));
    if (FindSwitch("UNINSTALL")) return RegisterServices(false, FindSwitch("SILENT"));
    std::vector<SERVICE_TABLE_ENTRY> table;
    for (TService* service : services_) {
        table.push_back({service->Name,
                         [service](const std::vector<std::string>& args) { service->Main(args); }});
    }
    bool connected = false;
    DWORD error = ERROR_SUCCESS;
    std::thread dispatcher([&] {
        connected = StartServiceCtrlDispatcher(table);
        error = GetLastError();
    });
    dispatcher.join();
    if (connected) return 0;
    ReportEvent(ModuleBaseName(), EVENTLOG_ERROR_TYPE, 0, 0, ScmErrorText(error));
    return 1;
}

}  // namespace win
