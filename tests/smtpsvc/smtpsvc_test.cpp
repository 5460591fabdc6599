// Tests of the SMTP service stand-in as a running service: mail over ESMTP and from the
// pickup folder delivered to the drop folder or kept in the queue folder, the limits as a
// client meets them, relay refusal for a client off the loopback network, and messages
// surviving a SIGKILL of the service.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/fs.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "smtp_queue.h"
#include "smtpsvc_fixture.h"

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
    EXPECT_EQ(client.Command("RCPT TO:<bob@Example.Test>").substr(0, 4), "250 ");
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

TEST_F(SmtpsvcTest, AnIdleClientIsToldAndDisconnected) {
    // The service's clock runs 1000 times faster: its ten minutes pass in 0.6 s.
    ::setenv("VREL_CLOCK_SCALE", "1000", 1);
    StartSmtp();
    ::unsetenv("VREL_CLOCK_SCALE");
    SmtpClient client = Connect();
    EXPECT_EQ(client.Reply().substr(0, 4), "220 ");
    EXPECT_EQ(client.Command("HELO c").substr(0, 4), "250 ");
    EXPECT_EQ(client.Reply(std::chrono::seconds(10)).substr(0, 10), "421 4.4.2 ");
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
        client.Reply();
        client.Command("HELO c");
        client.Command("MAIL FROM:<a@sender.test>");
        client.Command("RCPT TO:<bob@example.test>");
        ASSERT_EQ(client.Command("DATA").substr(0, 4), "354 ");
        client.Send("Subject: half\r\n\r\nthe first half\r\n");
        KillSmtp();
    }
    StartSmtp();
    ASSERT_EQ(SendMail("a@sender.test", {"carol@example.test"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([&] { return Names(Folder("Drop")).size() == 1; }));
    EXPECT_EQ(DropReceivers(Folder("Drop")), std::vector<std::string>{"carol@example.test"});
    EXPECT_TRUE(WaitUntil([&] { return Names(Folder("Queue")).empty(); }));
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
