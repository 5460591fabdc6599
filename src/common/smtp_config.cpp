#include "common/smtp_config.h"

#include <charconv>

#include "platform/metabase.h"

namespace vrel {
namespace {

// The three spellings of the service segment are the ones each operation has always used;
// the provider compares paths without case.
constexpr const char* kSmtpServerPath = "IIS://localhost/smtpsvc/1";
constexpr const char* kDomainListPath = "IIS://localhost/SMTPSvc/1/Domain";
constexpr const char* kDomainCreatePath = "IIS://localhost/SmtpSvc/1/Domain";

constexpr const char* kDomainClass = "IIsSmtpDomain";
constexpr const char* kRouteAction = "RouteAction";
constexpr std::int32_t kRouteActionLocal = 16;

std::string ReadServerProperty(const char* property) {
    std::shared_ptr<win::IIsObject> server;
    if (win::ADsGetObject(kSmtpServerPath, server) != win::S_OK) return std::string();
    win::VARIANT value;
    if (server->Get(property, value) != win::S_OK) return std::string();
    return win::VariantToText(value).value_or(std::string());
}

// "greater than 1" as a variant comparison: a number as such, a text holding a number by
// that number; anything else is no local route.
bool RouteActionIsLocal(const win::VARIANT& value) {
    if (value.vt() == win::VT_I4) return value.lVal() > 1;
    if (value.vt() != win::VT_BSTR) return false;
    const std::string& text = value.bstrVal();
    long long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() && number > 1;
}

}  // namespace

std::string GetSmtpDefaultDomain() {
    return ReadServerProperty("DefaultDomain");
}
std::string GetSmtpSendNdrTo() {
    return ReadServerProperty("SendNdrTo");
}
std::string GetSmtpDropDirectory() {
    return ReadServerProperty("DropDirectory");
}
std::string GetBadMailDirectory() {
    return ReadServerProperty("BadMailDirectory");
}

std::vector<std::string> GetLocalDomains() {
    std::vector<std::string> domains{GetSmtpDefaultDomain()};
    std::shared_ptr<win::IIsObject> container;
    if (win::ADsGetObject(kDomainListPath, container) != win::S_OK) return domains;
    std::unique_ptr<win::IIsEnum> children;
    if (container->get__NewEnum(children) != win::S_OK) return domains;
    std::shared_ptr<win::IIsObject> child;
    while (children->Next(child) == win::S_OK) {
        win::VARIANT routeAction;
        if (child->Get(kRouteAction, routeAction) == win::S_OK && RouteActionIsLocal(routeAction)) {
            domains.push_back(child->Name());
        }
    }
    return domains;
}

bool CreateLocalDomain(const std::string& name) {
    std::shared_ptr<win::IIsObject> container;
    if (win::ADsGetObject(kDomainCreatePath, container) != win::S_OK) return false;
    std::shared_ptr<win::IIsObject> domain;
    if (container->Create(kDomainClass, name, domain) != win::S_OK) return false;
    domain->Put(kRouteAction, win::VARIANT(kRouteActionLocal));
    domain->SetInfo();
    return true;
}

}  // namespace vrel
