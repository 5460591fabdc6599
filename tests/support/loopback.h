// Real TCP connections on 127.0.0.1 for the socket tests: a raw client that speaks bytes
// and lines, a connected pair whose server end is the platform's socket, and free ports.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/sockets.h"

namespace vrel::test {

class LoopbackClient {
  public:
    explicit LoopbackClient(int port);
    LoopbackClient(LoopbackClient&& other) noexcept;
    LoopbackClient& operator=(LoopbackClient&&) = delete;
    ~LoopbackClient();

    // Sends every byte, each call its own TCP segment.
    void Send(std::string_view bytes);
    // The next line up to and including its LF; what came before the end when the server
    // closes; "" when nothing came within the wait.
    std::string ReadLine(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // Everything the server sends until it closes the connection.
    std::string ReadUntilClose(std::chrono::milliseconds wait = std::chrono::seconds(10));
    // True when the server closes the connection within the wait.
    bool WaitForClose(std::chrono::milliseconds wait = std::chrono::seconds(10));
    void Close();
    // Closes with a reset instead of an orderly end.
    void Reset();
    int Handle() const { return handle_; }

  private:
    int handle_;
};

struct LoopbackPair {
    std::unique_ptr<win::TServerClientWinSocket> server;
    LoopbackClient client;
};
LoopbackPair ConnectLoopback();

// A TCP port that nobody listens on, kept for this process: only a server that sets
// SO_REUSEADDR can bind it.
int FreePort();

}  // namespace vrel::test
