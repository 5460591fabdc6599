// Tests of the SMTP service stand-in as a running service: mail over ESMTP and from the
// pickup folder delivered to the drop folder or kept in the queue folder, the limits as a
// client meets them, relay refusal for a client off the loopback network, and messages
// surviving a SIGKILL of the service.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>

#include "delivery.h"
#include "platform/eventlog.h"
#include "platform/fs.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "smtp_listener.h"
#include "smtp_queue.h"
#include "smtpsvc_fixture.h"
#include "sync_watch.h"

namespace vrel::test {
namespace {

namespace fs = std::filesystem;

const std::string kText = "Subject: test\r\n\r\nHello\r\n..dotted\r\n";

// Envelope files of the queue folder.
std::vector<std::string> Envelopes(const fs::path& queue) {
    std::vector<std::string> ids;
    for (const std::string& name : Names(queue)) {
        if (name.ends_with(".env")) ids.push_back(name.substr(0, name.size() - 4));
    }
    return ids;
}

std::string Receiver(const std::string& copy) {
    const std::size_t at = copy.find("x-receiver: ");
    return copy.substr(at + 12, copy.find("\r\n", at) - at - 12);
}

std::vector<std::string> DropReceivers(const fs::path& drop) {
    std::vector<std::string> receivers;
    for (const std::string& name : Names(drop)) {
        receivers.push_back(Receiver(ReadFile(drop / name)));
    }
    std::sort(receivers.begin(), receivers.end());
    return receivers;
}

void SetServerProperty(const char* property, const win::VARIANT& value) {
    std::shared_ptr<win::IIsObject> server;
    ASSERT_EQ(win::ADsGetObject("IIS://localhost/smtpsvc/1", server), win::S_OK);
    ASSERT_EQ(server->Put(property, value), win::S_OK);
    ASSERT_EQ(server->SetInfo(), win::S_OK);
}

// An IPv4 address of this host outside the loopback network, or "".
std::string OutsideAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return "";
    std::string found;
    for (ifaddrs* entry = list; entry && found.empty(); entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<sockaddr_in*>(entry->ifa_addr);
        ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        if (!std::string(text).starts_with("127.")) found = text;
    }
    ::freeifaddrs(list);
    return found;
}

// Takes the greeting and sends HELO, MAIL and RCPT for bob; returns the reply to DATA.
std::string BeginMessage(SmtpClient& client) {
    client.Reply();
    client.Command("HELO c");
    client.Command("MAIL FROM:<a@sender.test>");
    client.Command("RCPT TO:<bob@example.test>");
    return client.Command("DATA");
}

using SmtpsvcTest = SmtpServiceTest;

TEST_F(SmtpsvcTest, MailToLocalDomainsReachesTheDropFolder) {
    StartSmtp();
    ASSERT_EQ(
        SendMail("a@sender.test", {"bob@example.test", "Carol@OTHER.test"}, kText).substr(0, 4),
        "250 ");
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 2; }));
    EXPECT_EQ(DropReceivers(Folder("Drop")),
              (std::vector<std::string>{"Carol@OTHER.test", "bob@example.test"}));
    const std::string copy = ReadFile(Folder("Drop") / Names(Folder("Drop"))[0]);
    EXPECT_TRUE(copy.starts_with("x-sender: a@sender.test\r\nx-receiver: ")) << copy;
    EXPECT_NE(copy.find("\r\nReceived: from client.test ([127.0.0.1]) by example.test"),
              std::string::npos);
    EXPECT_TRUE(copy.ends_with(kText.substr(0, kText.size() - 10) + ".dotted\r\n")) << copy;
    EXPECT_TRUE(WaitUntil([&] { return Names(Folder("Queue")).empty(); }));
}

TEST_F(SmtpsvcTest, RemoteRecipientOfALoopbackClientStaysInTheQueue) {
    StartSmtp();
    ASSERT_EQ(
        SendMail("a@sender.test", {"far@remote.test", "bob@example.test"}, kText).substr(0, 4),
        "250 ");
    ASSERT_TRUE(WaitUntil([&] { return HeldForRemote(Folder("Queue")).size() == 1; }));
    EXPECT_EQ(DropReceivers(Folder("Drop")), std::vector<std::string>{"bob@example.test"});
    const smtpsvc::QueueEntry entry = HeldForRemote(Folder("Queue"))[0];
    EXPECT_EQ(entry.envelope.Find("recipientlist")->value, win::VARIANT("SMTP:far@remote.test;"));
    EXPECT_TRUE(ReadFile(Folder("Queue") / (entry.id + ".eml")).ends_with(".dotted\r\n"));
}

