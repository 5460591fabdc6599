// POP3 session figures on a machine of its own in a temporary folder, over real loopback
// connections: RETR of a 10 MB message, RETR of 1000 messages of 4 KB in turn (over their
// folder's path in its own case and in another), LIST and UIDL of a 10,000-message mailbox
// (and its list, built afresh and taken from the one before), the first LIST and UIDL of a
// session on that mailbox as a client sees them (from its command to the end of the reply,
// through the listener's accepted socket), and whole USER/PASS/STAT/QUIT sessions against a
// listening socket with its thread cache, at the tests' password cost (1) and the machine's
// default (5), and on the 10,000-message mailbox from its second session on.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_machine.h"
#include "common/settings_key.h"
#include "common/system_module.h"
#include "loopback.h"
#include "mail_account.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "service/my_server_thread.h"

namespace {

using vrel::TMyServerThread;

void StoreFile(const std::string& windowsPath, const std::string& content) {
    const std::filesystem::path host = win::ToHostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << content;
}

constexpr const char* kBigFolder = "C:\\Mail\\big";
constexpr const char* kManyFolder = "C:\\Mail\\many";
constexpr const char* kSmallFolder = "C:\\Mail\\small";
constexpr const char* kSmallFolderOtherCase = "C:\\MAIL\\SMALL";
constexpr int kSmallMessages = 1000;

std::string BigMessage() {
    std::string message = "Subject: big\r\n\r\n";
    while (message.size() < 10 * 1000 * 1000) {
        message += (message.size() % 7 == 0 ? "." : "x") + std::string(75, 'y') + "\r\n";
    }
    return message;
}

std::string SmallMessage() {
    std::string message = "Subject: small\r\n\r\n";
    while (message.size() < 4096) message += std::string(70, 'x') + "\r\n";
    return message;
}

// The users bob1 and bob5 (password "secret", hashed at cost 1 and 5) and many (cost 1),
// mailboxes under C:\Mail with a 10 MB message and 10,000 small ones (many's), logging off.
void PrepareMachine() {
    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, true);
    registry.WriteString(vrel::settings_value::MailInBoxDir, "C:\\Mail");
    registry.WriteInteger(vrel::settings_value::LoggingEnabled, 0);
    for (const int cost : {1, 5}) {
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true);
        registry.WriteInteger("PasswordHashCost", cost);
        vrel::test::AddComputerUser("bob" + std::to_string(cost), "secret", true);
        if (cost == 1) vrel::test::AddComputerUser("many", "secret", true);
    }
    StoreFile(std::string(kBigFolder) + "\\m.eml", BigMessage());
    for (int i = 1; i <= 10000; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "\\261209101010001%09d.eml", i);
        StoreFile(kManyFolder + std::string(name), "Subject: x\r\n\r\nbody\r\n");
        if (i <= kSmallMessages) StoreFile(kSmallFolder + std::string(name), SmallMessage());
    }
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
}

// The client end of a loopback connection, read on a thread of its own; counts the replies
// that end with CR LF "." CR LF (a stuffed reply holds that sequence only at its end).
class Drain {
  public:
    explicit Drain(vrel::test::LoopbackClient& client)
        : thread_([this, handle = client.Handle()] { Run(handle); }) {}
    ~Drain() { thread_.join(); }

    void WaitFor(std::uint64_t replies) const {
        while (replies_.load(std::memory_order_acquire) < replies) std::this_thread::yield();
    }

  private:
    static constexpr std::string_view kEnd = "\r\n.\r\n";
    static constexpr std::size_t kKeep = kEnd.size() - 1;

    void Run(int handle) {
        std::vector<char> buffer(1 << 20);
        std::string tail;
        ssize_t n;
        while ((n = ::recv(handle, buffer.data(), buffer.size(), 0)) > 0) {
            const std::string_view data(buffer.data(), static_cast<std::size_t>(n));
            const std::string joint = tail + std::string(data.substr(0, kKeep));
            std::uint64_t found = joint.find(kEnd) != std::string::npos;
            for (auto at = data.find(kEnd); at != std::string_view::npos;
                 at = data.find(kEnd, at + 1)) {
                ++found;
            }
            // An end that spans two reads starts in the last bytes of the one before.
            tail.append(data.substr(data.size() - std::min(data.size(), kKeep)));
            tail.erase(0, tail.size() - std::min(tail.size(), kKeep));
            replies_.fetch_add(found, std::memory_order_release);
        }
    }

    std::atomic<std::uint64_t> replies_{0};
    std::thread thread_;
};

// Runs a reply routine once per iteration over one loopback connection.
template <class Routine>
void Replies(benchmark::State& state, Routine routine) {
    auto pair = vrel::test::ConnectLoopback();
    win::TWinSocketStream stream(*pair.server, 600000);
    {
        Drain drain(pair.client);
        std::uint64_t sent = 0;
        for (auto _ : state) {
            routine(stream);
            drain.WaitFor(++sent);
        }
        pair.server->Close();
    }
}

vrel::MessageList ListOf(const std::string& folder) {
    vrel::MessageList list;
    std::int64_t octets = 0;
    TMyServerThread::GetMessages(folder, list, octets);
    return list;
}

