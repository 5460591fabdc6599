// Fuzz target: arbitrary client bytes through a whole POP3 session on a prepared mailbox.
//
// The machine lives in a temporary folder made once: the mail user bob (password
// "secret"), his mailbox with messages that exercise dot-stuffing, a file without an empty
// line and one that spans two RETR blocks, and logging on. The first input byte chooses
// whether the client logs on as bob first (so the transaction commands are reached
// quickly), and whether the rest is cut at each LF into packets of a local socket pair, as
// a client waiting for each reply would send it, or sent as it comes, several commands to a
// packet, as a client sending ahead does; no packet is longer than one receive block. After
// each session: the mailbox lock is gone, and a message removed by DELE and QUIT is stored
// again for the next input.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/settings_key.h"
#include "common/system_module.h"
#include "mail_account.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "service/client_limits.h"
#include "service/command_reader.h"
#include "service/my_server_thread.h"
#include "test_machine.h"

namespace {

constexpr const char* kMailbox = "C:\\Mail\\bob";
constexpr const char* kLockFile = "C:\\Mail\\bob\\LockFile.$$$";

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

const std::vector<std::pair<std::string, std::string>>& Messages() {
    static const std::vector<std::pair<std::string, std::string>> messages = {
        {"261209101010001000000001.eml", "Subject: one\r\n\r\nbody\r\n.\r\n..two\r\n"},
        {"261209101010001000000002.eml", ".Header: no empty line\r\nX: y"},
        {"261209101010001000000003.eml",
         "Subject: big\r\n\r\n" + std::string(99982, 'x') + "\r\n.start of block two\r\n"},
        {"a.b.eml", "\n.\r.\n"},
    };
    return messages;
}

void StoreMissingMessages() {
    for (const auto& [name, content] : Messages()) {
        const std::string path = std::string(kMailbox) + "\\" + name;
        if (!win::FileExists(path)) Check(win::WriteWholeFile(path, content));
    }
}

void PrepareMachine() {
    static vrel::test::TestMachine machine;
    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, true);
    registry.WriteString(vrel::settings_value::MailInBoxDir, "C:\\Mail");
    registry.WriteInteger(vrel::settings_value::LoggingEnabled, 1);
    registry.WriteString(vrel::settings_value::LogFileLocation, "C:\\Logs");
    vrel::test::AddComputerUser("bob", "secret", true);
    Check(win::ForceDirectories(kMailbox));
    StoreMissingMessages();
    // The greeting's version is read from a file that is not there: reading this large
    // program's own version block at every session would only slow the fuzzing down.
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    vrel::SystemModule->VersionInfo = vrel::TWSAExeVersion("C:\\none.exe");
}

// Each line (up to and including its LF), or the whole input when sent ahead, in packets of
// at most one receive block.
std::vector<std::string> Packets(bool logOn, bool sentAhead, std::string_view input) {
    std::vector<std::string> packets;
    if (logOn) packets = {"USER bob\r\n", "PASS secret\r\n"};
    while (!input.empty()) {
        const auto lf = sentAhead ? std::string_view::npos : input.find('\n');
        std::string_view line =
            input.substr(0, lf == std::string_view::npos ? input.size() : lf + 1);
        input.remove_prefix(line.size());
        for (; !line.empty(); line.remove_prefix(std::min(line.size(), vrel::kCommandBlockSize))) {
            packets.emplace_back(line.substr(0, vrel::kCommandBlockSize));
        }
    }
    return packets;
}

void Send(int handle, const std::vector<std::string>& packets) {
    for (const std::string& packet : packets) {
        if (::send(handle, packet.data(), packet.size(), MSG_NOSIGNAL) < 0) break;
    }
    ::shutdown(handle, SHUT_WR);
}

void Drain(int handle) {
    char buffer[65536];
    while (::recv(handle, buffer, sizeof buffer, 0) > 0) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The machine's clock runs 1000 times faster: a refused logon waits 2 ms, not 2 s.
    ::setenv("VREL_CLOCK_SCALE", "1000", 0);
    PrepareMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::vector<std::string> packets =
        Packets(data[0] & 1, data[0] & 2,
                std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return 0;
    std::thread client(Send, ends[1], std::cref(packets));
    {
        // Limits of their own per input, so no penalty of an earlier input slows this one.
        vrel::ClientLimits limits;
        vrel::TMyServerThread session(std::make_unique<win::TServerClientWinSocket>(ends[0]),
                                      limits);
        session.Resume();
        Drain(ends[1]);  // the session closes the connection when it is over
        session.Terminate();
        session.CloseClient();
        session.WaitFor();
    }
    client.join();
    ::close(ends[1]);
    Check(!win::FileExists(kLockFile));
    StoreMissingMessages();
    return 0;
}
