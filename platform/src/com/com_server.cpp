// Local-server side of the machine's COM; see com_server.h.
//
// Each registered class has a host: its liveness lock, its listening socket and one
// receiving thread that accepts connections and reads their requests. The receiving
// thread only reads; every request becomes a task of the message loop, which creates,
// calls and releases the objects and writes the replies, so objects see one thread.
#include "platform/com_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "com/com_channel.h"
#include "platform/clock.h"
#include "platform/com_wire.h"
#include "platform/message_loop.h"

namespace win {
namespace {

using com::Clock;
using com::Fd;

// A client that starts a request finishes sending it at once; one that stalls is cut off.
constexpr auto kRequestTime = std::chrono::seconds(5);
// Nor may a client that stops reading hold the message loop.
constexpr timeval kReplyTime{5, 0};

struct Connection {
    Fd fd;
    std::unique_ptr<ComServerObject> object;
    int locks = 0;
};
using ConnectionPtr = std::shared_ptr<Connection>;

com::Reply Answer(HRESULT hr) {
    com::Reply reply;
    reply.hr = hr;
    return reply;
}

// The class object as the message loop sees it; shared with queued work, which may
// outlive the host.
class ClassObject {
  public:
    ClassObject(const CLSID& clsid, ClassFactory factory)
        : clsid_(clsid), factory_(std::move(factory)) {}

    std::atomic<bool> suspended = false;
    std::atomic<bool> stopped = false;

    com::Reply Handle(Connection& connection, std::string_view request) {
        WireReader reader(request);
        std::uint8_t kind = 0;
        if (!reader.U8(kind)) return Answer(E_INVALIDARG);
        switch (static_cast<com::RequestKind>(kind)) {
            case com::RequestKind::Create:
                return Create(connection, reader);
            case com::RequestKind::Call:
                return Call(connection, reader);
            case com::RequestKind::LockServer:
                return LockServer(connection, reader);
        }
        return Answer(E_INVALIDARG);
    }

    // Releases what the connection held and closes it; the count of locks it held.
    static int Drop(Connection& connection) {
        const int released = connection.locks + (connection.object ? 1 : 0);
        connection.object.reset();
        connection.locks = 0;
        if (connection.fd) ::shutdown(connection.fd.Get(), SHUT_RDWR);
        connection.fd.Reset();
        return released;
    }

  private:
    com::Reply Create(Connection& connection, WireReader& reader) {
        CLSID clsid;
        IID iid;
        if (!reader.Guid(clsid) || !reader.Guid(iid) || !reader.AtEnd()) {
            return Answer(E_INVALIDARG);
        }
        if (suspended) return Answer(CO_E_SERVER_STOPPING);
        if (clsid != clsid_) return Answer(CLASS_E_CLASSNOTAVAILABLE);
        if (connection.object) return Answer(E_UNEXPECTED);
        std::unique_ptr<ComServerObject> object = factory_();
        if (!object) return Answer(E_OUTOFMEMORY);
        if (iid != IID_IUnknown && !object->Supports(iid)) return Answer(E_NOINTERFACE);
        connection.object = std::move(object);
        ComServer().Lock();
        return Answer(S_OK);
    }

    static com::Reply Call(Connection& connection, WireReader& reader) {
        std::string method, arguments;
        if (!reader.Text(method) || !reader.Text(arguments) || !reader.AtEnd()) {
            return Answer(E_INVALIDARG);
        }
        if (!connection.object) return Answer(RPC_E_DISCONNECTED);
        com::Reply reply;
        SetErrorInfo(std::nullopt);
        try {
            reply.hr = connection.object->Invoke(method, arguments, reply.data);
        } catch (const std::exception&) {
            reply.hr = RPC_E_SERVERFAULT;
        }
        std::optional<ErrorInfo> info;
        GetErrorInfo(info);
        if (FAILED(reply.hr)) reply.error = std::move(info);
        return reply;
    }

