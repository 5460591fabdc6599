// AgentRegistration; see agent_registration.h.
#include "agent/agent_registration.h"

#include <algorithm>
#include <exception>

#include "agent/message_agent.h"
#include "platform/cdo.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace vrel {
namespace {

bool HoldsWhiteSpace(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    });
}

void WriteDefault(win::TRegistry& registry, const std::string& key, std::string_view value) {
    if (registry.OpenKey(key, true)) registry.WriteString("", value);
    registry.CloseKey();
}

std::string VersionOf(const win::TypeLibData& typeLib) {
    return std::to_string(typeLib.majorVersion) + "." + std::to_string(typeLib.minorVersion);
}

}  // namespace

const win::TypeLibData& AgentTypeLib() {
    static const win::TypeLibData typeLib{"popagent",
                                          LIBID_popagent,
                                          1,
                                          0,
                                          0,
                                          "Message Agents for POP3 Library",
                                          {{"MessageAgent",
                                            CLSID_MessageAgent,
                                            "SMTP sink to move messages to local mail boxes",
                                            {{"ISMTPOnArrival", win::IID_ISMTPOnArrival}}},
                                           {"IsCacheable",
                                            CLSID_IsCacheable,
                                            "This sink is cacheable",
                                            {{"IEventIsCacheable", IID_IEventIsCacheable}}}}};
    return typeLib;
}

std::string LocalServerCommand(std::string_view moduleFileName) {
    std::string path(moduleFileName);
    if (HoldsWhiteSpace(path)) {
        const std::string shortPath = win::GetShortPathName(path);
        if (!shortPath.empty()) path = shortPath;
    }
    return path + " /Automation";
}

void UpdateRegistry(bool Register) {
    const std::string clsidKey = "\\CLSID\\" + win::StringFromGUID2(CLSID_MessageAgent);
    const std::string progIdKey = "\\" + std::string(kMessageAgentProgId);
    win::TRegistry registry;
    registry.RootKey = win::HKEY_CLASSES_ROOT;
    if (!Register) {
        registry.DeleteKey(clsidKey);
        registry.DeleteKey(progIdKey);
        return;
    }
    WriteDefault(registry, clsidKey, kMessageAgentDescription);
    WriteDefault(registry, clsidKey + "\\LocalServer32",
                 LocalServerCommand(win::GetModuleFileName()));
    if (registry.OpenKey(clsidKey + "\\LocalServer32", true)) {
        registry.WriteString("ThreadingModel", "Apartment");
    }
    registry.CloseKey();
    WriteDefault(registry, progIdKey, kMessageAgentDescription);
    WriteDefault(registry, progIdKey + "\\CLSID", win::StringFromGUID2(CLSID_MessageAgent));
    WriteDefault(registry, clsidKey + "\\ProgID", kMessageAgentProgId);
    WriteDefault(registry, clsidKey + "\\Version", VersionOf(AgentTypeLib()));
    WriteDefault(registry, clsidKey + "\\Typelib", win::StringFromGUID2(LIBID_popagent));
}

void RegisterAgentServer() {
    try {
        UpdateRegistry(true);
        win::RegisterTypeLib(AgentTypeLib(), win::GetModuleFileName(), "");
    } catch (const std::exception&) {
        // Not reported: the settings program checks the registration itself.
    }
}

void UnregisterAgentServer() {
    try {
        UpdateRegistry(false);
        const win::TypeLibData& typeLib = AgentTypeLib();
        win::UnRegisterTypeLib(typeLib.libid, typeLib.majorVersion, typeLib.minorVersion,
                               typeLib.lcid, win::SYS_WIN32);
    } catch (const std::exception&) {
        // Not reported, as registering is not.
    }
}

}  // namespace vrel
