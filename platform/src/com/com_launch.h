// Internal: starting a local server from its LocalServer32 command line, used exactly as
// stored and read as CreateProcess reads it (process.h).
#pragma once

#include <sys/types.h>

#include <optional>

#include "com/com_channel.h"
#include "platform/process.h"

namespace win::com {

// A server process started detached (its own session, standard input and output on
// /dev/null, standard error appended to run/<program>.log, the environment inherited).
struct StartedServer {
    pid_t pid = -1;
    Fd pidfd;  // readable once the process has ended; empty where the kernel has none
};
std::optional<StartedServer> StartServer(const CommandLine& commandLine);
bool HasEnded(const StartedServer& server);

}  // namespace win::com