    static com::Reply LockServer(Connection& connection, WireReader& reader) {
        std::uint8_t lock = 0;
        if (!reader.U8(lock) || !reader.AtEnd()) return Answer(E_INVALIDARG);
        if (lock) {
            ++connection.locks;
            ComServer().Lock();
        } else if (connection.locks > 0) {
            --connection.locks;
            ComServer().Unlock();
        }
        return Answer(S_OK);
    }

    const CLSID clsid_;
    const ClassFactory factory_;
};
using ClassObjectPtr = std::shared_ptr<ClassObject>;

// The class object's place in the machine: its liveness lock, its listening socket and the
// receiving thread.
class ClassHost {
  public:
    // Without a client by `unused` (when given), the server is told that nobody came.
    ClassHost(const CLSID& clsid, ClassFactory factory, Fd lock, Fd listener,
              std::optional<Clock::time_point> unused)
        : clsid_(clsid),
          object_(std::make_shared<ClassObject>(clsid, std::move(factory))),
          lock_(std::move(lock)),
          listener_(std::move(listener)),
          wake_(::eventfd(0, EFD_CLOEXEC)),
          unused_(unused),
          receiver_([this] { Receive(); }) {}
    ClassHost(const ClassHost&) = delete;
    ClassHost& operator=(const ClassHost&) = delete;
    ~ClassHost() { Stop(); }

    // Leaves the machine's table: new activations start another server.
    void Suspend() {
        if (object_->suspended.exchange(true)) return;
        std::error_code ignored;
        std::filesystem::remove(com::ClassObjectFile(clsid_, ".sock"), ignored);
        lock_.Reset();
        Wake();
    }

    // Disconnects every client; returns the objects and locks that ended with them.
    int Stop() {
        Suspend();
        object_->stopped = true;
        Wake();
        if (receiver_.joinable()) receiver_.join();
        int released = 0;
        for (auto& [fd, connection] : connections_) released += ClassObject::Drop(*connection);
        connections_.clear();
        return released;
    }

  private:
    void Wake() {
        const std::uint64_t one = 1;
        (void)!::write(wake_.Get(), &one, sizeof one);
    }

    // Milliseconds until the time for a first client runs out; -1 when there is none.
    int PollTimeout() const {
        if (!unused_) return -1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*unused_ - Clock::now());
        return static_cast<int>(std::clamp<std::int64_t>(left.count() + 1, 0, 1 << 30));
    }

    void CheckUnused() {
        if (!unused_ || Clock::now() < *unused_) return;
        unused_.reset();
        PostThreadTask([] { ComServer().ActivationTimeOver(); });
    }

    void Receive() {
        while (!object_->stopped) {
            std::vector<pollfd> pollers{{wake_.Get(), POLLIN, 0}};
            if (listener_) pollers.push_back({listener_.Get(), POLLIN, 0});
            for (const auto& [fd, connection] : connections_) pollers.push_back({fd, POLLIN, 0});
            const int ready = ::poll(pollers.data(), pollers.size(), PollTimeout());
            CheckUnused();
            if (ready < 0) continue;
            if (pollers[0].revents) {
                std::uint64_t count;
                (void)!::read(wake_.Get(), &count, sizeof count);
                if (object_->suspended) listener_.Reset();
            }
            for (std::size_t i = 1; i < pollers.size(); ++i) {
                if (!pollers[i].revents) continue;
                if (listener_ && pollers[i].fd == listener_.Get()) {
                    Accept();
                } else {
                    ReadRequest(pollers[i].fd);
                }
            }
        }
    }

