// The message agent's registration and binding from the settings program; see
// agent_install.h.
#include "settings/agent_install.h"

#include <optional>
#include <string>

#include "common/agent_binding.h"
#include "platform/dialogs.h"
#include "platform/guid.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings/programs.h"

namespace vrel {
namespace {

constexpr std::size_t kGuidTextLength = 38;

std::string DefaultValue(win::TRegistry& registry) {
    return registry.ValueExists("") ? registry.ReadString("") : std::string();
}

// The command line COM starts the agent's class with; nothing when it is not registered.
std::optional<std::string> RegisteredCommandLine() {
    win::TRegistry registry;
    registry.RootKey = win::HKEY_CLASSES_ROOT;
    if (!registry.OpenKey(std::string("\\") + kAgentSinkClass + "\\CLSID", false)) {
        return std::nullopt;
    }
    const std::string clsid = DefaultValue(registry);
    if (clsid.empty() || !registry.OpenKey("\\CLSID\\" + clsid + "\\LocalServer32", false)) {
        return std::nullopt;
    }
    return DefaultValue(registry);
}

// popagent.exe beside the settings program.
std::string AgentPath() {
    return ProgramFolder() + "popagent.exe";
}

// Starts the agent with its switch and waits for it to end; false when it cannot start.
bool RunAgent(const std::string& path, const char* option) {
    return RunAndWait("\"" + path + "\" " + option);
}

void AddAgentBinding() {
    win::GUID id;
    if (win::CoCreateGuid(id) != win::S_OK) return;
    const std::string text = win::StringFromGUID2(id);
    if (text.size() != kGuidTextLength) return;
    RegisterAgentBinding(kAgentBindingDisplayName, kAgentSinkClass, text);
}

}  // namespace

bool IsMessageAgentRegistered() {
    const std::optional<std::string> commandLine = RegisteredCommandLine();
    if (!commandLine) return false;
    const std::string path = AgentPath();
    const std::string shortPath = win::GetShortPathName(path);
    if (shortPath.empty()) return false;
    return commandLine->find(shortPath) != std::string::npos ||
           commandLine->find(path) != std::string::npos;
}

bool RegisterMessageAgent() {
    if (!IsMessageAgentRegistered() && !RunAgent(AgentPath(), "/regserver")) {
        win::ShowMessage(
            "Can't find Message Agent Library. You may need to reinstall the POP3 Server.");
        return false;
    }
    if (FindAgentBinding(kAgentSinkClass).empty()) AddAgentBinding();
    return true;
}

void UnregisterMessageAgent() {
    const std::string id = FindAgentBinding(kAgentSinkClass);
    if (id.empty()) return;
    RemoveAgentBinding(id);
    if (!IsMessageAgentRegistered()) return;
    const std::string commandLine = RegisteredCommandLine().value_or(std::string());
    const std::string agent =
        commandLine.substr(0, commandLine.find_last_of('\\') + 1) + "popagent.exe";
    if (!RunAgent(agent, "/unregserver")) {
        win::ShowMessage(
            "Can't find Message Agent Library. Use Add/Remove Programs to repair the POP3 Server.");
    }
}

}  // namespace vrel
