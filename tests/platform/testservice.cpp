// testservice: a service program for the tests of the service control manager and of the
// programs that wait for services. It is built on the service framework like the suite's
// service, and its behaviour comes from "-key:value" words of its command line (the image
// path's arguments), so one program plays every misbehaving service:
//
//   -name:NAME            the service's name (default "VrelTestService")
//   -display:TEXT         its display name (for the install switch)
//   -waithint:MS          the wait hint it reports (default 5000)
//   -startdelay:MS        OnStart takes that long, reporting check points; "forever" never ends
//   -start:refuse|fail    OnStart sets Started to false, or raises
//   -stopdelay:MS         OnStop takes that long before it agrees
//   -stop:refuse|fail|ignore  OnStop sets Stopped to false, or raises; "ignore" never takes
//                         a control request at all
//   -pause:refuse         OnPause sets Paused to false
//   -execute:default|fail no OnExecute (the framework waits for requests), or it raises
//   -crash:MS             the process ends without a word after MS running
//
// It writes "Test service started" and "Test service stopped" to the event log.
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>

#include "platform/clock.h"
#include "platform/service.h"

namespace {

using Options = std::map<std::string, std::string>;

Options ReadOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const std::size_t colon = word.find(':');
        if (word.size() > 1 && word[0] == '-' && colon != std::string::npos) {
            options[word.substr(1, colon - 1)] = word.substr(colon + 1);
        }
    }
    return options;
}

std::string Option(const Options& options, const std::string& key) {
    const auto found = options.find(key);
    return found == options.end() ? std::string() : found->second;
}

std::uint32_t Milliseconds(const Options& options, const std::string& key) {
    return static_cast<std::uint32_t>(std::strtoul(Option(options, key).c_str(), nullptr, 10));
}

// Waits for the given machine time in steps, reporting each step to the manager.
void TakeTime(win::TService& service, std::uint32_t total, bool forever) {
    const std::uint32_t step = std::max<std::uint32_t>(service.WaitHint / 2, 50);
    for (std::uint32_t spent = 0; forever || spent < total; spent += step) {
        win::Sleep(forever ? step : std::min(step, total - spent));
        service.ReportStatus();
    }
}

class TTestService : public win::TService {
  public:
    explicit TTestService(const Options& options);
    win::TServiceController GetServiceController() override;

  private:
    void ServiceStart(bool& started);
    void ServiceStop(bool& stopped);
    void ServiceExecute();

    Options options_;
};

TTestService* TestService = nullptr;

void ServiceController(win::DWORD code) {
    TestService->Controller(code);
}

TTestService::TTestService(const Options& options)
    : TService(Option(options, "name").empty() ? "VrelTestService" : Option(options, "name")),
      options_(options) {
    if (!Option(options, "display").empty()) DisplayName = Option(options, "display");
    if (!Option(options, "waithint").empty()) WaitHint = Milliseconds(options, "waithint");
    OnStart = [this](win::TService*, bool& started) { ServiceStart(started); };
    OnStop = [this](win::TService*, bool& stopped) { ServiceStop(stopped); };
    if (Option(options, "pause") == "refuse") {
        OnPause = [](win::TService*, bool& paused) { paused = false; };
    }
    if (Option(options, "execute") != "default") {
        OnExecute = [this](win::TService*) { ServiceExecute(); };
    }
}

win::TServiceController TTestService::GetServiceController() {
    return ServiceController;
}

void TTestService::ServiceStart(bool& started) {
    const std::string delay = Option(options_, "startdelay");
    if (!delay.empty()) TakeTime(*this, Milliseconds(options_, "startdelay"), delay == "forever");
    if (Option(options_, "start") == "fail") throw std::runtime_error("the start was told to fail");
    started = Option(options_, "start") != "refuse";
    if (started) LogMessage("Test service started", win::EVENTLOG_INFORMATION_TYPE);
}

void TTestService::ServiceStop(bool& stopped) {
    if (Option(options_, "stop") == "fail") throw std::runtime_error("the stop was told to fail");
    TakeTime(*this, Milliseconds(options_, "stopdelay"), false);
    stopped = Option(options_, "stop") != "refuse";
    if (stopped) LogMessage("Test service stopped", win::EVENTLOG_INFORMATION_TYPE);
}

void TTestService::ServiceExecute() {
    if (Option(options_, "execute") == "fail")
        throw std::runtime_error("the execute was told to fail");
    const bool crash = !Option(options_, "crash").empty();
    const std::uint32_t started = win::GetTickCount();
    while (!Terminated()) {
        if (crash && win::GetTickCount() - started >= Milliseconds(options_, "crash"))
            std::_Exit(3);
        if (crash || Option(options_, "stop") == "ignore") {
            win::Sleep(20);
        } else {
            ServiceThread()->ProcessRequests(true);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    win::TServiceApplication Application(argc, argv);
    Application.Initialize();
    Application.CreateForm(TestService, ReadOptions(argc, argv));
    return Application.Run();
}
