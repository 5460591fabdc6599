// Internal: starting a local server from its LocalServer32 command line.
//
// The command line is used exactly as stored. Its first token names the program: a quoted
// token up to the closing quote, or, unquoted, the shortest run of blank-separated words
// that names an existing file (as CreateProcess tries "C:\Program" before
// "C:\Program Files\..."). The rest is split into arguments by the Windows rules.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/com_channel.h"

namespace win::com {

struct CommandLine {
    std::filesystem::path program;  // host file
    std::vector<std::string> arguments;
};
std::optional<CommandLine> ParseCommandLine(std::string_view commandLine);

// A server process started detached (its own session, standard input and output on
// /dev/null, standard error appended to run/<program>.log, the environment inherited).
struct StartedServer {
    pid_t pid = -1;
    Fd pidfd;  // readable once the process has ended; empty where the kernel has none
};
std::optional<StartedServer> StartServer(const CommandLine& commandLine);
bool HasEnded(const StartedServer& server);

}  // namespace win::com