TEST_F(SmtpsvcTest, AClientOffTheLoopbackNetworkMayNotRelay) {
    const std::string outside = OutsideAddress();
    if (outside.empty()) GTEST_SKIP() << "this host has no address outside the loopback network";
    StartSmtp();
    SmtpClient client = Connect(outside);
    EXPECT_EQ(client.Reply().substr(0, 4), "220 ");
    EXPECT_EQ(client.Command("HELO outside.test").substr(0, 4), "250 ");
    EXPECT_EQ(client.Command("MAIL FROM:<a@sender.test>").substr(0, 4), "250 ");
    EXPECT_EQ(client.Command("RCPT TO:<far@remote.test>"), "550 5.7.1 Unable to relay\r\n");
    EXPECT_EQ(client.Command("RCPT TO:<far@remote.test;bob@example.test>").substr(0, 4), "501 ");
    EXPECT_EQ(client.Command("RCPT TO:<far@remote.test;SMTP:bob@example.test>").substr(0, 4),
              "501 ");
    EXPECT_EQ(client.Command("RCPT TO:<bob@Example.Test>").substr(0, 4), "250 ");
}

TEST_F(SmtpsvcTest, OneClientAddressCannotTakeEverySession) {
    StartSmtp();
    std::vector<std::unique_ptr<SmtpClient>> clients;
    for (int n = 0; n < smtpsvc::kMaxSessionsPerClient; ++n) {
        clients.push_back(std::make_unique<SmtpClient>("127.0.0.1", port_, "127.0.0.2"));
        ASSERT_EQ(clients.back()->Reply().substr(0, 4), "220 ") << n;
    }
    SmtpClient oneTooMany("127.0.0.1", port_, "127.0.0.2");
    EXPECT_EQ(oneTooMany.Reply(), "421 4.3.2 Too many connections, try again later\r\n");
    EXPECT_TRUE(oneTooMany.WaitForClose());
    EXPECT_EQ(Connect("127.0.0.1", "127.0.0.3").Reply().substr(0, 4), "220 ");
    clients.pop_back();
    EXPECT_TRUE(WaitUntil(
        [&] { return SmtpClient("127.0.0.1", port_, "127.0.0.2").Reply().starts_with("220 "); }));
}

// Sixty idle clients each from 127.0.0.3 and 127.0.0.4; the first fifty of each are greeted
// (greeted[n]), which fills the service.
std::vector<std::unique_ptr<SmtpClient>> FillFromTwoHosts(int port, std::vector<bool>& greeted) {
    std::vector<std::unique_ptr<SmtpClient>> clients;
    for (const char* source : {"127.0.0.3", "127.0.0.4"}) {
        for (int n = 0; n < 60; ++n) {
            clients.push_back(std::make_unique<SmtpClient>("127.0.0.1", port, source));
        }
    }
    for (auto& client : clients) greeted.push_back(client->Reply().starts_with("220 "));
    return clients;
}

TEST_F(SmtpsvcTest, AClientOfAThirdAddressTakesTheFullServicesIdlePlace) {
    StartSmtp();
    std::vector<bool> greeted;
    const auto idle = FillFromTwoHosts(port_, greeted);
    ASSERT_EQ(std::count(greeted.begin(), greeted.end(), true), smtpsvc::kMaxSessions);
    // Sooner than any time-out, even the one under stress, would make room.
    std::unique_ptr<SmtpClient> served;
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto client = std::make_unique<SmtpClient>("127.0.0.1", port_, "127.0.0.5");
            if (!client->Reply().starts_with("220 ")) return false;
            served = std::move(client);
            return true;
        },
        std::chrono::seconds(6)));
    EXPECT_EQ(served->Command("HELO c").substr(0, 4), "250 ");
    int shed = 0;
    for (std::size_t n = 0; n < idle.size(); ++n) {
        if (greeted[n] && idle[n]->Reply(std::chrono::milliseconds(5)).starts_with("421 4.4.2 ")) {
            ++shed;
        }
    }
    EXPECT_EQ(shed, 1);
}

