// The POP3 service object (see vrel_p3_service.h): stored properties, the start and stop
// handlers, the listener's run and its session threads.
#include "service/vrel_p3_service.h"

#include "agent/daily_log.h"
#include "common/settings_key.h"
#include "common/system_module.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "service/my_server_thread.h"

namespace vrel {
namespace {

constexpr std::string_view kServiceKey = "\\SYSTEM\\CurrentControlSet\\Services\\vrelP3Service";
constexpr std::string_view kDescription = "Sorts and delivers email messages to POP3 clients";

std::string Now() {
    win::SYSTEMTIME now;
    win::GetLocalTime(now);
    return win::DateTimeText(now);
}

// "<mark> Vrel POP3 Service Version: x.y.z Build (n) <event>: <date and time> <mark>".
std::string ServiceLine(std::string_view mark, std::string_view event) {
    std::string line = "\n";
    line.append(mark).append(" ").append(SystemModule->VersionInfo.GetProductName());
    line.append(" ").append(GetVersionText()).append(" ").append(event).append(": ");
    line.append(Now()).append(" ").append(mark).append("\n");
    return line;
}

std::string AuthorizationLine(win::TRegistry& settings) {
    switch (settings.ReadInteger(settings_value::UserAuthentication)) {
        case 1:
            if (!settings.ValueExists(settings_value::NTDomainLogonServer)) return {};
            return " -> Using NT Domain User Authorization: " +
                   settings.ReadString(settings_value::NTDomainLogonServer) + "\n";
        case 2:
            return "\n -> Using Password Database User Authorization\n";
        default:
            return " -> Using Local Computer User Authorization\n";
    }
}

// Gives the service its description when it has none; an administrator's text stays.
void WriteDescription() {
    win::TRegistry services;
    services.RootKey = win::HKEY_LOCAL_MACHINE;
    if (!services.OpenKey(kServiceKey, false)) return;
    if (!services.ValueExists("Description")) services.WriteString("Description", kDescription);
    services.CloseKey();
}

}  // namespace

TvrelP3Service* vrelP3Service = nullptr;

void ServiceController(win::DWORD CtrlCode) {
    vrelP3Service->Controller(CtrlCode);
}

TvrelP3Service::TvrelP3Service() : TService(std::string(kServiceName)) {
    DisplayName = "Vrel POP Service";
    OnStart = [this](TService* sender, bool& started) { ServiceStart(sender, started); };
    OnStop = [this](TService* sender, bool& stopped) { ServiceStop(sender, stopped); };
    OnExecute = [this](TService* sender) { ServiceExecute(sender); };
    ServerSocket.Port = 110;
    ServerSocket.Service = "pop3";
    ServerSocket.ServerType = win::stThreadBlocking;
    ServerSocket.OnGetThread = [this](auto& clientSocket, auto& socketThread) {
        ServerSocketGetThread(clientSocket, socketThread);
    };
    ServerSocket.SetActive(true);
}

win::TServiceController TvrelP3Service::GetServiceController() {
    return ServiceController;
}

void TvrelP3Service::ServiceStart(win::TService*, bool& Started) {
    LogServiceStart();
    Started = true;
}

void TvrelP3Service::LogServiceStart() {
    win::TRegistry settings;
    settings.RootKey = win::HKEY_LOCAL_MACHINE;
    if (!settings.OpenKey(kSettingsKey, true)) return;
    WriteLog(ServiceLine("+++++", "started"));
    if (settings.ValueExists(settings_value::UserAuthentication)) {
        const std::string line = AuthorizationLine(settings);
        if (!line.empty()) WriteLog(line);
    }
    settings.CloseKey();
    WriteDescription();
}

void TvrelP3Service::ServiceStop(win::TService*, bool& Stopped) {
    WriteLog(ServiceLine("-----", "stopped"));
    Stopped = true;
}

void TvrelP3Service::ServiceExecute(win::TService*) {
    ServerSocket.Port = 110;
    ServerSocket.ServerType = win::stThreadBlocking;
    ServerSocket.SetActive(true);
    while (!Terminated()) ServiceThread()->ProcessRequests(true);
    ServerSocket.SetActive(false);
}

void TvrelP3Service::ServerSocketGetThread(
    std::unique_ptr<win::TServerClientWinSocket>& ClientSocket,
    std::unique_ptr<win::TServerClientThread>& SocketThread) {
    SocketThread = std::make_unique<TMyServerThread>(std::move(ClientSocket), limits_);
}

}  // namespace vrel
