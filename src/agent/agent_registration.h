// AgentRegistration: the message agent's class entries under HKEY_CLASSES_ROOT and its type
// library, written by "popagent /regserver" (and by a start by hand) and removed by
// "popagent /unregserver".
//
// Called by the program's start-up only. What it writes comes from the program's own
// constants and its module file name; failures are not reported (the callers ignore them).
#pragma once

#include <string>
#include <string_view>

#include "platform/guid.h"
#include "platform/typelib.h"

namespace vrel {

inline constexpr win::CLSID CLSID_MessageAgent =
    win::GuidFromText("{89DDE9CE-5757-4855-BF80-4417F3214F72}");
inline constexpr win::CLSID CLSID_IsCacheable =
    win::GuidFromText("{175D234E-8F0F-42B7-A49F-75E0477A5D4B}");
inline constexpr win::GUID LIBID_popagent =
    win::GuidFromText("{2AF1AFF7-1190-4F4E-B1ED-D4148B9BBC85}");
inline constexpr win::IID IID_IEventIsCacheable =
    win::GuidFromText("{22E0F830-1E81-11D1-AA29-00AA006BC80B}");
inline constexpr std::string_view kMessageAgentDescription = "Message Agent for POP3 Server";

// The type library the program carries.
const win::TypeLibData& AgentTypeLib();

// The LocalServer32 command: the program's path, in its short form when it holds white
// space, then " /Automation".
std::string LocalServerCommand(std::string_view moduleFileName);

// Writes (true) or removes (false) the class entries of TMessageAgentImpl.
void UpdateRegistry(bool Register);

// The class entries, then the type library, registered with the program's own path; and
// the reverse. Neither reports a failure.
void RegisterAgentServer();
void UnregisterAgentServer();

}  // namespace vrel
