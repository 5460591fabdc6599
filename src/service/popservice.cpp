// popservice: the POP3 service, which serves the mailbox folders to mail clients. The entry
// creates the service object (its listener opens here, before the service application runs,
// also in runs with the install switches), then the settings data module, and runs the service
// application: with "INSTALL", "UNINSTALL" and "SILENT" it registers or removes the service,
// otherwise it runs it under the service control manager.
//
// An exception that reaches the entry ends the program with exit code 1. The service has no
// desktop to show it on: it goes to standard output (read by whoever ran an install switch)
// and to the event log (read by the administrator of a service that failed to come up).
#include <cstdio>
#include <exception>

#include "common/system_module.h"
#include "platform/eventlog.h"
#include "platform/service.h"
#include "service/vrel_p3_service.h"

namespace {

void ShowException(const std::exception& error) {
    std::printf("%s\n", error.what());
    std::fflush(stdout);
    try {
        win::ReportEvent(vrel::kServiceName, win::EVENTLOG_ERROR_TYPE, 0, 0, error.what());
    } catch (const std::exception&) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        win::TServiceApplication Application(argc, argv);
        Application.Initialize();
        Application.CreateForm(vrel::vrelP3Service);
        vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
        return Application.Run();
    } catch (const std::exception& error) {
        ShowException(error);
        return 1;
    }
}
