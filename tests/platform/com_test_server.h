// The test local server's class and interface, shared by com_test_server.cpp and the
// COM tests.
//
// Methods of the object: "Args" (the command-line arguments, one per line), "Echo",
// "Stderr" (writes the request to standard error),
// "Pid", "Slow" (sleeps the given host milliseconds; answers the most calls it ever saw
// running at once and whether it ran on the main thread), "Hang" (never answers; marks
// that it began in run/com_test_server.<pid>.hang), "Fail" (error
// information with the request as description), "Throw".
// Switches: "/Automation" (quit on last release), "/NoRegister" (never registers its
// class object), "/ExitAtOnce". Each run writes its PID to run/com_test_server.<pid>.pid.
#pragma once

#include "platform/guid.h"

namespace vrel::test {

inline constexpr win::CLSID CLSID_ComTestServer =
    win::GuidFromText("{0B7C3C61-2A48-4C3E-9A41-6F21D3E8B001}");
inline constexpr win::IID IID_IComTest =
    win::GuidFromText("{0B7C3C61-2A48-4C3E-9A41-6F21D3E8B002}");
inline constexpr const char* kComTestSource = "ComTest.Server";

}  // namespace vrel::test