    void Accept() {
        Fd fd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!fd) return;
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &kReplyTime, sizeof kReplyTime);
        const int key = fd.Get();
        auto connection = std::make_shared<Connection>();
        connection->fd = std::move(fd);
        connections_[key] = std::move(connection);
    }

    void ReadRequest(int fd) {
        const auto found = connections_.find(fd);
        if (found == connections_.end()) return;
        ConnectionPtr connection = found->second;
        std::string request;
        if (com::ReadFrame(fd, request, Clock::now() + kRequestTime) != com::ReadStatus::Ok) {
            connections_.erase(found);
            PostThreadTask(
                [connection] { ComServer().UnlockMany(ClassObject::Drop(*connection)); });
            return;
        }
        PostThreadTask([object = object_, connection, request = std::move(request)] {
            if (object->stopped || !connection->fd) return;
            const com::Reply reply = object->Handle(*connection, request);
            com::WriteFrame(connection->fd.Get(), com::EncodeReply(reply));
        });
    }

    const CLSID clsid_;
    const ClassObjectPtr object_;
    Fd lock_;
    Fd listener_;
    Fd wake_;
    std::optional<Clock::time_point> unused_;   // receiving thread only
    std::map<int, ConnectionPtr> connections_;  // receiving thread only, until Stop
    std::thread receiver_;
};

struct Hosts {
    std::mutex mutex;
    DWORD next = 1;
    std::map<DWORD, std::unique_ptr<ClassHost>> byRegistration;
};

Hosts& TheHosts() {
    static Hosts hosts;
    return hosts;
}

void SuspendClassObjects() {
    Hosts& hosts = TheHosts();
    std::lock_guard lock(hosts.mutex);
    for (auto& [registration, host] : hosts.byRegistration) host->Suspend();
}

}  // namespace

HRESULT CoRegisterClassObject(const CLSID& clsid, ClassFactory factory, DWORD clsContext,
                              DWORD flags, DWORD& registration) {
    registration = 0;
    if (!com::ComInitialized()) return CO_E_NOTINITIALIZED;
    if (!(clsContext & CLSCTX_LOCAL_SERVER) || flags != REGCLS_MULTIPLEUSE || !factory) {
        return E_INVALIDARG;
    }
    std::error_code error;
    std::filesystem::create_directories(com::ClassObjectFolder(), error);
    Fd lock(
        ::open(com::ClassObjectFile(clsid, ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) return E_FAIL;
    if (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) return CO_E_OBJISREG;
    Fd listener = com::ListenAt(com::ClassObjectFile(clsid, ".sock"));
    if (!listener) return E_FAIL;
    // The client that started the server waits no longer than this for it.
    std::optional<Clock::time_point> unused;
    if (ComServer().QuitsOnLastRelease()) {
        unused = Clock::now() + ScaledWait(com::MachineActivationTimeout());
    }
    Hosts& hosts = TheHosts();
    std::lock_guard guard(hosts.mutex);
    registration = hosts.next++;
    hosts.byRegistration[registration] = std::make_unique<ClassHost>(
        clsid, std::move(factory), std::move(lock), std::move(listener), unused);
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD registration) {
    std::unique_ptr<ClassHost> host;
    {
        Hosts& hosts = TheHosts();
        std::lock_guard lock(hosts.mutex);
        const auto found = hosts.byRegistration.find(registration);
        if (found == hosts.byRegistration.end()) return CO_E_OBJNOTREG;
        host = std::move(found->second);
        hosts.byRegistration.erase(found);
    }
    ComServer().UnlockMany(host->Stop());
    return S_OK;
}

void TComServer::SetQuitOnLastRelease(bool quit) {
    quitOnLastRelease_ = quit;
}

bool TComServer::QuitsOnLastRelease() const {
    return quitOnLastRelease_;
}

void TComServer::ActivationTimeOver() {
    if (!used_ && quitOnLastRelease_) Quit();
}

void TComServer::Quit() {
    SuspendClassObjects();
    PostQuitMessage(0);
}

int TComServer::ObjectCount() const {
    return count_;
}

void TComServer::Lock() {
    used_ = true;
    ++count_;
}

void TComServer::Unlock() {
    UnlockMany(1);
}

void TComServer::UnlockMany(int count) {
    if (count <= 0 || count_ <= 0) return;
    count_ = std::max(0, count_ - count);
    if (count_ == 0 && quitOnLastRelease_) Quit();
}

TComServer& ComServer() {
    static TComServer server;
    return server;
}

}  // namespace win