TEST_F(SmtpsvcTest, UnderStressIdleSessionsAreTimedOutSooner) {
    // The service's clock runs 10 times faster: an idle session would hold its place for 30 s.
    ::setenv("VREL_CLOCK_SCALE", "10", 1);
    StartSmtp();
    ::unsetenv("VREL_CLOCK_SCALE");
    std::vector<bool> open;
    const auto idle = FillFromTwoHosts(port_, open);
    ASSERT_EQ(std::count(open.begin(), open.end(), true), smtpsvc::kMaxSessions);
    // Sessions are timed out until the service is no longer under stress.
    int timedOut = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (std::size_t n = 0; n < idle.size(); ++n) {
                if (open[n] &&
                    idle[n]->Reply(std::chrono::milliseconds(5)).starts_with("421 4.4.2 ")) {
                    open[n] = false;
                    ++timedOut;
                }
            }
            return timedOut > smtpsvc::kMaxSessions - smtpsvc::kStressSessions;
        },
        std::chrono::seconds(10)));
}

// Sends one byte of the pattern after another, a pause between them, until a reply comes or
// the wait passes; returns the reply.
std::string Trickle(SmtpClient& client, std::string_view pattern, std::chrono::seconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (std::size_t n = 0; std::chrono::steady_clock::now() < deadline; ++n) {
        client.Send(pattern.substr(n % pattern.size(), 1));
        const std::string reply = client.Reply(std::chrono::milliseconds(20));
        if (!reply.empty()) return reply;
    }
    return "";
}

TEST_F(SmtpsvcTest, AClientThatTricklesIsTimedOut) {
    // The service's clock runs 200 times faster: a command may take 1.5 s, a message 3 s,
    // still room for a loaded machine between the test's own steps.
    ::setenv("VREL_CLOCK_SCALE", "200", 1);
    StartSmtp();
    ::unsetenv("VREL_CLOCK_SCALE");
    SmtpClient command = Connect();
    command.Reply();
    EXPECT_EQ(Trickle(command, "NOOP ", std::chrono::seconds(30)).substr(0, 10), "421 4.4.2 ");
    EXPECT_TRUE(command.WaitForClose());

    SmtpClient data = Connect();
    ASSERT_EQ(BeginMessage(data).substr(0, 4), "354 ");
    EXPECT_EQ(Trickle(data, "line\r\n", std::chrono::seconds(30)).substr(0, 10), "421 4.4.2 ");
    EXPECT_TRUE(data.WaitForClose());
    EXPECT_TRUE(Names(Folder("Queue")).empty());
}

TEST_F(SmtpsvcTest, RepliesAreSentWithoutDelay) {
    StartSmtp();
    SmtpClient client = Connect();
    client.Reply();
    // The service's end of this connection, taken from its process.
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, SmtpPid(), 0));
    ASSERT_GE(process, 0);
    int noDelay = -1;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(SmtpPid()) + "/fd")) {
        const int handle = static_cast<int>(
            ::syscall(SYS_pidfd_getfd, process, std::stoi(entry.path().filename()), 0));
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (handle >= 0 &&
            ::getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            ntohs(peer.sin_port) == client.LocalPort()) {
            socklen_t size = sizeof noDelay;
            ::getsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size);
        }
        if (handle >= 0) ::close(handle);
    }
    ::close(process);
    EXPECT_EQ(noDelay, 1);
}

// The process's own group of the pids controller, for a limit on its number of tasks
// (threads); gone again, the process back in the root group, at the end.
class TaskLimit {
  public:
    explicit TaskLimit(pid_t pid)
        : pid_(pid), group_(fs::path(kRoot) / ("vrel-smtpsvc-test-" + std::to_string(pid))) {
        std::error_code error;
        made_ = fs::create_directory(group_, error) && Write(group_ / "cgroup.procs", pid_);
    }
    ~TaskLimit() {
        Write(fs::path(kRoot) / "cgroup.procs", pid_);
        std::error_code error;
        fs::remove(group_, error);
    }
    bool Made() const { return made_; }
    bool Set(const std::string& limit) { return Write(group_ / "pids.max", limit); }

  private:
    static constexpr const char* kRoot = "/sys/fs/cgroup/pids";
    template <typename T>
    static bool Write(const fs::path& file, const T& value) {
        std::ofstream out(file);
        out << value << std::flush;
        return out.good();
    }
    pid_t pid_;
    fs::path group_;
    bool made_ = false;
};

