// The message agent's registration and binding from the settings program, with real copies
// of popagent placed beside "the program" in folders with and without blanks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/agent_binding.h"
#include "platform/com.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings/agent_install.h"
#include "smtp_seo.h"
#include "test_machine.h"

namespace vrel {
namespace {
namespace fs = std::filesystem;

constexpr const char* kLongNames = "C:\\VrelPop3Programs";
constexpr const char* kBlanks = "C:\\Program Files\\Vrel POP3";
constexpr const char* kMissingAgentMessage =
    "Can't find Message Agent Library. You may need to reinstall the POP3 Server.";

class AgentInstallTest : public test::MachineTest {
  protected:
    void SetUp() override {
        win::CoInitialize();
        test::RegisterSmtpWithSeo();
    }
    void TearDown() override {
        program_.reset();
        win::CoUninitialize();
    }

    // popagent.exe in the folder, a real copy so that it names itself by that folder.
    static void PlaceAgent(const std::string& folder) {
        const fs::path host = win::ToHostPath(folder);
        fs::create_directories(host);
        std::error_code linked;
        fs::create_hard_link(test::BinFolder() / "popagent", host / "popagent", linked);
        if (linked) fs::copy_file(test::BinFolder() / "popagent", host / "popagent");
    }

    // Replaces the agent with a script that only notes that it was started.
    void ReplaceAgentWithRecorder(const std::string& folder) {
        const fs::path agent = win::ToHostPath(folder) / "popagent";
        fs::remove(agent);
        std::ofstream(agent) << "#!/bin/sh\necho \"$@\" >> '" << Started().string() << "'\n";
        fs::permissions(agent, fs::perms::owner_all);
    }
    fs::path Started() const { return machine_.Folder() / "agent-started"; }

    static void RunFrom(const std::string& folder) { program_.emplace(folder + "\\popsetup.exe"); }

    static std::string LocalServer() {
        win::TRegistry registry;
        registry.RootKey = win::HKEY_CLASSES_ROOT;
        if (!registry.OpenKeyReadOnly("\\vrelPOP3Service.MessageAgent\\CLSID")) return "<none>";
        const std::string clsid = registry.ReadString("");
        if (!registry.OpenKeyReadOnly("\\CLSID\\" + clsid + "\\LocalServer32")) return "<none>";
        return registry.ReadString("");
    }

    static int Bindings() {
        std::int32_t count = -1;
        if (const auto bindings = test::ArrivalBindings()) bindings->get_Count(count);
        return count;
    }

    static inline std::optional<win::ModuleFileNameOverride> program_;
};

TEST_F(AgentInstallTest, RegisteredFromAFolderWithLongNamesOrBlanksTheTestIsTrue) {
    for (const char* folder : {kLongNames, kBlanks}) {
        PlaceAgent(folder);
        RunFrom(folder);
        win::MessageBoxScript boxes;
        EXPECT_FALSE(IsMessageAgentRegistered()) << folder;
        EXPECT_TRUE(RegisterMessageAgent()) << folder;
        EXPECT_TRUE(boxes.Shown().empty());
        EXPECT_TRUE(IsMessageAgentRegistered()) << folder << ": " << LocalServer();
        EXPECT_EQ(Bindings(), 1);
        EXPECT_NE(FindAgentBinding(kAgentSinkClass), "");
        UnregisterMessageAgent();
        EXPECT_FALSE(IsMessageAgentRegistered()) << folder;
        EXPECT_EQ(Bindings(), 0);
    }
}

TEST_F(AgentInstallTest, TheLongFolderIsFoundAsItIsAndTheBlankOneByItsShortPath) {
    PlaceAgent(kLongNames);
    RunFrom(kLongNames);
    ASSERT_TRUE(RegisterMessageAgent());
    EXPECT_EQ(LocalServer(), std::string(kLongNames) + "\\popagent.exe /Automation");
    PlaceAgent(kBlanks);
    RunFrom(kBlanks);
    ASSERT_TRUE(RegisterMessageAgent());
    EXPECT_EQ(LocalServer(), "C:\\PROGRA~1\\VRELPO~1\\popagent.exe /Automation");
    EXPECT_TRUE(IsMessageAgentRegistered());
}

TEST_F(AgentInstallTest, AnAgentRegisteredFromAnotherFolderIsRegisteredAgainFromOurs) {
    PlaceAgent(kLongNames);
    RunFrom(kLongNames);
    ASSERT_TRUE(RegisterMessageAgent());
    PlaceAgent(kBlanks);
    RunFrom(kBlanks);
    EXPECT_FALSE(IsMessageAgentRegistered());
    EXPECT_TRUE(RegisterMessageAgent());
    EXPECT_TRUE(IsMessageAgentRegistered());
    EXPECT_EQ(Bindings(), 1) << "the existing binding is kept";
}

TEST_F(AgentInstallTest, AMissingAgentIsReportedAndMakesNoBinding) {
    RunFrom(kLongNames);
    win::MessageBoxScript boxes;
    EXPECT_FALSE(IsMessageAgentRegistered());
    EXPECT_FALSE(RegisterMessageAgent());
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kMissingAgentMessage);
    EXPECT_EQ(Bindings(), 0);
}

TEST_F(AgentInstallTest, ARegisteredAndBoundAgentIsNeitherStartedNorBoundAgain) {
    PlaceAgent(kBlanks);
    RunFrom(kBlanks);
    ASSERT_TRUE(RegisterMessageAgent());
    ReplaceAgentWithRecorder(kBlanks);
    EXPECT_TRUE(RegisterMessageAgent());
    EXPECT_FALSE(fs::exists(Started()));
    EXPECT_EQ(Bindings(), 1);
}

TEST_F(AgentInstallTest, WithoutABindingUnregisteringLeavesTheRegistration) {
    PlaceAgent(kLongNames);
    RunFrom(kLongNames);
    ASSERT_TRUE(RegisterMessageAgent());
    RemoveAgentBinding(FindAgentBinding(kAgentSinkClass));
    ReplaceAgentWithRecorder(kLongNames);
    UnregisterMessageAgent();
    EXPECT_FALSE(fs::exists(Started()));
    EXPECT_TRUE(IsMessageAgentRegistered());
}

TEST_F(AgentInstallTest, UnregisteringStartsTheRegisteredAgentWithItsSwitch) {
    PlaceAgent(kBlanks);
    RunFrom(kBlanks);
    ASSERT_TRUE(RegisterMessageAgent());
    ReplaceAgentWithRecorder(kBlanks);
    UnregisterMessageAgent();
    std::ifstream started(Started());
    std::string line;
    std::getline(started, line);
    EXPECT_EQ(line, "/unregserver");
    EXPECT_EQ(Bindings(), 0);
}

}  // namespace
}  // namespace vrel
