// The component library's service framework: the service application, TService and its
// service thread, as a service program of the suite relies on them.
//
// Threads: the main thread runs TServiceApplication::Run and waits; the control-dispatcher
// thread serves the service control manager and hands each control to the service's
// control handler (the program's free function that calls Controller); the service thread
// runs OnStart, then OnExecute (or, without one, waits for control requests), and takes the
// requests one at a time in ProcessRequests. A control reports its pending state at once
// (STOP_PENDING, PAUSE_PENDING, CONTINUE_PENDING), so the manager sees it acknowledged; a
// handler that refuses (its flag set to false) or raises puts the status back.
//
// Failures of the handlers are written to the event log under the service's name as
// "Service failed on %s: %s". What the framework would show in a box (the install switches'
// confirmations and failures) goes to standard output: a service program has no desktop.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/eventlog.h"
#include "platform/scm.h"

namespace win {

enum TCurrentStatus {
    csStopped,
    csStartPending,
    csStopPending,
    csRunning,
    csContinuePending,
    csPausePending,
    csPaused
};
enum TServiceType { stWin32, stDevice, stFileSystem };
enum TStartType { stBoot, stSystem, stAuto, stManual, stDisabled };
enum TErrorSeverity { esIgnore, esNormal, esSevere, esCritical };

class TService;
using TServiceController = void (*)(DWORD CtrlCode);
using TServiceEvent = std::function<void(TService* Sender)>;
// The flag starts true; a handler sets it to false to refuse.
using TStartEvent = std::function<void(TService* Sender, bool& Started)>;
using TStopEvent = std::function<void(TService* Sender, bool& Stopped)>;
using TPauseEvent = std::function<void(TService* Sender, bool& Paused)>;
using TContinueEvent = std::function<void(TService* Sender, bool& Continued)>;

class TServiceThread {
  public:
    explicit TServiceThread(TService& service);
    TServiceThread(const TServiceThread&) = delete;
    TServiceThread& operator=(const TServiceThread&) = delete;
    ~TServiceThread();

    // Takes the queued control requests: with WaitForMessage, waits for each until the
    // thread is terminated; without, takes those waiting and returns.
    void ProcessRequests(bool WaitForMessage);
    bool Terminated() const;
    void Terminate();

  private:
    friend class TService;
    struct Request {
        DWORD code;
        TCurrentStatus previous;  // the status before the control's pending state
    };
    void Execute();
    void Post(Request request);
    bool Next(bool wait, Request& request);
    void Handle(const Request& request);
    // Holds the thread until the next control request arrives (a paused service).
    void Suspend();

    TService& service_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Request> requests_;
    bool terminated_ = false;
    std::thread thread_;
};

class TService {
  public:
    explicit TService(std::string name);
    TService(const TService&) = delete;
    TService& operator=(const TService&) = delete;
    virtual ~TService();

    // The control handler the program gives the manager; it calls Controller.
    virtual TServiceController GetServiceController() = 0;

    std::string Name;
    std::string DisplayName;
    TServiceType ServiceType = stWin32;
    bool Interactive = false;
    TStartType StartType = stAuto;
    TErrorSeverity ErrorSeverity = esNormal;
    std::string ServiceStartName;  // empty: LocalSystem
    std::string Password;
    std::string LoadGroup;
    bool AllowStop = true;
    bool AllowPause = true;
    DWORD WaitHint = 5000;
    int ErrCode = 0;
    DWORD Win32ErrCode = 0;

    TStartEvent OnStart;
    TServiceEvent OnExecute;
    TStopEvent OnStop;
    TPauseEvent OnPause;
    TContinueEvent OnContinue;
    TServiceEvent OnShutdown;

    // The service thread while the service runs, else null.
    TServiceThread* ServiceThread() const;
    bool Terminated() const;
    TCurrentStatus Status() const;
    void SetStatus(TCurrentStatus status);
    // Tells the manager the current status again (a pending state's next check point).
    void ReportStatus();
    void LogMessage(const std::string& Message, WORD EventType = EVENTLOG_ERROR_TYPE,
                    int Category = 0, int ID = 0);
    // The framework's control routine: every control code goes through here.
    void Controller(DWORD CtrlCode);

    // The service's main function, run by the dispatcher.
    void Main(const std::vector<std::string>& args);

  private:
    friend class TServiceThread;
    void DoStart();
    bool DoStop();
    bool DoPause();
    bool DoContinue();
    void DoShutdown();
    void DoInterrogate();
    void ReportLocked();
    SERVICE_STATUS BuildStatus();

    mutable std::mutex statusMutex_;
    TCurrentStatus status_ = csStopped;
    TCurrentStatus lastReported_ = csStopped;
    DWORD checkPoint_ = 0;
    SERVICE_STATUS_HANDLE statusHandle_ = 0;
    mutable std::mutex threadMutex_;
    std::unique_ptr<TServiceThread> thread_;
};

class TServiceApplication {
  public:
    // Raises the process's soft limit of open files to its hard limit, as servers do.
    TServiceApplication(int argc, char** argv);
    TServiceApplication(const TServiceApplication&) = delete;
    TServiceApplication& operator=(const TServiceApplication&) = delete;
    ~TServiceApplication();

    void Initialize() {}
    // Creates a component owned by the application; services among them are the program's
    // services. Components are destroyed in reverse order of creation.
    template <class T, class... Args>
    void CreateForm(T*& reference, Args&&... args) {
        auto component = std::make_unique<T>(std::forward<Args>(args)...);
        reference = component.get();
        if constexpr (std::is_base_of_v<TService, T>) services_.push_back(component.get());
        components_.push_back(std::unique_ptr<void, void (*)(void*)>(
            component.release(), [](void* p) { delete static_cast<T*>(p); }));
    }
    // Installs or uninstalls with the switches "INSTALL", "UNINSTALL" and "SILENT" ("/" or
    // "-", any case), else runs the services under the manager. Returns the exit code: 1
    // when an installation, an uninstallation or the connection to the manager failed.
    int Run();

  private:
    bool FindSwitch(std::string_view name) const;
    int RegisterServices(bool install, bool silent);
    void DisplayMessage(const std::string& text) const;

    std::vector<std::string> arguments_;
    std::vector<std::unique_ptr<void, void (*)(void*)>> components_;
    std::vector<TService*> services_;
};

}  // namespace win
