// Installing and removing the SMTP component: the service SMTPSVC, the metabase nodes
// smtpsvc, smtpsvc/1 and its Domain container, the mailroot folders, and the SMTP
// service's source type, arrival event type and virtual server source in SEO.
//
// A second install keeps every node, folder and registration that exists, with its values:
// only what is missing is made.
#include "smtp_component.h"

#include <cstdio>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/metabase.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "platform/seo.h"
#include "platform/text.h"

namespace sysocmgr {
namespace {

constexpr const char* kServiceName = "SMTPSVC";
constexpr const char* kDisplayName = "Simple Mail Transfer Protocol (SMTP)";
constexpr const char* kImagePath = "C:\\WINDOWS\\system32\\inetsrv\\smtpsvc.exe";
constexpr const char* kMailroot = "C:\\Inetpub\\mailroot";
constexpr std::uint32_t kServiceWait = 30000;

struct Folder {
    const char* property;
    const char* name;
};
constexpr Folder kMailFolders[] = {
    {"DropDirectory", "Drop"},
    {"BadMailDirectory", "Badmail"},
    {"PickupDirectory", "Pickup"},
    {"QueueDirectory", "Queue"},
};

bool Report(const char* what) {
    std::fprintf(stderr, "sysocmgr: iis_smtp: %s\n", what);
    return false;
}

std::string DefaultDomain() {
    win::TRegistry registry;
    if (!registry.OpenKeyReadOnly(
            "\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName")) {
        return std::string();
    }
    return win::LowerCase(registry.ReadString("ComputerName"));
}

// The child of that name, created with its class when missing; created tells which.
std::shared_ptr<win::IIsObject> EnsureNode(win::IIsObject& parent, const char* className,
                                           const std::string& name, bool& created) {
    std::shared_ptr<win::IIsObject> node;
    created = parent.Create(className, name, node) == win::S_OK;
    if (!created) win::ADsGetObject(parent.ADsPath() + "/" + name, node);
    return node;
}

// The Domain container's first child: the server's default domain, RouteAction 0.
bool AddDefaultDomain(win::IIsObject& server, win::IIsObject& domains) {
    win::VARIANT defaultDomain;
    std::shared_ptr<win::IIsObject> domain;
    if (server.Get("DefaultDomain", defaultDomain) != win::S_OK ||
        domains.Create("IIsSmtpDomain", win::VariantToText(defaultDomain).value_or(""), domain) !=
            win::S_OK) {
        return false;
    }
    domain->Put("RouteAction", win::VARIANT(std::int32_t{0}));
    return domain->SetInfo() == win::S_OK;
}

bool InstallMetabase() {
    std::shared_ptr<win::IIsObject> root;
    if (win::ADsGetObject("IIS://localhost", root) != win::S_OK) return false;
    bool created = false;
    const auto service = EnsureNode(*root, "IIsSmtpService", "smtpsvc", created);
    if (!service) return false;
    const auto server = EnsureNode(*service, "IIsSmtpServer", "1", created);
    if (!server) return false;
    if (created) {
        server->Put("DefaultDomain", win::VARIANT(DefaultDomain()));
        for (const Folder& folder : kMailFolders) {
            server->Put(folder.property, win::VARIANT(std::string(kMailroot) + "\\" + folder.name));
        }
        if (server->SetInfo() != win::S_OK) return false;
    }
    const auto domains = EnsureNode(*server, "IIsSmtpDomain", "Domain", created);
    if (!domains) return false;
    return !created || AddDefaultDomain(*server, *domains);
}

bool MakeMailFolders() {
    bool made = true;
    for (const Folder& folder : kMailFolders) {
        made = win::ForceDirectories(std::string(kMailroot) + "\\" + folder.name) && made;
    }
    return made;
}

std::shared_ptr<win::IEventSourceTypes> SeoSourceTypes() {
    std::shared_ptr<win::IEventManager> manager;
    std::shared_ptr<win::IEventSourceTypes> sourceTypes;
    if (win::QueryInterface(win::CreateEventManager(), manager) == win::S_OK) {
        manager->get_SourceTypes(sourceTypes);
    }
    return sourceTypes;
}

bool InstallSeo() {
    win::RegisterEventManagerClass();
    const auto sourceTypes = SeoSourceTypes();
    if (!sourceTypes) return false;
    std::shared_ptr<win::IEventSourceType> sourceType;
    sourceTypes->Item(win::VARIANT(std::string(win::kSmtpSourceType)), sourceType);
    if (!sourceType) sourceTypes->Add(win::kSmtpSourceType, sourceType);
    std::shared_ptr<win::IEventTypes> eventTypes;
    std::shared_ptr<win::IEventSources> sources;
    if (!sourceType || sourceType->get_EventTypes(eventTypes) != win::S_OK ||
        sourceType->get_Sources(sources) != win::S_OK) {
        return false;
    }
    eventTypes->Add(win::kSmtpOnArrivalEventType);
    std::shared_ptr<win::IEventSource> source;
    sources->Item(win::VARIANT(std::string(win::kSmtpVirtualServer1Source)), source);
    if (!source) sources->Add(win::kSmtpVirtualServer1Source, source);
    return source != nullptr;
}

// The service, created when missing; an empty handle when it can be neither opened nor made.
win::SC_HANDLE InstallService(const win::SC_HANDLE& manager) {
    win::SC_HANDLE service = win::OpenService(manager, kServiceName, win::SERVICE_ALL_ACCESS);
    if (service) return service;
    return win::CreateService(manager, kServiceName, kDisplayName, win::SERVICE_ALL_ACCESS,
                              win::SERVICE_WIN32_OWN_PROCESS, win::SERVICE_AUTO_START,
                              win::SERVICE_ERROR_NORMAL, kImagePath);
}

// Waits, through the machine's clock and at most kServiceWait, until the service reads one
// of the two states; the state it read last.
win::DWORD WaitForEither(const win::SC_HANDLE& service, win::DWORD one, win::DWORD other) {
    win::SERVICE_STATUS status;
    const std::uint32_t start = win::GetTickCount();
    while (win::QueryServiceStatus(service, status) && status.dwCurrentState != one &&
           status.dwCurrentState != other && win::GetTickCount() - start < kServiceWait) {
        win::Sleep(100);
    }
    return status.dwCurrentState;
}

// Starts the service and returns once it runs or its start has failed, so that whoever ran
// the installer reads a settled state.
void StartSmtpService(const win::SC_HANDLE& service) {
    if (!win::StartService(service) && win::GetLastError() != win::ERROR_SERVICE_ALREADY_RUNNING) {
        std::fprintf(stderr, "sysocmgr: iis_smtp: the service did not start (%u)\n",
                     static_cast<unsigned>(win::GetLastError()));
        return;
    }
    if (WaitForEither(service, win::SERVICE_RUNNING, win::SERVICE_STOPPED) !=
        win::SERVICE_RUNNING) {
        std::fprintf(stderr, "sysocmgr: iis_smtp: the service is not running\n");
    }
}

// Stops the service and waits until its process has ended.
void StopService(const win::SC_HANDLE& service) {
    win::SERVICE_STATUS status;
    win::ControlService(service, win::SERVICE_CONTROL_STOP, status);
    WaitForEither(service, win::SERVICE_STOPPED, win::SERVICE_STOPPED);
}

bool RemoveService() {
    const win::SC_HANDLE manager = win::OpenSCManager(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    if (!manager) return Report("the service control manager cannot be opened");
    const win::SC_HANDLE service = win::OpenService(manager, kServiceName, win::SERVICE_ALL_ACCESS);
    if (!service) return true;
    StopService(service);
    return win::DeleteService(service) || Report("the service cannot be deleted");
}

bool RemoveMetabase() {
    std::shared_ptr<win::IIsObject> root;
    std::shared_ptr<win::IIsObject> service;
    if (win::ADsGetObject("IIS://localhost", root) != win::S_OK) return false;
    if (win::ADsGetObject("IIS://localhost/smtpsvc", service) != win::S_OK) return true;
    return root->Delete(service->Class(), service->Name()) == win::S_OK;
}

bool RemoveSeo() {
    const auto sourceTypes = SeoSourceTypes();
    if (!sourceTypes) return false;
    const win::HRESULT hr = sourceTypes->Remove(win::VARIANT(std::string(win::kSmtpSourceType)));
    win::UnregisterEventManagerClass();
    return hr == win::S_OK || hr == win::SEO_E_NOT_FOUND;
}

}  // namespace

bool InstallSmtpComponent() {
    const win::SC_HANDLE manager = win::OpenSCManager(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    if (!manager) return Report("the service control manager cannot be opened");
    const win::SC_HANDLE service = InstallService(manager);
    if (!service) return Report("the service cannot be created");
    if (!InstallMetabase()) return Report("the metabase nodes cannot be made");
    if (!MakeMailFolders()) return Report("the mail folders cannot be made");
    if (!InstallSeo()) return Report("the event system registration cannot be made");
    StartSmtpService(service);
    return true;
}

bool RemoveSmtpComponent() {
    bool removed = RemoveService();
    if (!RemoveMetabase()) removed = Report("the metabase branch cannot be deleted");
    if (!RemoveSeo()) removed = Report("the event system registration cannot be removed");
    return removed;
}

}  // namespace sysocmgr
