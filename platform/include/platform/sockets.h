// Sockets: the thread-blocking server socket of the component library, its client threads
// and the blocking socket stream, over POSIX TCP sockets (IPv4, every local address).
//
// Callers: the POP3 service (listener, session threads, command reader and replies) and
// the tests. Every byte read here comes from the network and is handed on untouched; the
// callers bound and check it. Every wait goes through the machine's clock (ScaledWait).
//
// How the stand-in behaves where the library leaves room:
// - TWinSocketStream::Read returns 0 when the peer closed the connection or nothing came
//   within the stream's time-out, and throws ESocketError on a receive error (a reset
//   connection included). Write sends all of the buffer or throws ESocketError, also when
//   the peer takes nothing within the time-out: a reply is never half-sent in silence.
// - TServerClientWinSocket::Close only shuts the connection down, so any thread may close
//   it while the session thread still reads; the descriptor is freed with the object.
// - A client thread starts at Resume(), which the server calls after OnGetThread: a C++
//   thread cannot run a derived class's ClientExecute before its constructor has finished.
//   Threads never free themselves; the server owns them.
// - An exception that escapes ClientExecute goes to HandleException, which by default
//   does nothing (this layer never prints); the thread then ends instead of waiting in
//   the cache. HandleException runs on the client thread and must not block.
// - A client whose thread the system cannot make (a task limit) is not served: its
//   connection is closed, HandleException reports "Thread creation error: ..." on the
//   accept thread, and the server goes on accepting.
// - A thread kept in cache waits for its next client without limit: the cache grows to
//   the highest number of simultaneous clients and shrinks only at deactivation.
// - The port comes from the services file entry of Service ("name port/proto [aliases]",
//   protocol tcp); without such an entry the server falls back to Port. Port 0 lets the
//   system choose (LocalPort tells which). The listener allows a quick rebind of a port
//   that still has connections in TIME_WAIT, as Windows does.
// - The queue of pending connections is the host's largest (SOMAXCONN), not 5: on Linux a
//   short queue loses the clients of a burst silently (SYN cookies), where Windows refuses them.
// - Accepted connections send without delay (TCP_NODELAY): callers gather each reply into
//   one write, and Nagle's algorithm would hold the tail of a large one back for the
//   client's delayed acknowledgement (40 ms on Linux).
// - gethostname is the host's own name, as the socket layer of Windows reports the DNS
//   host name rather than the computer name.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace win {

class ESocketError : public std::runtime_error {
  public:
    ESocketError(const std::string& message, int errorCode)
        : std::runtime_error(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

// One connected socket. Owns its descriptor.
class TServerClientWinSocket {
  public:
    explicit TServerClientWinSocket(int handle);
    TServerClientWinSocket(const TServerClientWinSocket&) = delete;
    TServerClientWinSocket& operator=(const TServerClientWinSocket&) = delete;
    ~TServerClientWinSocket();

    int SocketHandle() const { return handle_; }
    // True until Close; a peer that hung up shows only as a read of 0 bytes.
    bool Connected() const { return connected_; }
    // The peer's IPv4 address in dotted form; empty for a socket that has none.
    const std::string& RemoteAddress() const { return remoteAddress_; }
    // The peer's host name by a reverse lookup of its address; empty when none is found.
    std::string RemoteHost() const;
    // Shuts the connection down in both directions; safe from any thread, repeatable.
    void Close();

  private:
    int handle_;
    std::atomic<bool> connected_{true};
    std::string remoteAddress_;
};

// A blocking stream over a connected socket; its time-out (machine milliseconds) bounds
// each Read and each wait of Write.
class TWinSocketStream {
  public:
    TWinSocketStream(TServerClientWinSocket& socket, std::uint32_t timeOut);

    std::uint32_t TimeOut() const { return timeOut_; }
    // True when data (or the peer's hang-up) can be read within timeout milliseconds.
    bool WaitForData(std::uint32_t timeout);
    // Up to count bytes; 0 on hang-up or time-out; ESocketError on a receive error.
    std::size_t Read(void* buffer, std::size_t count);
    // All count bytes, or ESocketError.
    std::size_t Write(const void* buffer, std::size_t count);
    std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }

  private:
    TServerClientWinSocket& socket_;
    std::uint32_t timeOut_;
};

// A session thread of the server socket: runs ClientExecute once per client handed to it,
// and, when KeepInCache is set, waits for the next client afterwards.
class TServerClientThread {
  public:
    explicit TServerClientThread(std::unique_ptr<TServerClientWinSocket> socket);
    TServerClientThread(const TServerClientThread&) = delete;
    TServerClientThread& operator=(const TServerClientThread&) = delete;
    // The owner ends the thread first (Terminate, close the client, WaitFor).
    virtual ~TServerClientThread();

    // Starts the thread; later calls do nothing. False, after HandleException has been given
    // "Thread creation error: ..." on the caller's thread, when the system makes no thread.
    bool Resume();
    // Hands a waiting thread its next client; false (socket untouched) when the thread is
    // busy or ending.
    bool ReActivate(std::unique_ptr<TServerClientWinSocket>& socket);
    void Terminate();
    // Closes the current client's connection, if any; safe from any thread.
    void CloseClient();
    void WaitFor();
    bool Terminated() const { return terminated_; }
    // True while the thread waits in the cache for a client.
    bool Idle() const;
    // True once the thread has ended for good.
    bool Finished() const { return finished_; }

    bool KeepInCache = false;

  protected:
    virtual void ClientExecute() = 0;
    // Reports an exception of the session; must not block. The default does nothing.
    virtual void HandleException(std::exception_ptr error);
    TServerClientWinSocket* ClientSocket() const { return socket_.get(); }

  private:
    void Execute();
    void Report(std::exception_ptr error);
    bool StartConnect();
    bool EndConnect(bool keep);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<TServerClientWinSocket> socket_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    bool ending_ = false;
    std::thread thread_;
};

enum TServerType { stThreadBlocking };

// Given the accepted client, sets the thread that is to serve it (taking the socket).
using TGetThreadEvent = std::function<void(std::unique_ptr<TServerClientWinSocket>& clientSocket,
                                           std::unique_ptr<TServerClientThread>& socketThread)>;

// The listening socket: accepts on a thread of its own and hands each client to an idle
// cached thread or to a new one from OnGetThread.
class TServerSocket {
  public:
    TServerSocket() = default;
    TServerSocket(const TServerSocket&) = delete;
    TServerSocket& operator=(const TServerSocket&) = delete;
    ~TServerSocket();

    int Port = 0;
    std::string Service;
    TServerType ServerType = stThreadBlocking;
    TGetThreadEvent OnGetThread;

    // Opening raises ESocketError when the port cannot be had.
    void SetActive(bool active);
    bool Active() const { return listener_ >= 0; }
    // The port the listener is bound to; 0 while inactive.
    int LocalPort() const;
    // Threads serving a client, and threads waiting in the cache.
    int ActiveThreads() const;
    int IdleThreads() const;

  private:
    void Open();
    void Close();
    void AcceptLoop();
    void Serve(std::unique_ptr<TServerClientWinSocket> socket);
    void ReapFinished();

    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<TServerClientThread>> threads_;
};

// The TCP port of a services-file entry (name or alias) for the protocol.
std::optional<std::uint16_t> getservbyname(std::string_view name, std::string_view protocol);
// The local host's name.
std::string gethostname();

}  // namespace win
