// smtpsvc: the SMTP service stand-in, the Windows service "SMTPSVC" that the SMTP
// component installs. While it runs it takes mail over ESMTP and from the pickup folder,
// keeps each message in the queue folder, calls the arrival sinks bound in SEO for it and
// delivers it to the drop folder (smtp_listener.h, queue_worker.h, delivery.h).
//
// The queue and pickup folders are read from the metabase when the service starts; the
// domains, the drop folder and the limits at each use. Without a queue folder the service
// does not start: it could acknowledge no message.
#include <memory>

#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/seo.h"
#include "platform/service.h"
#include "server_config.h"
#include "sink_call.h"
#include "smtp_listener.h"

namespace {

std::vector<smtpsvc::SinkBinding> BoundSinks() {
    std::vector<smtpsvc::SinkBinding> sinks;
    for (const win::ArrivalBinding& binding : win::ListArrivalBindings()) {
        sinks.push_back(smtpsvc::SinkBinding{binding.id, binding.sinkClass});
    }
    return sinks;
}

class TSmtpService : public win::TService {
  public:
    TSmtpService();
    win::TServiceController GetServiceController() override;

  private:
    void ServiceStart(bool& started);
    void ServiceStop(bool& stopped);

    smtpsvc::ArrivalSinks sinks_;  // used by the worker's thread only
    std::unique_ptr<smtpsvc::QueueWorker> worker_;
    std::unique_ptr<smtpsvc::SmtpListener> listener_;
};

TSmtpService* SmtpService = nullptr;

void ServiceController(win::DWORD code) {
    SmtpService->Controller(code);
}

TSmtpService::TSmtpService() : TService("SMTPSVC") {
    DisplayName = "Simple Mail Transfer Protocol (SMTP)";
    AllowPause = false;
    OnStart = [this](win::TService*, bool& started) { ServiceStart(started); };
    OnStop = [this](win::TService*, bool& stopped) { ServiceStop(stopped); };
}

win::TServiceController TSmtpService::GetServiceController() {
    return ServiceController;
}

void TSmtpService::ServiceStart(bool& started) {
    const smtpsvc::ServerConfig config = smtpsvc::ReadServerConfig();
    if (config.queueDirectory.empty() || !win::ForceDirectories(config.queueDirectory)) {
        LogMessage("The SMTP service has no queue folder (QueueDirectory of smtpsvc/1).");
        started = false;
        return;
    }
    auto call = [this](const smtpsvc::SinkBinding& binding, const std::string& messageFile,
                       win::Envelope& envelope, std::int32_t& eventStatus) {
        return sinks_.Call(binding, messageFile, envelope, eventStatus);
    };
    worker_ = std::make_unique<smtpsvc::QueueWorker>(win::ToHostPath(config.queueDirectory),
                                                     config.pickupDirectory, call, BoundSinks,
                                                     [this] { sinks_.Release(); });
    worker_->Start();
    listener_ = std::make_unique<smtpsvc::SmtpListener>(*worker_);
    listener_->Open();
}

void TSmtpService::ServiceStop(bool& stopped) {
    if (listener_) listener_->Close();
    if (worker_) worker_->Stop();
    stopped = true;
}

}  // namespace

int main(int argc, char** argv) {
    win::TServiceApplication Application(argc, argv);
    Application.Initialize();
    Application.CreateForm(SmtpService);
    return Application.Run();
}
