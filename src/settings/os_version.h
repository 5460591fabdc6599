// Which Windows the settings program runs on: the one-line description the setup wizard
// shows, and the tests that decide whether the POP3 server can be set up at all. Each call
// asks the system again; nothing is reported to the user.
#pragma once

#include <string>

namespace vrel {

// Name, edition, service pack and build; empty when the version cannot be read.
std::string GetOSVersionText();
bool IsWinNT();
bool IsNT4OrOlder();
bool IsXPHome();

}  // namespace vrel
