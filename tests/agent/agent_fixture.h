// Test fixture of the message agent: a fresh machine whose SettingsKey and metabase the
// tests fill, a frozen local clock, and the running program posing as popagent (its
// version block) for the log header.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "common/system_module.h"
#include "platform/paths.h"
#include "settings_fixture.h"

namespace vrel::test {

class AgentTest : public SettingsTest {
  protected:
    void SetUp() override {
        SetFixedTime("2026-12-09T10:10:10.001");
        UseVersionBlockOf("popagent");
    }
    void TearDown() override {
        ::unsetenv("VREL_FIXED_TIME");
        SystemModule.reset();
    }

    static void SetFixedTime(const char* time) { ::setenv("VREL_FIXED_TIME", time, 1); }

    static void UseVersionBlockOf(const char* program) {
        SystemModule = std::make_unique<TSystemModule>();
        SystemModule->VersionInfo =
            TWSAExeVersion(win::ToWindowsPath(BinFolder() / program) + ".exe");
    }

    static std::string ReadFile(std::string_view windowsPath) {
        std::ifstream in(win::ToHostPath(windowsPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static bool HostExists(std::string_view windowsPath) {
        return std::filesystem::exists(win::ToHostPath(windowsPath));
    }

    // Every entry name of a folder, hidden ones included.
    static std::set<std::string> Entries(std::string_view windowsFolder) {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(win::ToHostPath(windowsFolder), error)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

}  // namespace vrel::test
