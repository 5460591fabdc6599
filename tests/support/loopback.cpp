#include "loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <stdexcept>

namespace vrel::test {
namespace {

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int BoundListener() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        ::listen(listener, 1)) {
        throw std::runtime_error("loopback listener failed");
    }
    return listener;
}

int PortOf(int handle) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

bool Readable(int handle, std::chrono::milliseconds wait) {
    pollfd entry{handle, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

// Reads until the server closes; false when it stays silent for the wait first.
bool Drain(int handle, std::chrono::milliseconds wait, std::string& received) {
    char buffer[65536];
    while (Readable(handle, wait)) {
        const ssize_t n = ::recv(handle, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return false;
}

}  // namespace

LoopbackClient::LoopbackClient(int port)
    : handle_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(handle_);
        throw std::runtime_error("connect to port " + std::to_string(port) + " failed");
    }
    const int on = 1;
    ::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

LoopbackClient::LoopbackClient(LoopbackClient&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

LoopbackClient::~LoopbackClient() {
    Close();
}

void LoopbackClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) throw std::runtime_error("send failed");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string LoopbackClient::ReadLine(std::chrono::milliseconds wait) {
    std::string line;
    char c;
    while (Readable(handle_, wait) && ::recv(handle_, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n') break;
    }
    return line;
}

std::string LoopbackClient::ReadUntilClose(std::chrono::milliseconds wait) {
    std::string received;
    Drain(handle_, wait, received);
    return received;
}

bool LoopbackClient::WaitForClose(std::chrono::milliseconds wait) {
    std::string ignored;
    return Drain(handle_, wait, ignored);
}

void LoopbackClient::Close() {
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
}

void LoopbackClient::Reset() {
    const linger hard{1, 0};
    ::setsockopt(handle_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

LoopbackPair ConnectLoopback() {
    const int listener = BoundListener();
    LoopbackClient client(PortOf(listener));
    const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    if (accepted < 0) throw std::runtime_error("accept failed");
    return LoopbackPair{std::make_unique<win::TServerClientWinSocket>(accepted), std::move(client)};
}

// Below the system's ephemeral range (32768 and up), so that no outgoing connection of a
// test running beside this one is given the port between this choice and the server's bind.
int FreePort() {
    static std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32000);
    for (;;) {
        const int port = pick(random);
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        if (probe >= 0 &&
            ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            // Held bound for the rest of the process, so that a test running beside this one
            // cannot pick the port before our server binds it; a server's SO_REUSEADDR may
            // share it with a socket that does not listen.
            const int on = 1;
            ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            return port;
        }
        if (probe >= 0) ::close(probe);
    }
}

}  // namespace vrel::test
