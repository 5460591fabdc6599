#include "agent/recipients.h"

#include <memory>

#include "common/com_scope.h"
#include "common/smtp_config.h"
#include "platform/com.h"
#include "platform/metabase.h"
#include "platform/text.h"

namespace vrel {
namespace {

constexpr std::string_view kEntryStart = "SMTP:";

bool IsDomainNode(const std::string& domain) {
    std::shared_ptr<win::IIsObject> container;
    if (win::ADsGetObject("IIS://localhost/smtpsvc/1/Domain", container) != win::S_OK) {
        return false;
    }
    std::unique_ptr<win::IIsEnum> children;
    if (win::FAILED(container->get__NewEnum(children)) || !children) return false;
    // Every child is visited even after a match, as the enumeration has always run.
    bool found = false;
    std::shared_ptr<win::IIsObject> child;
    while (children->Next(child) == win::S_OK) {
        if (child && win::SameText(child->Name(), domain)) found = true;
    }
    return found;
}

}  // namespace

std::string NextRecipient(std::string& list) {
    const std::size_t start = list.find(kEntryStart);
    if (start == std::string::npos) return std::string();
    const std::size_t addressStart = start + kEntryStart.size();
    const std::size_t end = list.find(';', addressStart);
    const std::size_t addressEnd = end == std::string::npos ? list.size() : end;
    std::string address = list.substr(addressStart, addressEnd - addressStart);
    list.erase(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    return address;
}

std::string GetDomainFromAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return std::string();
    const std::string_view rest = address.substr(at + 1);
    return std::string(rest.substr(0, rest.find_first_of(" <>![]:%\"\n\r\t")));
}

bool IsLocalDomain(const std::string& domain) {
    if (domain.empty()) return false;
    const ComScope com;
    const bool isDefault = win::UpperCase(GetSmtpDefaultDomain()) == win::UpperCase(domain);
    const bool isNode = IsDomainNode(domain);
    return isDefault || isNode;
}

}  // namespace vrel