std::size_t Tasks(pid_t pid) {
    std::error_code error;
    const fs::directory_iterator tasks("/proc/" + std::to_string(pid) + "/task", error);
    return static_cast<std::size_t>(std::distance(tasks, fs::directory_iterator()));
}

// A client whose thread cannot be made (the service at its task limit) costs that client
// its connection, not the service its process.
TEST_F(SmtpsvcTest, AClientWithoutAThreadIsDisconnectedAndTheServiceGoesOn) {
    StartSmtp();
    const pid_t pid = SmtpPid();
    TaskLimit limit(pid);
    if (!limit.Made()) GTEST_SKIP() << "no pids control group can be made here";
    SmtpClient open = Connect();
    ASSERT_EQ(open.Reply().substr(0, 4), "220 ");
    // The start's probe session ends; then every task the service has is counted.
    std::size_t tasks = 0;
    int same = 0;
    ASSERT_TRUE(WaitUntil([&] {
        const std::size_t now = Tasks(pid);
        same = now == tasks ? same + 1 : 0;
        tasks = now;
        return same >= 10;
    }));
    ASSERT_TRUE(limit.Set(std::to_string(tasks)));
    {
        SmtpClient refused = Connect();
        EXPECT_EQ(refused.Reply(), "");
        EXPECT_TRUE(refused.WaitForClose());
    }
    ASSERT_TRUE(limit.Set("max"));
    EXPECT_EQ(Connect().Reply().substr(0, 4), "220 ");
    EXPECT_EQ(open.Command("NOOP").substr(0, 4), "250 ");
    EXPECT_EQ(SmtpPid(), pid);
    bool logged = false;
    for (const win::EVENTLOGRECORD& record : win::ReadEventLog()) {
        logged |= record.SourceName == "SMTPSVC" &&
                  record.Message.find("could not start a thread") != std::string::npos;
    }
    EXPECT_TRUE(logged);
}

TEST_F(SmtpsvcTest, LimitsHoldOverTheNetwork) {
    SetServerProperty("MaxMessageSize", win::VARIANT(std::int32_t{1000}));
    StartSmtp();
    SmtpClient client = Connect();
    client.Reply();
    EXPECT_NE(client.Command("EHLO c").find("250-SIZE 1000\r\n"), std::string::npos);
    EXPECT_EQ(client.Command(std::string(100000, 'A')).substr(0, 10), "500 5.5.2 ");
    EXPECT_EQ(client.Command("MAIL FROM:<a@b.test>").substr(0, 4), "250 ");
    EXPECT_EQ(client.Command("RCPT TO:<bob@example.test>").substr(0, 4), "250 ");
    EXPECT_EQ(client.Command("DATA").substr(0, 4), "354 ");
    client.Send(std::string(3000, 'x') + "\r\n.\r\n");
    EXPECT_EQ(client.Reply().substr(0, 10), "552 5.3.4 ");
    EXPECT_EQ(client.Command("QUIT").substr(0, 4), "221 ");
    EXPECT_TRUE(client.WaitForClose());
    EXPECT_TRUE(Names(Folder("Queue")).empty());
}

// The bytes of every file in a host folder, the hidden temporary ones too.
std::uintmax_t FolderBytes(const fs::path& folder) {
    std::uintmax_t bytes = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        bytes += entry.file_size(error);
    }
    return bytes;
}

bool FolderEmpty(const fs::path& folder) {
    std::error_code error;
    return fs::is_empty(folder, error);
}

