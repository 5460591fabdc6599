// The control channel between the service control manager and a running service: a Unix
// socket under run/, one connection per control. The service side trusts nothing it reads
// beyond a four-byte control code; the manager side never waits longer than the control
// time-out.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <utility>

#include "platform/clock.h"
#include "services/scm_internal.h"

namespace win::scm {
namespace {

// How long the service side waits for a connected manager to send its request.
constexpr int kRequestWaitMs = 1000;

class Socket {
  public:
    Socket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    explicit Socket(int fd) : fd_(fd) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

bool MakeAddress(const std::filesystem::path& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size());
    return true;
}

// Reads exactly one DWORD, waiting at most timeoutMs host milliseconds in all.
bool ReadDword(int fd, DWORD& value, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    unsigned char bytes[sizeof value];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd poll{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&poll, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        const ssize_t n = ::recv(fd, bytes + got, sizeof bytes - got, 0);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    std::memcpy(&value, bytes, sizeof value);
    return true;
}

bool WriteDword(int fd, DWORD value) {
    return ::send(fd, &value, sizeof value, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof value);
}

}  // namespace

int ListenForControls(const std::filesystem::path& path) {
    sockaddr_un address;
    Socket socket;
    if (socket.Get() < 0 || !MakeAddress(path, address)) return -1;
    ::unlink(path.c_str());
    if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.Get(), 8) != 0) {
        return -1;
    }
    return socket.Release();
}

DWORD SendControl(const std::filesystem::path& path, DWORD control) {
    sockaddr_un address;
    Socket socket;
    if (socket.Get() < 0 || !MakeAddress(path, address) ||
        ::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !WriteDword(socket.Get(), control)) {
        return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
    DWORD reply = 0;
    const auto wait = ScaledWait(kControlTimeoutMs);
    if (!ReadDword(socket.Get(), reply, static_cast<int>(wait.count()))) {
        return ERROR_SERVICE_REQUEST_TIMEOUT;
    }
    return reply;
}

void ServeControl(int connection, const std::function<DWORD(DWORD control)>& handle) {
    Socket socket(connection);
    DWORD control = 0;
    if (!ReadDword(socket.Get(), control, kRequestWaitMs)) return;
    WriteDword(socket.Get(), handle(control));
}

}  // namespace win::scm
