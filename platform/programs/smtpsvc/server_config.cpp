#include "server_config.h"

#include "platform/metabase.h"
#include "platform/sockets.h"
#include "platform/text.h"

namespace smtpsvc {
namespace {

constexpr const char* kServerPath = "IIS://localhost/smtpsvc/1";
constexpr const char* kDomainPath = "IIS://localhost/smtpsvc/1/Domain";

std::string Text(win::IIsObject& server, const char* property) {
    win::VARIANT value;
    if (server.Get(property, value) != win::S_OK) return std::string();
    return win::VariantToText(value).value_or(std::string());
}

void ReadLimit(win::IIsObject& server, const char* property, std::size_t& limit) {
    win::VARIANT value;
    if (server.Get(property, value) == win::S_OK && value.vt() == win::VT_I4 && value.lVal() > 0) {
        limit = static_cast<std::size_t>(value.lVal());
    }
}

}  // namespace

ServerConfig ReadServerConfig() {
    ServerConfig config;
    std::shared_ptr<win::IIsObject> server;
    if (win::ADsGetObject(kServerPath, server) != win::S_OK) return config;
    config.defaultDomain = Text(*server, "DefaultDomain");
    config.dropDirectory = Text(*server, "DropDirectory");
    config.badMailDirectory = Text(*server, "BadMailDirectory");
    config.pickupDirectory = Text(*server, "PickupDirectory");
    config.queueDirectory = Text(*server, "QueueDirectory");
    ReadLimit(*server, "MaxMessageSize", config.limits.maxMessageSize);
    ReadLimit(*server, "MaxRecipients", config.limits.maxRecipients);
    return config;
}

bool IsLocalDomain(std::string_view domain) {
    if (domain.empty()) return false;
    std::shared_ptr<win::IIsObject> server;
    if (win::ADsGetObject(kServerPath, server) == win::S_OK &&
        win::SameText(Text(*server, "DefaultDomain"), domain)) {
        return true;
    }
    std::shared_ptr<win::IIsObject> container;
    std::unique_ptr<win::IIsEnum> children;
    if (win::ADsGetObject(kDomainPath, container) != win::S_OK ||
        container->get__NewEnum(children) != win::S_OK) {
        return false;
    }
    std::shared_ptr<win::IIsObject> child;
    while (children->Next(child) == win::S_OK) {
        if (win::SameText(child->Name(), domain)) return true;
    }
    return false;
}

std::string ServerName(const ServerConfig& config) {
    return config.defaultDomain.empty() ? win::gethostname() : config.defaultDomain;
}

}  // namespace smtpsvc
