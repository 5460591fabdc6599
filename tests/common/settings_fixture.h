// Test fixture of the settings library: a fresh machine, with helpers that write the
// SettingsKey and build the SMTP service's metabase nodes the way the SMTP component does.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/settings_key.h"
#include "platform/metabase.h"
#include "platform/registry.h"
#include "test_machine.h"

namespace vrel::test {

using Properties = std::vector<std::pair<std::string, win::VARIANT>>;

class SettingsTest : public MachineTest {
  protected:
    static void StoreSetting(std::string_view name, const win::RegValue& value) {
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(kSettingsKey, true));
        registry.PutValue(name, value);
    }

    static void StoreText(std::string_view name, std::string_view text) {
        StoreSetting(name, {win::REG_SZ, std::vector<std::uint8_t>(text.begin(), text.end())});
    }

    static void StoreNumber(std::string_view name, std::int32_t number) {
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(kSettingsKey, true));
        registry.WriteInteger(name, number);
    }

    // A node with its properties stored; the parent must exist.
    static void CreateNode(const std::string& parent, const char* className, const char* name,
                           const Properties& properties = {}) {
        std::shared_ptr<win::IIsObject> container;
        ASSERT_EQ(win::ADsGetObject("IIS://localhost" + parent, container), win::S_OK) << parent;
        std::shared_ptr<win::IIsObject> node;
        ASSERT_EQ(container->Create(className, name, node), win::S_OK) << name;
        for (const auto& [property, value] : properties) node->Put(property, value);
        ASSERT_EQ(node->SetInfo(), win::S_OK);
    }

    // smtpsvc/1 with the given server properties and an empty Domain container.
    static void InstallSmtpServer(const Properties& properties) {
        CreateNode("", "IIsSmtpService", "smtpsvc");
        CreateNode("/smtpsvc", "IIsSmtpServer", "1", properties);
        CreateNode("/smtpsvc/1", "IIsSmtpDomain", "Domain");
    }
};

}  // namespace vrel::test
