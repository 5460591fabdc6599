// The AgentBinding: the binding of the message agent's sink class to the SMTP service's
// arrival event in the event system (SEO), made, found and removed through the event
// manager.
//
// Called by the settings program on its main thread. Nothing here reports a failure: when
// SEO or the SMTP service's registration in it is missing, or any call of the chain fails,
// the operation does nothing (FindAgentBinding gives the empty text), and the caller learns
// the outcome by calling FindAgentBinding again.
#pragma once

#include <string>

namespace vrel {

inline constexpr const char* kAgentSinkClass = "vrelPOP3Service.MessageAgent";
inline constexpr const char* kAgentBindingDisplayName = "Message Agent for POP3 Service";

// Adds and saves a binding under the identifier (a braced GUID text) with the sink class,
// the display name and the source property "Priority" 24000.
void RegisterAgentBinding(const std::string& displayName, const std::string& sinkClass,
                          const std::string& id);
// Deletes the binding of that identifier at once.
void RemoveAgentBinding(const std::string& id);
// The identifier of the binding whose sink class equals sinkClass exactly (with case); of
// several, the one enumerated last. The empty text when there is none.
std::string FindAgentBinding(const std::string& sinkClass);

}  // namespace vrel
