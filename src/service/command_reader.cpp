// The POP3 command reader (see command_reader.h).
#include "service/command_reader.h"

#include <array>
#include <cstring>
#include <utility>

#include "platform/text.h"

namespace vrel {
namespace {

// How long a client may stay silent before its session ends, in machine milliseconds.
constexpr std::uint32_t kCommandWait = 600000;

constexpr std::array<std::pair<std::string_view, PopCommand>, 11> kCommandWords = {{
    {"QUIT", PopCommand::Quit},
    {"STAT", PopCommand::Stat},
    {"NOOP", PopCommand::Noop},
    {"RSET", PopCommand::Rset},
    {"USER", PopCommand::User},
    {"PASS", PopCommand::Pass},
    {"LIST", PopCommand::List},
    {"RETR", PopCommand::Retr},
    {"DELE", PopCommand::Dele},
    {"UIDL", PopCommand::Uidl},
    {"TOP", PopCommand::Top},
}};

// Reads until a read brings a LF. False when the client closed or a read timed out;
// otherwise `line` holds the bytes received, or is cleared with `overlong` set when they
// do not fit the line buffer.
bool ReadLine(win::TWinSocketStream& stream, std::string& line, bool& overlong) {
    std::array<char, kCommandBlockSize> block;
    for (;;) {
        const std::size_t received = stream.Read(block.data(), block.size());
        if (received == 0) return false;
        if (!overlong && line.size() + received > kMaxCommandLine) {
            overlong = true;
            line.clear();
        }
        if (!overlong) line.append(block.data(), received);
        if (std::memchr(block.data(), '\n', received)) return true;
    }
}

}  // namespace

PopCommand GetNextCommand(win::TWinSocketStream& stream, std::string& argument) {
    argument.clear();
    if (!stream.WaitForData(kCommandWait)) return PopCommand::NoData;
    std::string line;
    bool overlong = false;
    if (!ReadLine(stream, line, overlong)) return PopCommand::NoData;
    if (overlong) return PopCommand::Unknown;
    if (const auto nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    line = win::Trim(line);
    ParseCommand(line, argument);
    return CommandCode(line);
}

void ParseCommand(std::string& commandLine, std::string& argument) {
    const auto blank = commandLine.find(' ');
    if (blank == std::string::npos) {
        argument.clear();
    } else {
        argument.assign(commandLine, blank + 1);
        commandLine.resize(blank);
    }
    commandLine = win::UpperCase(commandLine);
}

PopCommand CommandCode(std::string_view word) {
    for (const auto& [text, code] : kCommandWords) {
        if (word == text) return code;
    }
    return PopCommand::Unknown;
}

}  // namespace vrel
