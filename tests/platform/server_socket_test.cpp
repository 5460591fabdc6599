#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "loopback.h"
#include "platform/paths.h"
#include "platform/sockets.h"
#include "test_machine.h"
#include "workers.h"

namespace {

using namespace std::chrono_literals;
using vrel::test::LoopbackClient;

// What the sessions of one server did.
struct Probe {
    std::atomic<int> created{0};
    std::atomic<int> sessionsEnded{0};
    std::atomic<int> destroyed{0};
    std::mutex mutex;
    std::vector<std::string> reports;
};

// Answers each read with the serial number of its thread and the text; "THROW" fails the
// session.
class EchoThread : public win::TServerClientThread {
  public:
    EchoThread(std::unique_ptr<win::TServerClientWinSocket> socket, Probe& probe)
        : TServerClientThread(std::move(socket)), probe_(probe), serial_(++probe.created) {
        KeepInCache = true;
    }
    ~EchoThread() override { ++probe_.destroyed; }

  protected:
    void ClientExecute() override {
        win::TWinSocketStream stream(*ClientSocket(), 600000);
        char buffer[256];
        while (!Terminated()) {
            const std::size_t n = stream.Read(buffer, sizeof buffer);
            if (n == 0) break;
            const std::string text(buffer, n);
            if (text.starts_with("THROW")) throw std::runtime_error("session failed");
            stream.Write(std::to_string(serial_) + " " + text);
        }
        ++probe_.sessionsEnded;
    }

    void HandleException(std::exception_ptr error) override {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::lock_guard lock(probe_.mutex);
            probe_.reports.push_back(e.what());
        }
    }

  private:
    Probe& probe_;
    int serial_;
};

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

void WriteServicesFile(const std::string& text) {
    std::ofstream(win::ToHostPath(win::GetSystemDirectory() + "\\drivers\\etc\\services")) << text;
}

class ServerSocketTest : public vrel::test::MachineTest {
  protected:
    void SetUp() override {
        server_.OnGetThread = [this](auto& socket, auto& thread) {
            thread = std::make_unique<EchoThread>(std::move(socket), probe_);
        };
    }

    // Activates the server on a free port, taken from the services file when `services`
    // is given (it makes the file's text for the port) and from Port otherwise; retries
    // when another test took the port first.
    int ActivateOnFreePort(const std::function<std::string(int)>& services = {}) {
        for (int attempt = 0;; ++attempt) {
            const int port = vrel::test::FreePort();
            if (services) {
                WriteServicesFile(services(port));
            } else {
                server_.Port = port;
            }
            try {
                server_.SetActive(true);
                return port;
            } catch (const win::ESocketError& e) {
                if (e.ErrorCode != EADDRINUSE || attempt == 5) throw;
            }
        }
    }

    // The serial number of the thread that serves the client.
    static int Serial(LoopbackClient& client) {
        client.Send("PING\n");
        return std::stoi(client.ReadLine());
    }

    Probe probe_;
    win::TServerSocket server_;
};

TEST_F(ServerSocketTest, CacheGrowsToTheMostSimultaneousClientsAndIsReused) {
    const int port = ActivateOnFreePort();
    std::set<int> serials;
    {
        std::vector<LoopbackClient> clients;
        for (int i = 0; i < 3; ++i) clients.emplace_back(port);
        for (auto& client : clients) serials.insert(Serial(client));
        EXPECT_EQ(serials, (std::set<int>{1, 2, 3}));
        EXPECT_EQ(server_.ActiveThreads(), 3);
    }
    for (int round = 0; round < 3; ++round) {
        // A session lasts until its thread sees the client leave.
        ASSERT_TRUE(WaitUntil([&] { return server_.IdleThreads() == 3; }));
        EXPECT_EQ(server_.ActiveThreads(), 0);
        LoopbackClient first(port), second(port);
        EXPECT_TRUE(serials.contains(Serial(first)));
        EXPECT_TRUE(serials.contains(Serial(second)));
    }
    EXPECT_EQ(probe_.created, 3);

    ASSERT_TRUE(WaitUntil([&] { return server_.IdleThreads() == 3; }));
    std::vector<LoopbackClient> clients;
    for (int i = 0; i < 4; ++i) clients.emplace_back(port);
    for (auto& client : clients) Serial(client);
    EXPECT_EQ(probe_.created, 4);
}

TEST_F(ServerSocketTest, DeactivationClosesEveryConnectionAndEndsEveryThread) {
    const int port = ActivateOnFreePort();
    LoopbackClient idle(port);
    Serial(idle);
    idle.Close();
    ASSERT_TRUE(WaitUntil([&] { return server_.IdleThreads() == 1; }));
    LoopbackClient first(port), second(port);
    Serial(first);
    Serial(second);

    const auto start = std::chrono::steady_clock::now();
    server_.SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    EXPECT_FALSE(server_.Active());
    EXPECT_TRUE(first.WaitForClose());
    EXPECT_TRUE(second.WaitForClose());
    EXPECT_EQ(probe_.sessionsEnded, 3);
    EXPECT_EQ(probe_.created, 2);
    EXPECT_EQ(probe_.destroyed, 2);
    EXPECT_THROW(LoopbackClient late(port), std::runtime_error);
}