// The peak resident size of a process (VmHWM), in bytes.
std::size_t PeakMemory(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

// About `size` bytes of message text with dots to unstuff and bare line ends to repair,
// and the text as it is stored.
std::pair<std::string, std::string> TextToStore(std::size_t size) {
    std::pair<std::string, std::string> text;
    for (int n = 0; text.first.size() < size; ++n) {
        const std::string line = std::to_string(n) + std::string(60, 'x');
        text.first += ".." + line + "\r\nbare\nend\r\n";
        text.second += "." + line + "\r\nbare\r\nend\r\n";
    }
    return text;
}

TEST_F(SmtpsvcTest, ABigMessageIsStoredAsItArrives) {
    SetServerProperty("MaxMessageSize", win::VARIANT(std::int32_t{64 << 20}));
    StartSmtp();
    ASSERT_EQ(SendMail("a@sender.test", {"bob@example.test"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([&] { return FolderEmpty(Folder("Queue")); }));
    const std::size_t before = PeakMemory(SmtpPid());

    const auto [sent, stored] = TextToStore(16 << 20);
    ASSERT_EQ(SendMail("a@sender.test", {"carol@example.test"}, sent).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([&] { return FolderEmpty(Folder("Queue")); }));
    const std::size_t grown = PeakMemory(SmtpPid()) - before;
    const std::vector<std::string> copies = Names(Folder("Drop"));
    ASSERT_EQ(copies.size(), 2u);
    const std::string copy = ReadFile(Folder("Drop") / copies[1]);
    EXPECT_TRUE(
        copy.starts_with("x-sender: a@sender.test\r\nx-receiver: carol@example.test\r\n"
                         "Received: from client.test "));
    EXPECT_TRUE(copy.ends_with("\r\n" + stored));
    EXPECT_LT(copy.size(), stored.size() + 300);
    EXPECT_LT(grown, std::size_t{8} << 20) << "a 16 MB message took " << grown << " bytes";
}

TEST_F(SmtpsvcTest, AMessageNotAcknowledgedLeavesNoQueueFile) {
    SetServerProperty("MaxMessageSize", win::VARIANT(std::int32_t{1 << 20}));
    StartSmtp();
    {
        SmtpClient client = Connect();
        ASSERT_EQ(BeginMessage(client).substr(0, 4), "354 ");
        client.Send(TextToStore(300000).first);
        // The text goes to the queue folder as it arrives.
        ASSERT_TRUE(WaitUntil([&] { return FolderBytes(Folder("Queue")) >= 200000; }));
    }
    EXPECT_TRUE(WaitUntil([&] { return FolderEmpty(Folder("Queue")); })) << "aborted";

    SmtpClient client = Connect();
    ASSERT_EQ(BeginMessage(client).substr(0, 4), "354 ");
    client.Send(TextToStore(2 << 20).first + ".\r\n");
    EXPECT_EQ(client.Reply().substr(0, 10), "552 5.3.4 ");
    EXPECT_TRUE(FolderEmpty(Folder("Queue"))) << "over the limit";
}

// The drop copies of a message are each synced before they have their name, and their folder
// once after the last of them, before the queue lets the message go.
TEST_F(SmtpsvcTest, DropCopiesAreOnDiskBeforeTheQueueLetsTheMessageGo) {
    const smtpsvc::MessageQueue queue(Folder("Queue"));
    const std::unique_ptr<smtpsvc::NewQueueMessage> message = queue.NewMessage();
    ASSERT_TRUE(message && message->Append(kText));
    ASSERT_TRUE(message->Commit(win::MakeSmtpEnvelope(
        "SMTP:bob@example.test;SMTP:carol@other.test;", "a@sender.test", "")));
    fs::create_directories(Folder("Drop"));
    const std::string id = message->Id();
    std::vector<SyncWatch::Sync> syncs;
    {
        const SyncWatch watch(Folder("Drop"), Folder("Drop") / (id + "-2.eml"));
        EXPECT_EQ(smtpsvc::DeliverMessage(queue, id, {}, {}), smtpsvc::DeliveryResult::Finished);
        syncs = watch.Syncs();
    }
    ASSERT_EQ(syncs.size(), 3u);
    for (int n = 0; n < 2; ++n) {
        EXPECT_TRUE(syncs[n].path.filename().string().starts_with("." + id + "-" +
                                                                  std::to_string(n + 1) + ".eml."));
        EXPECT_FALSE(syncs[n].placed);
    }
    EXPECT_EQ(syncs[2].path, fs::canonical(Folder("Drop")));
    EXPECT_TRUE(syncs[2].placed);
    EXPECT_EQ(DropReceivers(Folder("Drop")),
              (std::vector<std::string>{"bob@example.test", "carol@other.test"}));
    EXPECT_TRUE(FolderEmpty(Folder("Queue")));
}

// A delivery that completes makes no record of its sinks (nothing syncs the queue folder for
// it); one that must wait keeps the sinks that completed, so they are not called again.
TEST_F(SmtpsvcTest, TheSinksDoneAreSavedOnlyWhenTheMessageMustWait) {
    const smtpsvc::MessageQueue queue(Folder("Queue"));
    const auto add = [&] {
        const std::unique_ptr<smtpsvc::NewQueueMessage> message = queue.NewMessage();
        EXPECT_TRUE(
            message && message->Append(kText) &&
            message->Commit(win::MakeSmtpEnvelope("SMTP:bob@example.test;", "a@b.test", "")));
        return message->Id();
    };
    std::string called;
    bool fail = false;
    const smtpsvc::SinkCaller call = [&](const smtpsvc::SinkBinding& binding, const std::string&,
                                         win::Envelope& envelope, std::int32_t&) {
        called += binding.id;
        if (binding.id == "B" && fail) return win::RPC_E_DISCONNECTED;
        envelope.Set("messagestatus", win::VARIANT(std::int32_t{win::cdoStatAbortDelivery}));
        return win::S_OK;
    };
    const std::vector<smtpsvc::SinkBinding> sinks{{"A", "Sink.A"}, {"B", "Sink.B"}};

    const std::string done = add();
    std::vector<SyncWatch::Sync> syncs;
    {
        const SyncWatch watch(Folder("Queue"), queue.MessageFile(done));
        EXPECT_EQ(smtpsvc::DeliverMessage(queue, done, sinks, call),
                  smtpsvc::DeliveryResult::Finished);
        syncs = watch.Syncs();
    }
    EXPECT_EQ(called, "AB");
    EXPECT_TRUE(syncs.empty());
    EXPECT_TRUE(FolderEmpty(Folder("Queue")));

    const std::string waits = add();
    called.clear();
    fail = true;
    EXPECT_EQ(smtpsvc::DeliverMessage(queue, waits, sinks, call), smtpsvc::DeliveryResult::Retry);
    smtpsvc::QueueEntry entry;
    ASSERT_TRUE(queue.Load(waits, entry));
    EXPECT_EQ(entry.sinksDone, std::vector<std::string>{"A"});
    fail = false;
    EXPECT_EQ(smtpsvc::DeliverMessage(queue, waits, sinks, call),
              smtpsvc::DeliveryResult::Finished);
    EXPECT_EQ(called, "ABB");
}

TEST_F(SmtpsvcTest, AnIdleClientIsToldAndDisconnected) {
    // The service's clock runs 200 times faster: its ten minutes pass in 3 s, room for a
    // loaded machine between connecting and HELO.
    ::setenv("VREL_CLOCK_SCALE", "200", 1);
    StartSmtp();
    ::unsetenv("VREL_CLOCK_SCALE");
    SmtpClient client = Connect();
    EXPECT_EQ(client.Reply().substr(0, 4), "220 ");
    EXPECT_EQ(client.Command("HELO c").substr(0, 4), "250 ");
    EXPECT_EQ(client.Reply(std::chrono::seconds(30)).substr(0, 10), "421 4.4.2 ");
    EXPECT_TRUE(client.WaitForClose());
}

TEST_F(SmtpsvcTest, PickupTakesXReceiverAndXSender) {
    StartSmtp();
    std::ofstream(Folder("Pickup") / ".partial") << "To: bob@example.test\r\n\r\nhalf";
    std::ofstream(Folder("Pickup") / "TMP1.$$$") << "To: bob@example.test\r\n\r\nhalf";
    std::ofstream(Folder("Pickup") / "one.eml")
        << "x-sender: <agent@sender.test>\r\nX-Receiver: bob@example.test\r\n"
           "x-receiver: <far@remote.test>\r\nFrom: Someone <someone@else.test>\r\n"
           "To: carol@example.test\r\nSubject: s\r\n\r\nbody\r\n";
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 1; }));
    const std::string copy = ReadFile(Folder("Drop") / Names(Folder("Drop"))[0]);
    EXPECT_EQ(copy,
              "x-sender: agent@sender.test\r\nx-receiver: bob@example.test\r\n"
              "From: Someone <someone@else.test>\r\nTo: carol@example.test\r\nSubject: "
              "s\r\n\r\nbody\r\n");
    EXPECT_TRUE(WaitUntil([&] { return Envelopes(Folder("Queue")).size() == 1; }));
    EXPECT_EQ(Names(Folder("Pickup")), std::vector<std::string>{"TMP1.$$$"});
    EXPECT_TRUE(fs::exists(Folder("Pickup") / ".partial"));
}

