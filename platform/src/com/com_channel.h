// Internal: the transport between COM clients and local servers.
//
// The machine's table of running class objects is the folder run/com/: for each
// registered class "{CLSID}.sock", the server's listening Unix socket, and "{CLSID}.lock",
// which the server holds locked while it lives. "{CLSID}.activate" serialises activations
// of the class between clients, so one start serves them all.
//
// On a connection each request is a frame (a 32-bit little-endian length, then the bytes)
// answered by one reply frame. A connection carries at most one object; its end releases
// the object and the connection's server locks.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace win::com {

enum class RequestKind : std::uint8_t { Create = 1, Call = 2, LockServer = 3 };

struct Reply {
    HRESULT hr = S_OK;
    std::string data;
    std::optional<ErrorInfo> error;
};
std::string EncodeReply(const Reply& reply);
bool DecodeReply(std::string_view bytes, Reply& reply);

bool ComInitialized();
// The machine's time-outs in its milliseconds: ComActivationTimeout, ComCallTimeout.
std::uint32_t MachineActivationTimeout();
std::uint32_t MachineCallTimeout();
// The default value of HKCR\CLSID\{clsid}\<serverKey>, or nullopt without that key.
std::optional<std::string> ReadClassServer(const CLSID& clsid, std::string_view serverKey);

std::filesystem::path ClassObjectFolder();
std::filesystem::path ClassObjectFile(const CLSID& clsid, std::string_view suffix);

// An owned descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release();
    void Reset();

  private:
    int fd_ = -1;
};

// A connection to the living server that registered clsid; empty when there is none.
Fd ConnectClassObject(const CLSID& clsid);
// A listening socket at path, bound under a temporary name and renamed into place so a
// client never meets a socket that does not accept yet.
Fd ListenAt(const std::filesystem::path& path);

using Clock = std::chrono::steady_clock;
enum class ReadStatus { Ok, Closed, TimedOut };
bool WriteFrame(int fd, std::string_view payload);
ReadStatus ReadFrame(int fd, std::string& payload, Clock::time_point deadline);

// The client end of one connection: one exchange at a time, each within the call
// time-out; any failure leaves it disconnected.
class Channel {
  public:
    Channel(Fd fd, std::uint32_t callTimeout) : fd_(std::move(fd)), callTimeout_(callTimeout) {}
    HRESULT Exchange(std::string_view request, Reply& reply);
    void SetCallTimeout(std::uint32_t milliseconds) { callTimeout_ = milliseconds; }
    std::uint32_t CallTimeout() const { return callTimeout_; }

  private:
    HRESULT Fail(HRESULT hr);
    Fd fd_;
    std::uint32_t callTimeout_;
};

}  // namespace win::com
