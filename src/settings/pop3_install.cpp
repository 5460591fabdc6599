// The POP3 service's installation and removal; see pop3_install.h.
#include "settings/pop3_install.h"

#include "common/settings_key.h"
#include "platform/dialogs.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "settings/programs.h"
#include "settings/service_control.h"

namespace vrel {
namespace {

constexpr const char* kServiceKey = "\\SYSTEM\\CurrentControlSet\\Services\\vrelP3Service";

std::string ServiceProgramPath() {
    std::string folder = GetInstallDirectory();
    if (!folder.ends_with('\\')) folder += '\\';
    return folder + "popservice.exe";
}

// Re-points an existing service's key at the program; a first installation has no key yet.
void RewriteServiceKey(const std::string& programPath) {
    win::TRegistry registry;
    if (!registry.OpenKey(kServiceKey, false)) return;
    registry.WriteString("ImagePath", programPath);
    registry.WriteString("Description", "Sorts and delivers email messages to POP3 clients");
    registry.CloseKey();
}

}  // namespace

std::string GetInstallDirectory() {
    std::string folder;
    win::TRegistry registry;
    if (registry.OpenKeyReadOnly(kSettingsKey) &&
        registry.ValueExists(settings_value::InstallDirectory)) {
        folder = registry.ReadString(settings_value::InstallDirectory);
    }
    return folder.empty() ? ProgramFolder() : folder;
}

void InstallPop3Service() {
    const std::string programPath = ServiceProgramPath();
    if (!win::FileExists(programPath)) {
        win::ShowMessage(
            "Can't find the POP3 Server. Use Add/Remove programs to repair the POP3 Software.");
        return;
    }
    RewriteServiceKey(programPath);
    win::SC_HANDLE manager = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    win::SC_HANDLE service = win::OpenServiceA(manager, kPop3ServiceName, win::SERVICE_ALL_ACCESS);
    if (!service) {
        service =
            win::CreateServiceA(manager, kPop3ServiceName, "Vrel POP3 Service",
                                win::SERVICE_ALL_ACCESS, win::SERVICE_WIN32_OWN_PROCESS,
                                win::SERVICE_AUTO_START, win::SERVICE_ERROR_NORMAL, programPath);
    }
    if (service) win::CloseServiceHandle(service);
    win::CloseServiceHandle(manager);
}

void RemovePop3Service() {
    win::SC_HANDLE manager = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    win::SC_HANDLE service = win::OpenServiceA(manager, kPop3ServiceName, win::SERVICE_ALL_ACCESS);
    if (service) {
        StopServiceAndWait(kPop3ServiceName);
        win::DeleteService(service);
        win::CloseServiceHandle(service);
    }
    win::CloseServiceHandle(manager);
}

}  // namespace vrel