TEST_F(SmtpsvcTest, PickupWithoutXReceiverTakesToCcAndBcc) {
    StartSmtp();
    std::ofstream(Folder("Pickup") / "two.eml")
        << "From: \"Doe, J\" <j@sender.test>\r\nTo: Bob <bob@example.test>, carol@example.test\r\n"
           "Cc: (copy) dave@other.test\r\nBcc: <eve@example.test>,\r\n frank@example.test\r\n"
           "Subject: s\r\n\r\nbody\r\n";
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 5; }));
    EXPECT_EQ(DropReceivers(Folder("Drop")),
              (std::vector<std::string>{"bob@example.test", "carol@example.test", "dave@other.test",
                                        "eve@example.test", "frank@example.test"}));
    const std::string copy = ReadFile(Folder("Drop") / Names(Folder("Drop"))[0]);
    EXPECT_TRUE(copy.starts_with("x-sender: j@sender.test\r\n")) << copy;
    const std::string message = copy.substr(copy.find("\r\n", copy.find("x-receiver")) + 2);
    EXPECT_EQ(message.find("Bcc"), std::string::npos) << "blind copies stay blind";
    EXPECT_EQ(message.find("eve@"), std::string::npos);
    EXPECT_EQ(message.find("frank@"), std::string::npos);
}