TEST_F(ServerSocketTest, AnEscapingErrorIsReportedAndEndsItsThread) {
    const int port = ActivateOnFreePort();
    LoopbackClient failing(port);
    failing.Send("THROW\n");
    EXPECT_TRUE(failing.WaitForClose());
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(probe_.mutex);
        return !probe_.reports.empty();
    }));
    {
        std::lock_guard lock(probe_.mutex);
        EXPECT_EQ(probe_.reports, std::vector<std::string>{"session failed"});
    }
    EXPECT_TRUE(WaitUntil([&] { return server_.ActiveThreads() + server_.IdleThreads() == 0; }));

    LoopbackClient next(port);
    EXPECT_EQ(Serial(next), 2);
    EXPECT_EQ(probe_.destroyed, 1);
}

TEST_F(ServerSocketTest, AcceptedConnectionsSendWithoutDelay) {
    std::atomic<int> noDelay{-1};
    server_.OnGetThread = [this, &noDelay](auto& socket, auto& thread) {
        int value = -1;
        socklen_t length = sizeof value;
        ::getsockopt(socket->SocketHandle(), IPPROTO_TCP, TCP_NODELAY, &value, &length);
        noDelay = value;
        thread = std::make_unique<EchoThread>(std::move(socket), probe_);
    };
    LoopbackClient client(ActivateOnFreePort());
    Serial(client);
    EXPECT_GT(noDelay, 0);
}

// In a child process whose user may start no more threads (root, which no task limit
// binds, becomes nobody first), a client is turned away and the failure reported; once
// threads may be made again, the next client is served.
TEST_F(ServerSocketTest, AClientWhoseThreadCannotBeMadeIsClosedAndTheServerGoesOn) {
    const auto results = vrel::test::RunWorkers(1, [this](int, int pipe) {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 && ::setuid(kNobody) != 0) return 10;
        const int port = ActivateOnFreePort();
        rlimit tasks{};
        ::getrlimit(RLIMIT_NPROC, &tasks);
        const rlim_t allowed = tasks.rlim_cur;
        tasks.rlim_cur = 0;
        if (::setrlimit(RLIMIT_NPROC, &tasks) != 0) return 11;
        LoopbackClient refused(port);
        if (!refused.WaitForClose()) return 12;
        tasks.rlim_cur = allowed;
        ::setrlimit(RLIMIT_NPROC, &tasks);
        LoopbackClient served(port);
        if (Serial(served) != 2) return 13;
        std::lock_guard lock(probe_.mutex);
        for (const std::string& report : probe_.reports) {
            [[maybe_unused]] const auto written = ::write(pipe, report.data(), report.size());
        }
        return 0;
    });
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].exitCode, 0);
    EXPECT_EQ(results[0].report, "Thread creation error: Resource temporarily unavailable");
}

TEST_F(ServerSocketTest, PortComesFromTheServicesFileByNameOrAlias) {
    server_.Service = "pop3";
    server_.Port = 110;
    const std::function<std::string(int)> files[] = {
        [](int port) { return "smtp 25/tcp\r\npop3 " + std::to_string(port) + "/tcp\r\n"; },
        [](int port) { return "pop3 1/udp\r\nPOP3 " + std::to_string(port) + "/TCP\r\n"; },
        [](int port) { return "# pop3 1/tcp\r\npop-3 " + std::to_string(port) + "/tcp pop3\n"; },
    };
    for (const auto& file : files) {
        const int port = ActivateOnFreePort(file);
        EXPECT_EQ(server_.LocalPort(), port) << file(port);
        LoopbackClient client(port);
        EXPECT_EQ(Serial(client), probe_.created) << file(port);
        server_.SetActive(false);
    }
}

TEST_F(ServerSocketTest, WithoutAServicesEntryThePortPropertyHolds) {
    server_.Service = "pop3";
    WriteServicesFile("smtp 25/tcp\r\npop3 x/tcp\r\npop3 70000/tcp\r\n");
    const int port = ActivateOnFreePort();
    EXPECT_EQ(server_.LocalPort(), port);
}

TEST_F(ServerSocketTest, APortInUseFailsTheActivation) {
    const int port = ActivateOnFreePort();
    win::TServerSocket second;
    second.Port = port;
    try {
        second.SetActive(true);
        FAIL() << "the second listener opened";
    } catch (const win::ESocketError& e) {
        EXPECT_EQ(e.ErrorCode, EADDRINUSE);
        EXPECT_EQ(std::string(e.what()).rfind("Windows socket error: ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(second.Active());
}

}  // namespace
