// POP3 session figures on a machine of its own in a temporary folder, over real loopback
// connections: RETR of a 10 MB message, LIST and UIDL of a 10,000-message mailbox (and
// the building of its list), and whole USER/PASS/STAT/QUIT sessions against a listening
// socket with its thread cache, at the tests' password cost (1) and the machine's
// default (5).
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <atomic>
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

std::string BigMessage() {
    std::string message = "Subject: big\r\n\r\n";
    while (message.size() < 10 * 1000 * 1000) {
        message += (message.size() % 7 == 0 ? "." : "x") + std::string(75, 'y') + "\r\n";
    }
    return message;
}

// The users bob1 and bob5 (password "secret", hashed at cost 1 and 5), mailboxes under
// C:\Mail with a 10 MB message and 10,000 small ones, logging off.
void PrepareMachine() {
    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, true);
    registry.WriteString(vrel::settings_value::MailInBoxDir, "C:\\Mail");
    registry.WriteInteger(vrel::settings_value::LoggingEnabled, 0);
    for (const int cost : {1, 5}) {
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true);
        registry.WriteInteger("PasswordHashCost", cost);
        vrel::test::AddComputerUser("bob" + std::to_string(cost), "secret", true);
    }
    StoreFile(std::string(kBigFolder) + "\\m.eml", BigMessage());
    for (int i = 1; i <= 10000; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "\\261209101010001%09d.eml", i);
        StoreFile(kManyFolder + std::string(name), "Subject: x\r\n\r\nbody\r\n");
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

void BM_GetMessages10000(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ListOf(kManyFolder));
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_GetMessages10000)->Unit(benchmark::kMillisecond);

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

// Whole sessions, one after the other, against a listening socket; the argument is the
// password hash cost of the account.
void BM_LogonSessions(benchmark::State& state) {
    win::TServerSocket server;
    server.OnGetThread = [](auto& clientSocket, auto& socketThread) {
        socketThread = std::make_unique<TMyServerThread>(std::move(clientSocket));
    };
    server.SetActive(true);
    const std::string user = "USER bob" + std::to_string(state.range(0)) + "\r\n";
    for (auto _ : state) {
        vrel::test::LoopbackClient client(server.LocalPort());
        client.ReadLine();
        for (const std::string& command : {user, std::string("PASS secret\r\n"),
                                           std::string("STAT\r\n"), std::string("QUIT\r\n")}) {
            client.Send(command);
            if (client.ReadLine().rfind("+OK", 0) != 0) state.SkipWithError("session refused");
        }
        client.WaitForClose();
    }
    server.SetActive(false);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogonSessions)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return vrel::bench::RunOnOwnMachine(argc, argv, PrepareMachine);
}
