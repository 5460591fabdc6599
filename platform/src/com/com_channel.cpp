// The transport between COM clients and local servers; see com_channel.h.
#include "com/com_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/clock.h"
#include "platform/com_wire.h"
#include "platform/registry.h"
#include "store/machine.h"

namespace win::com {
namespace fs = std::filesystem;
namespace {

// Requests and replies carry paths and field values, never message bodies.
constexpr std::uint32_t kMaxFrame = 16u << 20;

constexpr std::uint32_t kDefaultActivationTimeout = 30000;
constexpr std::uint32_t kDefaultCallTimeout = 60000;

std::uint32_t MachineKnob(const char* name, std::uint32_t fallback) {
    const std::optional<std::int32_t> value = ReadMachineDword(name);
    return value && *value > 0 ? static_cast<std::uint32_t>(*value) : fallback;
}

// A socket address for path. A path too long for sun_path is reached through the
// folder's descriptor, which dir keeps open for the bind or connect.
bool MakeAddress(const fs::path& path, sockaddr_un& address, Fd& dir) {
    address = {};
    address.sun_family = AF_UNIX;
    std::string name = path.string();
    if (name.size() >= sizeof address.sun_path) {
        dir = Fd(::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!dir) return false;
        name = "/proc/self/fd/" + std::to_string(dir.Get()) + "/" + path.filename().string();
        if (name.size() >= sizeof address.sun_path) return false;
    }
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    return true;
}

Fd NewSocket() {
    return Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

bool LockIsHeld(const fs::path& path) {
    const Fd lock(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!lock) return false;
    return ::flock(lock.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

bool ReadFully(int fd, char* data, std::size_t size, Clock::time_point deadline,
               ReadStatus& status) {
    while (size > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            status = ReadStatus::TimedOut;
            return false;
        }
        pollfd poller{fd, POLLIN, 0};
        const int ready = ::poll(&poller, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;
        const ssize_t n = ready < 0 ? -1 : ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            status = ReadStatus::Closed;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int Fd::Release() {
    return std::exchange(fd_, -1);
}

void Fd::Reset() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

std::uint32_t MachineActivationTimeout() {
    return MachineKnob("ComActivationTimeout", kDefaultActivationTimeout);
}

std::uint32_t MachineCallTimeout() {
    return MachineKnob("ComCallTimeout", kDefaultCallTimeout);
}

fs::path ClassObjectFolder() {
    return RunFolder() / "com";
}

fs::path ClassObjectFile(const CLSID& clsid, std::string_view suffix) {
    return ClassObjectFolder() / (StringFromGUID2(clsid) + std::string(suffix));
}

Fd ConnectClassObject(const CLSID& clsid) {
    if (!LockIsHeld(ClassObjectFile(clsid, ".lock"))) return Fd();
    sockaddr_un address;
    Fd dir;
    Fd socket = NewSocket();
    if (!socket || !MakeAddress(ClassObjectFile(clsid, ".sock"), address, dir)) return Fd();
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return Fd();
    }
    return socket;
}

Fd ListenAt(const fs::path& path) {
    const fs::path temporary = path.string() + "." + std::to_string(::getpid());
    sockaddr_un address;
    Fd dir;
    Fd socket = NewSocket();
    fs::remove(temporary);
    if (!socket || !MakeAddress(temporary, address, dir) ||
        ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.Get(), SOMAXCONN) != 0) {
        return Fd();
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        return Fd();
    }
    return socket;
}

bool WriteFrame(int fd, std::string_view payload) {
    WireWriter header;
    header.U32(static_cast<std::uint32_t>(payload.size()));
    std::string frame = header.Take();
    frame.append(payload);
    std::string_view rest = frame;
    while (!rest.empty()) {
        const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

ReadStatus ReadFrame(int fd, std::string& payload, Clock::time_point deadline) {
    ReadStatus status = ReadStatus::Ok;
    char header[4];
    if (!ReadFully(fd, header, sizeof header, deadline, status)) return status;
    std::uint32_t size = 0;
    WireReader(std::string_view(header, sizeof header)).U32(size);
    if (size > kMaxFrame) return ReadStatus::Closed;
    payload.assign(size, '\0');
    ReadFully(fd, payload.data(), size, deadline, status);
    return status;
}

std::string EncodeReply(const Reply& reply) {
    WireWriter writer;
    writer.I32(reply.hr).Text(reply.data).U8(reply.error ? 1 : 0);
    if (reply.error) {
        writer.Text(reply.error->source).Text(reply.error->description).Guid(reply.error->iid);
    }
    return writer.Take();
}

bool DecodeReply(std::string_view bytes, Reply& reply) {
    WireReader reader(bytes);
    std::uint8_t hasError = 0;
    if (!reader.I32(reply.hr) || !reader.Text(reply.data) || !reader.U8(hasError)) return false;
    reply.error.reset();
    if (hasError) {
        ErrorInfo info;
        if (!reader.Text(info.source) || !reader.Text(info.description) || !reader.Guid(info.iid)) {
            return false;
        }
        reply.error = std::move(info);
    }
    return reader.AtEnd();
}

HRESULT Channel::Fail(HRESULT hr) {
    fd_.Reset();
    return hr;
}

HRESULT Channel::Exchange(std::string_view request, Reply& reply) {
    if (!fd_) return RPC_E_DISCONNECTED;
    const std::chrono::milliseconds wait = ScaledWait(callTimeout_);
    const Clock::time_point deadline = Clock::now() + wait;
    // A server that stopped reading must not hold the caller beyond the time-out.
    timeval sendTimeout{static_cast<time_t>(wait.count() / 1000),
                        static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    if (!WriteFrame(fd_.Get(), request)) return Fail(RPC_S_CALL_FAILED);
    std::string bytes;
    switch (ReadFrame(fd_.Get(), bytes, deadline)) {
        case ReadStatus::TimedOut:
            return Fail(RPC_E_TIMEOUT);
        case ReadStatus::Closed:
            return Fail(RPC_S_CALL_FAILED);
        case ReadStatus::Ok:
            break;
    }
    if (!DecodeReply(bytes, reply)) return Fail(RPC_S_CALL_FAILED);
    return S_OK;
}

}  // namespace win::com
