// Test fixture of the settings library: a fresh machine, with helpers that write the
// SettingsKey and build the SMTP service's metabase nodes the way the SMTP component does
// (those of stored_settings.h, in reach of every test of the fixture).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/settings_key.h"
#include "platform/metabase.h"
#include "platform/registry.h"
#include "stored_settings.h"
#include "test_machine.h"

namespace vrel::test {

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
        test::StoreNumber(name, number);
    }

    static void CreateNode(const std::string& parent, const char* className, const char* name,
                           const Properties& properties = {}) {
        test::CreateNode(parent, className, name, properties);
    }

    static void InstallSmtpServer(const Properties& properties) {
        test::InstallSmtpServer(properties);
    }
};

}  // namespace vrel::test
