#include "stored_settings.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/settings_key.h"
#include "platform/registry.h"

namespace vrel::test {

void StoreNumber(std::string_view name, std::int32_t number) {
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(kSettingsKey, true));
    registry.WriteInteger(name, number);
}

void CreateNode(const std::string& parent, const char* className, const char* name,
                const Properties& properties) {
    std::shared_ptr<win::IIsObject> container;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost" + parent, container), win::S_OK) << parent;
    std::shared_ptr<win::IIsObject> node;
    ASSERT_EQ(container->Create(className, name, node), win::S_OK) << name;
    for (const auto& [property, value] : properties) node->Put(property, value);
    ASSERT_EQ(node->SetInfo(), win::S_OK);
}

void InstallSmtpServer(const Properties& properties) {
    CreateNode("", "IIsSmtpService", "smtpsvc");
    CreateNode("/smtpsvc", "IIsSmtpServer", "1", properties);
    CreateNode("/smtpsvc/1", "IIsSmtpDomain", "Domain");
}

}  // namespace vrel::test
