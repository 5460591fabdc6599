// Log lines of the POP3 session (see session_log.h).
#include "service/session_log.h"

#include "platform/clock.h"

namespace vrel {
namespace {

std::string Printable(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
}

}  // namespace

std::string ClientLogLine(std::string_view event, std::string_view userName,
                          const win::TServerClientWinSocket& client, std::string_view outcome) {
    win::SYSTEMTIME now;
    win::GetLocalTime(now);
    std::string line = win::DateTimeText(now);
    line.append(event).append(Printable(userName));
    line.append(" from: [").append(client.RemoteAddress()).append("] ");
    line.append(Printable(client.RemoteHost())).append(" -> ").append(outcome);
    return line;
}

}  // namespace vrel
