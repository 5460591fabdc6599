// Connected sockets and the blocking socket stream (see platform/sockets.h).
// Trusts nothing it reads: bytes are handed to the caller as they came.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/clock.h"

namespace win {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::string PeerAddress(int handle) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    if (address.ss_family != AF_INET) return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
    return ::inet_ntop(AF_INET, &ipv4.sin_addr, text, sizeof text) ? text : std::string();
}

[[noreturn]] void ThrowIoError(const char* operation, int error) {
    throw ESocketError(
        std::string(operation) + " error " + std::to_string(error) + ", " + std::strerror(error),
        error);
}

// Waits until the descriptor is ready for the events or the deadline has passed; true
// when it is ready (a hang-up or error counts as ready: the next call reports it).
bool WaitReady(int handle, short events, steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - steady_clock::now());
        pollfd entry{handle, events, 0};
        const auto slice = std::clamp<std::int64_t>(left.count(), 0, INT_MAX);
        const int ready = ::poll(&entry, 1, static_cast<int>(slice));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
        if (ready == 0 && steady_clock::now() >= deadline) return false;
    }
}

}  // namespace

TServerClientWinSocket::TServerClientWinSocket(int handle)
    : handle_(handle), remoteAddress_(PeerAddress(handle)) {}

TServerClientWinSocket::~TServerClientWinSocket() {
    ::close(handle_);
}

std::string TServerClientWinSocket::RemoteHost() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, remoteAddress_.c_str(), &address.sin_addr) != 1) return {};
    char host[NI_MAXHOST] = {};
    const int status = ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address,
                                     host, sizeof host, nullptr, 0, NI_NAMEREQD);
    return status == 0 ? host : std::string();
}

void TServerClientWinSocket::Close() {
    connected_ = false;
    ::shutdown(handle_, SHUT_RDWR);
}

TWinSocketStream::TWinSocketStream(TServerClientWinSocket& socket, std::uint32_t timeOut)
    : socket_(socket), timeOut_(timeOut) {}

bool TWinSocketStream::WaitForData(std::uint32_t timeout) {
    return WaitReady(socket_.SocketHandle(), POLLIN, steady_clock::now() + ScaledWait(timeout));
}

std::size_t TWinSocketStream::Read(void* buffer, std::size_t count) {
    if (count == 0) return 0;
    // Bytes already waiting (the session loop has just waited for them) need no poll.
    const auto deadline = steady_clock::now() + ScaledWait(timeOut_);
    for (;;) {
        const ssize_t n = ::recv(socket_.SocketHandle(), buffer, count, MSG_DONTWAIT);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) ThrowIoError("Read", errno);
        if (errno != EINTR && !WaitReady(socket_.SocketHandle(), POLLIN, deadline)) return 0;
    }
}

std::size_t TWinSocketStream::Write(const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t sent = 0;
    // A send goes first: the socket's buffer mostly has room, and only a full one is waited for,
    // each wait with the whole time-out.
    while (sent < count) {
        const ssize_t n =
            ::send(socket_.SocketHandle(), bytes + sent, count - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const auto deadline = steady_clock::now() + ScaledWait(timeOut_);
            if (!WaitReady(socket_.SocketHandle(), POLLOUT, deadline)) {
                ThrowIoError("Write", ETIMEDOUT);
            }
        } else if (errno != EINTR) {
            ThrowIoError("Write", errno);
        }
    }
    return sent;
}

std::string gethostname() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace win
