#include "smtpsvc_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "loopback.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/scm.h"

namespace vrel::test {
namespace fs = std::filesystem;
using namespace win;

namespace {

constexpr const char* kMailroot = "C:\\Inetpub\\mailroot\\";

void Put(IIsObject& node, const char* property, const VARIANT& value) {
    ASSERT_EQ(node.Put(property, value), S_OK) << property;
}

void CreateSmtpServer() {
    std::shared_ptr<IIsObject> root, service, server, domains, domain;
    ASSERT_EQ(ADsGetObject("IIS://localhost", root), S_OK);
    ASSERT_EQ(root->Create("IIsSmtpService", "smtpsvc", service), S_OK);
    ASSERT_EQ(service->Create("IIsSmtpServer", "1", server), S_OK);
    Put(*server, "DefaultDomain", VARIANT("example.test"));
    const std::pair<const char*, const char*> folders[] = {{"DropDirectory", "Drop"},
                                                           {"BadMailDirectory", "Badmail"},
                                                           {"PickupDirectory", "Pickup"},
                                                           {"QueueDirectory", "Queue"}};
    for (const auto& [property, folder] : folders) {
        Put(*server, property, VARIANT(std::string(kMailroot) + folder));
    }
    ASSERT_EQ(server->SetInfo(), S_OK);
    ASSERT_EQ(server->Create("IIsConfigObject", "Domain", domains), S_OK);
    ASSERT_EQ(domains->Create("IIsSmtpDomain", "other.test", domain), S_OK);
    Put(*domain, "RouteAction", VARIANT(std::int32_t{0}));
    ASSERT_EQ(domain->SetInfo(), S_OK);
}

}  // namespace

namespace {

sockaddr_in SocketAddress(const std::string& address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &result.sin_addr);
    return result;
}

}  // namespace

SmtpClient::SmtpClient(const std::string& address, int port, const std::string& source)
    : handle_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const sockaddr_in local = SocketAddress(source, 0);
    const sockaddr_in peer = SocketAddress(address, port);
    if (handle_ < 0 ||
        (!source.empty() &&
         ::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) ||
        ::connect(handle_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        ::close(handle_);
        throw std::runtime_error("cannot connect to " + address);
    }
}

int SmtpClient::LocalPort() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

SmtpClient::~SmtpClient() {
    ::close(handle_);
}

void SmtpClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string SmtpClient::ReadLine(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const std::size_t lf = buffer_.find('\n');
        if (lf != std::string::npos) {
            std::string line = buffer_.substr(0, lf + 1);
            buffer_.erase(0, lf + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{handle_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return "";
        char bytes[4096];
        const ssize_t received = ::recv(handle_, bytes, sizeof bytes, 0);
        if (received <= 0) return "";
        buffer_.append(bytes, static_cast<std::size_t>(received));
    }
}

std::string SmtpClient::Reply(std::chrono::milliseconds wait) {
    std::string reply;
    for (;;) {
        const std::string line = ReadLine(wait);
        reply += line;
        if (line.size() < 4 || line[3] != '-') return reply;
    }
}

std::string SmtpClient::Command(const std::string& line) {
    Send(line + "\r\n");
    return Reply();
}

bool SmtpClient::WaitForClose(std::chrono::milliseconds wait) {
    pollfd ready{handle_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(wait.count())) <= 0) return false;
    char byte;
    return ::recv(handle_, &byte, 1, MSG_PEEK) == 0;
}

void SmtpServiceTest::UseFreePort() {
    port_ = FreePort();
    std::ofstream(ToHostPath(GetSystemDirectory() + "\\drivers\\etc\\services"))
        << "smtp " << port_ << "/tcp mail\n";
}

void SmtpServiceTest::SetUp() {
    UseFreePort();
    CreateSmtpServer();
    for (const char* folder : {"Drop", "Badmail", "Pickup", "Queue"}) {
        fs::create_directories(Folder(folder));
    }
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(CreateService(manager, "SMTPSVC", "Simple Mail Transfer Protocol (SMTP)",
                              SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_NORMAL, "\"" + ProgramImagePath("smtpsvc") + "\""));
}

void SmtpServiceTest::StartSmtp() {
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    // A port found free may be taken (by a client of a test running beside this one) before
    // the service binds it; the service then stops at once and another port is tried.
    SC_HANDLE service = OpenService(manager, "SMTPSVC", SERVICE_ALL_ACCESS);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) UseFreePort();
        ASSERT_TRUE(StartService(service));
        SERVICE_STATUS status{};
        WaitUntil([&] {
            return QueryServiceStatus(service, status) &&
                   status.dwCurrentState != SERVICE_START_PENDING;
        });
        if (status.dwCurrentState != SERVICE_STOPPED) break;
    }
    ASSERT_EQ(WaitForState("SMTPSVC", SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
    ASSERT_TRUE(WaitUntil([this] {
        try {
            SmtpClient probe("127.0.0.1", port_);
            return probe.Reply().starts_with("220 ");
        } catch (const std::runtime_error&) {
            return false;
        }
    }));
}

void SmtpServiceTest::StopSmtp() {
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SERVICE_STATUS status;
    ControlService(OpenService(manager, "SMTPSVC", SERVICE_ALL_ACCESS), SERVICE_CONTROL_STOP,
                   status);
    ASSERT_EQ(WaitForState("SMTPSVC", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
}

pid_t SmtpServiceTest::SmtpPid() {
    SC_HANDLE manager = OpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SERVICE_STATUS_PROCESS status;
    if (!QueryServiceStatusEx(OpenService(manager, "SMTPSVC", SERVICE_ALL_ACCESS), status))
        return 0;
    return static_cast<pid_t>(status.dwProcessId);
}

void SmtpServiceTest::KillSmtp() {
    const pid_t pid = SmtpPid();
    ASSERT_NE(pid, 0);
    ::kill(pid, SIGKILL);
    ASSERT_EQ(WaitForState("SMTPSVC", SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
}

SmtpClient SmtpServiceTest::Connect(const std::string& address, const std::string& source) {
    return SmtpClient(address, port_, source);
}

std::string SmtpServiceTest::SendMail(const std::string& from, const std::vector<std::string>& to,
                                      const std::string& text) {
    SmtpClient client = Connect();
    client.Reply();
    client.Command("EHLO client.test");
    client.Command("MAIL FROM:<" + from + ">");
    for (const std::string& recipient : to) client.Command("RCPT TO:<" + recipient + ">");
    if (!client.Command("DATA").starts_with("354")) return "no 354";
    client.Send(text + ".\r\n");
    const std::string reply = client.Reply();
    client.Command("QUIT");
    return reply;
}

fs::path SmtpServiceTest::Folder(const std::string& name) const {
    return ToHostPath(kMailroot + name);
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFile(const fs::path& file) {
    std::stringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<smtpsvc::QueueEntry> HeldForRemote(const fs::path& queue) {
    std::vector<smtpsvc::QueueEntry> held;
    for (const std::string& name : Names(queue)) {
        smtpsvc::QueueEntry entry;
        if (name.ends_with(".env") &&
            smtpsvc::MessageQueue(queue).Load(name.substr(0, name.size() - 4), entry) &&
            entry.state == smtpsvc::QueueState::Remote) {
            held.push_back(std::move(entry));
        }
    }
    return held;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace vrel::test
