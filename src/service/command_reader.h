// The POP3 command reader: waits for one command line from the client, cuts it into the
// upper-cased command word and the argument, and returns the command's code. The session
// thread (authorization phase and transaction loop) calls it for every command and decides
// what each code means; the reader itself never answers the client.
//
// Trusts nothing it reads. A line ends at its first LF; the bytes that arrived after it
// wait in the reader for the next command, so a client may send several commands at once
// and each gets its own reply. A line's text ends at its first NUL byte, as a zero-terminated
// buffer would. The line buffer holds at most kMaxCommandLine bytes. A longer line is read
// to its end and discarded, and answered with PopCommand::Unknown and an empty argument:
// cutting it instead could turn the head of an over-long line into a command or a user name
// that the client never sent. Memory stays bounded however long the line is. Bytes the
// reader lets go of (a password among them) are wiped. Given a time limit (the time to log
// on), the reader gives up once it has passed, however slowly the line's bytes trickle in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sockets.h"

namespace vrel {

enum class PopCommand : std::uint8_t {
    Unknown = 0,  // any other word, or an empty line
    User = 1,
    Pass = 2,
    Quit = 3,
    Stat = 4,
    List = 5,
    Retr = 6,
    Dele = 7,
    Noop = 8,
    Rset = 9,
    Uidl = 10,
    Top = 11,
    NoData = 12,  // silence for 600000 ms, the client closed, or a read timed out
};

// A receive block and the line buffer are 1024 bytes, so a line holds at most 1023.
inline constexpr std::size_t kCommandBlockSize = 1024;
inline constexpr std::size_t kMaxCommandLine = kCommandBlockSize - 1;

// A span of machine time that starts when it is made.
class TimeLimit {
  public:
    explicit TimeLimit(std::uint32_t length);
    // Machine milliseconds left; 0 once the span has passed.
    std::uint32_t Left() const;

  private:
    std::uint32_t start_;
    std::uint32_t length_;
};

// The reader of one connection: what arrived after the line it last returned.
class CommandReader {
  public:
    CommandReader() = default;
    CommandReader(const CommandReader&) = delete;
    CommandReader& operator=(const CommandReader&) = delete;
    ~CommandReader() { Clear(); }

    // Reads the next command from the stream. The argument is emptied first and receives
    // the text after the command word, at most kMaxCommandLine bytes. A receive error of
    // the stream (ESocketError) goes on to the caller.
    PopCommand GetNextCommand(win::TWinSocketStream& stream, std::string& argument);
    // The same, but the whole line must have come before the limit has passed, however
    // slowly its bytes trickle in; NoData when it has not.
    PopCommand GetNextCommand(win::TWinSocketStream& stream, std::string& argument,
                              const TimeLimit& limit);
    // Forgets the bytes kept over, for a new connection.
    void Clear();

  private:
    // Without a limit each wait is the stream's own.
    PopCommand NextCommand(win::TWinSocketStream& stream, std::string& argument,
                           const TimeLimit* limit);
    bool HasLine() const;
    bool TakeLine(win::TWinSocketStream& stream, std::string& line, bool& overlong,
                  const TimeLimit* limit);
    // Moves the first count kept bytes to the line (unless it is over-long already).
    void MoveToLine(std::size_t count, std::string& line, bool& overlong);

    std::array<char, kCommandBlockSize> pending_{};
    std::size_t pendingSize_ = 0;
};

// Overwrites the whole buffer of the text, not only its present length, and empties it: a
// password must not stay behind in the capacity beyond the text's end.
void Wipe(std::string& text);

// Splits a trimmed command line at its first blank (byte 32 only): the line becomes the
// upper-cased command word, the argument everything after the blank, unchanged.
void ParseCommand(std::string& commandLine, std::string& argument);

// The code of an upper-case command word; Unknown unless the whole word matches.
PopCommand CommandCode(std::string_view word);

}  // namespace vrel