TEST_F(SmtpsvcTest, KilledDuringDataDeliversNothing) {
    StartSmtp();
    {
        SmtpClient client = Connect();
        ASSERT_EQ(BeginMessage(client).substr(0, 4), "354 ");
        client.Send("Subject: half\r\n\r\n" + TextToStore(300000).first);
        ASSERT_TRUE(WaitUntil([&] { return FolderBytes(Folder("Queue")) >= 200000; }));
        KillSmtp();
    }
    StartSmtp();
    ASSERT_EQ(SendMail("a@sender.test", {"carol@example.test"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 1; }));
    EXPECT_EQ(DropReceivers(Folder("Drop")), std::vector<std::string>{"carol@example.test"});
    EXPECT_TRUE(WaitUntil([&] { return FolderEmpty(Folder("Queue")); }));
}

TEST_F(SmtpsvcTest, AnAcknowledgedMessageIsDeliveredAfterAKill) {
    // A file where the drop folder should be holds the message in the queue.
    std::ofstream(Folder("Drop").parent_path() / "Blocked") << "not a folder";
    SetServerProperty("DropDirectory", win::VARIANT("C:\\Inetpub\\mailroot\\Blocked"));
    StartSmtp();
    ASSERT_EQ(SendMail("a@sender.test", {"bob@example.test"}, kText).substr(0, 4), "250 ");
    KillSmtp();
    EXPECT_EQ(Envelopes(Folder("Queue")).size(), 1u);
    SetServerProperty("DropDirectory", win::VARIANT("C:\\Inetpub\\mailroot\\Drop"));
    StartSmtp();
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 1; }));
    EXPECT_TRUE(ReadFile(Folder("Drop") / Names(Folder("Drop"))[0]).ends_with(".dotted\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return Names(Folder("Queue")).empty(); }));
}

// The service as the SMTP component installs it: sysocmgr creates it with the image path of
// the machine's own link and starts it.
class SmtpComponentTest : public SmtpServiceTest {
  protected:
    void SetUp() override {
        UseFreePort();
        win::TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST01");
    }
};

TEST_F(SmtpComponentTest, InstalledBySysocmgrTheServiceTakesMail) {
    ASSERT_TRUE(win::WriteWholeFile("C:\\WINDOWS\\temp\\answer.txt",
                                    "[Components]\r\n\r\niis_smtp = on\r\n"));
    const RunResult installed =
        RunProgram(win::ToHostPath("C:\\WINDOWS\\system32\\sysocmgr.exe").string(),
                   "'/i:C:\\WINDOWS\\inf\\sysoc.inf' '/u:C:\\WINDOWS\\temp\\answer.txt'");
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    ASSERT_EQ(WaitForState("SMTPSVC", win::SERVICE_RUNNING).dwCurrentState, win::SERVICE_RUNNING);
    ASSERT_TRUE(WaitUntil([this] {
        try {
            return Connect().Reply().starts_with("220 mailhost01 ");
        } catch (const std::runtime_error&) {
            return false;
        }
    }));
    ASSERT_EQ(SendMail("a@sender.test", {"bob@MailHost01"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 1; }));
    EXPECT_EQ(DropReceivers(Folder("Drop")), std::vector<std::string>{"bob@MailHost01"});
}

}  // namespace
}  // namespace vrel::test
