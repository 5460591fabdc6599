// The POP3 command reader (see command_reader.h).
#include "service/command_reader.h"

#include <string.h>

#include <cstring>
#include <utility>

#include "platform/clock.h"
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

// Cuts the text at its first NUL, then removes leading and trailing bytes of 32 or less
// (the CR LF among them), in place.
void TrimLine(std::string& line) {
    if (const auto nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    const auto printable = [](char c) { return static_cast<unsigned char>(c) > ' '; };
    std::size_t end = line.size();
    while (end > 0 && !printable(line[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && !printable(line[begin])) ++begin;
    line.resize(end);
    line.erase(0, begin);
}

// Waits for data within the limit, or for the reader's own wait without one.
bool WaitForData(win::TWinSocketStream& stream, const TimeLimit* limit, std::uint32_t wait) {
    if (!limit) return stream.WaitForData(wait);
    const std::uint32_t left = limit->Left();
    return left > 0 && stream.WaitForData(left);
}

}  // namespace

void Wipe(std::string& text) {
    text.resize(text.capacity());
    ::explicit_bzero(text.data(), text.size());
    text.clear();
}

TimeLimit::TimeLimit(std::uint32_t length) : start_(win::GetTickCount()), length_(length) {}

std::uint32_t TimeLimit::Left() const {
    const std::uint32_t spent = win::GetTickCount() - start_;
    return spent >= length_ ? 0 : length_ - spent;
}

PopCommand CommandReader::GetNextCommand(win::TWinSocketStream& stream, std::string& argument) {
    return NextCommand(stream, argument, nullptr);
}

PopCommand CommandReader::GetNextCommand(win::TWinSocketStream& stream, std::string& argument,
                                         const TimeLimit& limit) {
    return NextCommand(stream, argument, &limit);
}

PopCommand CommandReader::NextCommand(win::TWinSocketStream& stream, std::string& argument,
                                      const TimeLimit* limit) {
    argument.clear();
    if (!HasLine() && !WaitForData(stream, limit, kCommandWait)) return PopCommand::NoData;
    std::string line;
    line.reserve(kCommandBlockSize);
    bool overlong = false;
    PopCommand code = PopCommand::NoData;
    if (TakeLine(stream, line, overlong, limit)) {
        code = PopCommand::Unknown;
        if (!overlong) {
            TrimLine(line);
            ParseCommand(line, argument);
            code = CommandCode(line);
        }
    }
    Wipe(line);
    return code;
}

void CommandReader::Clear() {
    ::explicit_bzero(pending_.data(), pending_.size());
    pendingSize_ = 0;
}

bool CommandReader::HasLine() const {
    return std::memchr(pending_.data(), '\n', pendingSize_) != nullptr;
}

// Takes the kept bytes up to their first LF, reading more while none has come. False when
// the client closed or a read timed out first; `overlong` tells that the line did not fit.
bool CommandReader::TakeLine(win::TWinSocketStream& stream, std::string& line, bool& overlong,
                             const TimeLimit* limit) {
    for (;;) {
        const auto* lf = static_cast<const char*>(std::memchr(pending_.data(), '\n', pendingSize_));
        if (lf) {
            MoveToLine(static_cast<std::size_t>(lf - pending_.data()) + 1, line, overlong);
            return true;
        }
        MoveToLine(pendingSize_, line, overlong);
        if (limit && !WaitForData(stream, limit, 0)) return false;
        pendingSize_ = stream.Read(pending_.data(), pending_.size());
        if (pendingSize_ == 0) return false;
    }
}

void CommandReader::MoveToLine(std::size_t count, std::string& line, bool& overlong) {
    if (!overlong && line.size() + count > kMaxCommandLine) {
        overlong = true;
        Wipe(line);
    }
    if (!overlong) line.append(pending_.data(), count);
    std::memmove(pending_.data(), pending_.data() + count, pendingSize_ - count);
    ::explicit_bzero(pending_.data() + pendingSize_ - count, count);
    pendingSize_ -= count;
}

void ParseCommand(std::string& commandLine, std::string& argument) {
    const auto blank = commandLine.find(' ');
    if (blank == std::string::npos) {
        argument.clear();
    } else {
        argument.assign(commandLine, blank + 1);
    }
    const std::string word = win::AnsiUpperCase(std::string_view(commandLine).substr(0, blank));
    // The argument may be a password: the line's own copy of it goes.
    Wipe(commandLine);
    commandLine = word;
}

PopCommand CommandCode(std::string_view word) {
    for (const auto& [text, code] : kCommandWords) {
        if (word == text) return code;
    }
    return PopCommand::Unknown;
}

}  // namespace vrel
