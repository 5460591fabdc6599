// The settings program's own folder, and the programs it starts and waits for (the message
// agent's registration switches, the optional-components installer).
//
// GUI thread; a wait blocks it until the program ends.
#pragma once

#include <string>

namespace vrel {

// The folder of the settings program with its trailing "\".
std::string ProgramFolder();
// Starts the command line and waits for its process to end; false when it cannot start.
bool RunAndWait(const std::string& commandLine);

}  // namespace vrel