void BM_Retr10MB(benchmark::State& state) {
    const vrel::MessageList list = ListOf(kBigFolder);
    Replies(state, [&](auto& stream) { TMyServerThread::RETRMessage("1", list, stream); });
    state.SetBytesProcessed(state.iterations() * list.at(0).size);
}
BENCHMARK(BM_Retr10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The argument 1 writes the folder's path in another case than the host's, so that every
// folder on the way misses its exact name.
void BM_Retr4KB(benchmark::State& state) {
    const vrel::MessageList list = ListOf(state.range(0) ? kSmallFolderOtherCase : kSmallFolder);
    std::size_t next = 0;
    Replies(state, [&](auto& stream) {
        TMyServerThread::RETRMessage(std::to_string(next++ % list.size() + 1), list, stream);
    });
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Retr4KB)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The list built afresh: an entry that is no message comes and goes before each build, so
// the folder changed since the list before.
void BM_GetMessages10000(benchmark::State& state) {
    const std::filesystem::path other = win::ToHostPath(kManyFolder) / "other.txt";
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream{other};
        std::filesystem::remove(other);
        state.ResumeTiming();
        benchmark::DoNotOptimize(ListOf(kManyFolder));
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_GetMessages10000)->Unit(benchmark::kMillisecond);

// The list of an unchanged folder, taken from the one built before.
void BM_GetMessages10000Unchanged(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ListOf(kManyFolder));
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_GetMessages10000Unchanged)->Unit(benchmark::kMillisecond);

void BM_List10000(benchmark::State& state) {
    const vrel::MessageList list = ListOf(kManyFolder);
    Replies(state, [&](auto& stream) { TMyServerThread::ListMessage("", list, stream, 10000); });
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_List10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Uidl10000(benchmark::State& state) {
    const vrel::MessageList list = ListOf(kManyFolder);
    Replies(state, [&](auto& stream) { TMyServerThread::UIDLMessage("", list, stream); });
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Uidl10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A listening socket whose sessions are POP3 sessions, active while it lives.
struct Pop3Listener {
    Pop3Listener() {
        server.OnGetThread = [this](auto& clientSocket, auto& socketThread) {
            socketThread = std::make_unique<TMyServerThread>(std::move(clientSocket), limits);
        };
        server.SetActive(true);
    }
    ~Pop3Listener() { server.SetActive(false); }
    vrel::ClientLimits limits;
    win::TServerSocket server;
};

// Reads until the multi-line reply's end has come.
void ReadListing(int handle) {
    std::vector<char> buffer(1 << 20);
    std::string tail;
    for (;;) {
        const ssize_t n = ::recv(handle, buffer.data(), buffer.size(), 0);
        if (n <= 0) return;
        tail.append(buffer.data(), static_cast<std::size_t>(n));
        if (tail.ends_with("\r\n.\r\n")) return;
        tail.erase(0, tail.size() - std::min<std::size_t>(tail.size(), 4));
    }
}

// The first listing of a new session on the 10,000-message mailbox, timed from the
// command to the end of its reply; logon and QUIT are outside the time.
void FirstListing(benchmark::State& state, const std::string& command) {
    Pop3Listener listener;
    for (auto _ : state) {
        vrel::test::LoopbackClient client(listener.server.LocalPort());
        client.ReadLine();
        client.Send("USER many\r\nPASS secret\r\n");
        client.ReadLine();
        client.ReadLine();
        const auto start = std::chrono::steady_clock::now();
        client.Send(command);
        ReadListing(client.Handle());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        client.Send("QUIT\r\n");
        client.WaitForClose();
    }
}

void BM_FirstList10000(benchmark::State& state) {
    FirstListing(state, "LIST\r\n");
}
BENCHMARK(BM_FirstList10000)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_FirstUidl10000(benchmark::State& state) {
    FirstListing(state, "UIDL\r\n");
}
BENCHMARK(BM_FirstUidl10000)->Unit(benchmark::kMillisecond)->UseManualTime();

// One USER/PASS/STAT/QUIT session.
void Session(benchmark::State& state, int port, const std::string& user) {
    vrel::test::LoopbackClient client(port);
    client.ReadLine();
    for (const std::string& command : {"USER " + user + "\r\n", std::string("PASS secret\r\n"),
                                       std::string("STAT\r\n"), std::string("QUIT\r\n")}) {
        client.Send(command);
        if (client.ReadLine().rfind("+OK", 0) != 0) state.SkipWithError("session refused");
    }
    client.WaitForClose();
}

// Whole sessions, one after the other, against a listening socket; the argument is the
// password hash cost of the account.
void BM_LogonSessions(benchmark::State& state) {
    Pop3Listener listener;
    const std::string user = "bob" + std::to_string(state.range(0));
    for (auto _ : state) Session(state, listener.server.LocalPort(), user);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogonSessions)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// Sessions on the 10,000-message mailbox after its first, at the password cost of
// BM_LogonSessions/1: the difference between the two is what the mailbox costs a session.
void BM_LaterLogonStat10000(benchmark::State& state) {
    Pop3Listener listener;
    Session(state, listener.server.LocalPort(), "many");
    for (auto _ : state) Session(state, listener.server.LocalPort(), "many");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LaterLogonStat10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return vrel::bench::RunOnOwnMachine(argc, argv, PrepareMachine);
}
