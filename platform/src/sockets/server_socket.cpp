// The thread-blocking server socket and the services database (see platform/sockets.h).
// Called by the POP3 service's listener. Trusts the services file only as far as a
// well-formed "name port/proto" line; anything else in it is skipped.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sockets.h"
#include "platform/text.h"

namespace win {
namespace {

// The host's queue of pending connections, not the 5 a Windows listener asks for: on Linux a
// burst beyond a short queue meets SYN cookies, and a client whose handshake the full queue
// then drops believes it is connected while the server never sees it; a POP3 client, which
// waits for the greeting, would hang until its own time-out. Windows refuses such a client.
constexpr int kListenQueue = SOMAXCONN;

[[noreturn]] void ThrowApiError(const char* api, int error) {
    throw ESocketError("Windows socket error: " + std::string(std::strerror(error)) + " (" +
                           std::to_string(error) + "), on API '" + api + "'",
                       error);
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    unsigned port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (port == 0 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

// The port of one services-file line when it names the service for the protocol.
std::optional<std::uint16_t> MatchServiceLine(const std::string& line, std::string_view name,
                                              std::string_view protocol) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string entry, portAndProtocol;
    if (!(words >> entry >> portAndProtocol)) return std::nullopt;
    const auto slash = portAndProtocol.find('/');
    if (slash == std::string::npos || !SameText(portAndProtocol.substr(slash + 1), protocol)) {
        return std::nullopt;
    }
    for (std::string alias = entry; !SameText(alias, name);) {
        if (!(words >> alias)) return std::nullopt;
    }
    return ParsePort(std::string_view(portAndProtocol).substr(0, slash));
}

}  // namespace

std::optional<std::uint16_t> getservbyname(std::string_view name, std::string_view protocol) {
    std::ifstream file(ToHostPath(GetSystemDirectory() + "\\drivers\\etc\\services"));
    for (std::string line; std::getline(file, line);) {
        if (const auto port = MatchServiceLine(line, name, protocol)) return port;
    }
    return std::nullopt;
}

TServerSocket::~TServerSocket() {
    SetActive(false);
}

void TServerSocket::SetActive(bool active) {
    if (active && !Active()) Open();
    if (!active && Active()) Close();
}

int TServerSocket::LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (!Active() || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length)) {
        return 0;
    }
    return ntohs(address.sin_port);
}

int TServerSocket::ActiveThreads() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(threads_.begin(), threads_.end(), [](const auto& t) {
        return !t->Idle() && !t->Finished();
    }));
}

int TServerSocket::IdleThreads() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(
        std::count_if(threads_.begin(), threads_.end(), [](const auto& t) { return t->Idle(); }));
}

void TServerSocket::Open() {
    int port = Port;
    if (!Service.empty()) port = getservbyname(Service, "tcp").value_or(Port);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) ThrowApiError("socket", errno);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    int wake[2];
    const char* failed = nullptr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        failed = "bind";
    } else if (::listen(listener, kListenQueue) != 0) {
        failed = "listen";
    } else if (::pipe2(wake, O_CLOEXEC) != 0) {
        failed = "pipe";
    }
    if (failed) {
        const int error = errno;
        ::close(listener);
        ThrowApiError(failed, error);
    }
    listener_ = listener;
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    acceptThread_ = std::thread(&TServerSocket::AcceptLoop, this);
}

void TServerSocket::Close() {
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, "x", 1);
    acceptThread_.join();
    for (int* handle : {&listener_, &wakeRead_, &wakeWrite_}) {
        ::close(*handle);
        *handle = -1;
    }
    std::vector<std::unique_ptr<TServerClientThread>> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(threads_);
    }
    for (const auto& thread : threads) {
        thread->Terminate();
        thread->CloseClient();
    }
    for (const auto& thread : threads) thread->WaitFor();
}

void TServerSocket::AcceptLoop() {
    for (;;) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR) return;
        if (entries[1].revents) return;
        if (!entries[0].revents) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            // A reply goes out whole in one write; Nagle's algorithm would only hold its
            // last segment back until the client's delayed acknowledgement.
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            Serve(std::make_unique<TServerClientWinSocket>(client));
        } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of resources: give the sessions time to end before trying again.
            ::poll(&entries[1], 1, static_cast<int>(ScaledWait(100).count()));
        }
    }
}

void TServerSocket::Serve(std::unique_ptr<TServerClientWinSocket> socket) {
    std::lock_guard lock(mutex_);
    ReapFinished();
    for (const auto& thread : threads_) {
        if (thread->Idle() && thread->ReActivate(socket)) return;
    }
    std::unique_ptr<TServerClientThread> thread;
    if (OnGetThread) OnGetThread(socket, thread);
    // Nobody serves this client, or no thread can: the connection closes with the thread.
    if (!thread || !thread->Resume()) return;
    threads_.push_back(std::move(thread));
}

void TServerSocket::ReapFinished() {
    std::erase_if(threads_, [](const auto& thread) { return thread->Finished(); });
}

}  // namespace win
