// The message agent's COM registration and its arrival binding, tested, made and removed
// from the settings program. The agent is popagent.exe beside the settings program.
#pragma once

namespace vrel {

// True when the agent beside the settings program is the registered local server of the
// agent's ProgID.
bool IsMessageAgentRegistered();
// Registers the agent (when needed) and adds its binding (when missing); false only when the
// agent cannot be started.
bool RegisterMessageAgent();
// Removes the binding and, when there was one, unregisters the agent.
void UnregisterMessageAgent();

}  // namespace vrel
