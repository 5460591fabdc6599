// Fuzz target: arbitrary client bytes through the POP3 command reader.
//
// The first two bytes choose the size of the pieces (1 to 1024 bytes) in which the rest
// arrives; each piece is one packet of a local socket pair, so every read of the reader
// returns exactly one piece, as a client typing by hand or a slow network would deliver
// them; a piece may hold several lines, which the reader takes one by one. The reader runs
// until the client's end is reached. What the session relies on is
// checked after every command: a known code, an argument that fits the caller's buffer
// and holds no NUL, and nothing read past the stream's end.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "service/command_reader.h"

namespace {

using vrel::PopCommand;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void SendInPieces(int handle, const std::uint8_t* data, std::size_t size, std::size_t piece) {
    for (std::size_t offset = 0; offset < size; offset += piece) {
        const std::size_t length = std::min(piece, size - offset);
        if (::send(handle, data + offset, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) {
            break;
        }
    }
    ::shutdown(handle, SHUT_WR);
}

void CheckCommand(PopCommand code, const std::string& argument) {
    Check(static_cast<unsigned>(code) <= static_cast<unsigned>(PopCommand::NoData));
    Check(argument.size() <= vrel::kMaxCommandLine);
    Check(argument.find('\0') == std::string::npos);
    if (code == PopCommand::NoData) Check(argument.empty());
}

void CheckParse(const std::uint8_t* data, std::size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::string argument;
    vrel::ParseCommand(line, argument);
    Check(line.find(' ') == std::string::npos);
    Check(line.size() + argument.size() <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = 1 + ((data[0] << 8 | data[1]) % vrel::kCommandBlockSize);
    data += 2;
    size -= 2;
    CheckParse(data, size);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return 0;
    std::thread client(SendInPieces, ends[1], data, size, piece);
    {
        win::TServerClientWinSocket socket(ends[0]);
        win::TWinSocketStream stream(socket, 600000);
        vrel::CommandReader reader;
        std::string argument;
        for (std::size_t commands = 0;; ++commands) {
            const PopCommand code = reader.GetNextCommand(stream, argument);
            CheckCommand(code, argument);
            if (code == PopCommand::NoData) break;
            Check(commands < size);  // every command takes at least one byte
        }
    }
    client.join();
    ::close(ends[1]);
    return 0;
}
