// Local-server activation and the client's proxies; see com.h. Activation reuses the
// class object of a living server, or starts the registered command line and waits for
// the server to register, all within the activation time-out of the machine's clock.
#include <sys/file.h>

#include <thread>

#include "com/com_channel.h"
#include "com/com_launch.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/com_wire.h"

namespace win {
namespace {

using com::Channel;
using com::Clock;
using com::Fd;

constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Held while one client finds or starts the server of a class, so that clients activating
// together start it once.
class ActivationLock {
  public:
    ActivationLock(const CLSID& clsid, Clock::time_point deadline) {
        std::filesystem::create_directories(com::ClassObjectFolder());
        fd_ = Fd(::open(com::ClassObjectFile(clsid, ".activate").c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        while (fd_ && ::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (Clock::now() >= deadline) {
                fd_.Reset();
                return;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    bool Held() const { return static_cast<bool>(fd_); }

  private:
    Fd fd_;
};

Fd AwaitRegistration(const CLSID& clsid, const com::StartedServer& server,
                     Clock::time_point deadline) {
    while (Clock::now() < deadline && !com::HasEnded(server)) {
        if (Fd connection = com::ConnectClassObject(clsid)) return connection;
        std::this_thread::sleep_for(kPollInterval);
    }
    return com::ConnectClassObject(clsid);
}

HRESULT ActivateClassObject(const CLSID& clsid, Clock::time_point deadline, Fd& connection) {
    const std::optional<std::string> commandLine = com::ReadClassServer(clsid, "LocalServer32");
    if (!commandLine) return REGDB_E_CLASSNOTREG;
    if ((connection = com::ConnectClassObject(clsid))) return S_OK;
    const ActivationLock lock(clsid, deadline);
    if (!lock.Held()) return CO_E_SERVER_EXEC_FAILURE;
    if ((connection = com::ConnectClassObject(clsid))) return S_OK;
    const std::optional<CommandLine> parsed = ParseCommandLine(*commandLine);
    if (!parsed) return CO_E_SERVER_EXEC_FAILURE;
    const std::optional<com::StartedServer> server = com::StartServer(*parsed);
    if (!server) return CO_E_SERVER_EXEC_FAILURE;
    connection = AwaitRegistration(clsid, *server, deadline);
    return connection ? S_OK : CO_E_SERVER_EXEC_FAILURE;
}

HRESULT CheckContext(DWORD clsContext) {
    if (!com::ComInitialized()) return CO_E_NOTINITIALIZED;
    return clsContext & CLSCTX_LOCAL_SERVER ? S_OK : REGDB_E_CLASSNOTREG;
}

HRESULT OpenClassChannel(const CLSID& clsid, Clock::time_point deadline,
                         std::unique_ptr<Channel>& channel) {
    Fd connection;
    const HRESULT hr = ActivateClassObject(clsid, deadline, connection);
    if (SUCCEEDED(hr)) {
        channel = std::make_unique<Channel>(std::move(connection), com::MachineCallTimeout());
    }
    return hr;
}

// A server whose last object was just released leaves the table and quits; a request
// that reached it in that moment is refused or cut off, and the activation starts over.
HRESULT CreateObject(const CLSID& clsid, const IID& iid, std::unique_ptr<ComProxy>& object) {
    const Clock::time_point deadline = Clock::now() + ScaledWait(com::MachineActivationTimeout());
    const std::string request = WireWriter()
                                    .U8(static_cast<std::uint8_t>(com::RequestKind::Create))
                                    .Guid(clsid)
                                    .Guid(iid)
                                    .Take();
    for (;;) {
        std::unique_ptr<Channel> channel;
        const HRESULT activated = OpenClassChannel(clsid, deadline, channel);
        if (FAILED(activated)) return activated;
        com::Reply reply;
        HRESULT hr = channel->Exchange(request, reply);
        if (SUCCEEDED(hr)) hr = reply.hr;
        if (SUCCEEDED(hr)) {
            object = std::make_unique<ComProxy>(std::move(channel));
            return hr;
        }
        const bool serverLeaving = hr == CO_E_SERVER_STOPPING || hr == RPC_S_CALL_FAILED;
        if (!serverLeaving) return hr;
        if (Clock::now() >= deadline) return CO_E_SERVER_EXEC_FAILURE;
    }
}

}  // namespace

ComProxy::ComProxy(std::unique_ptr<com::Channel> channel) : channel_(std::move(channel)) {}

ComProxy::~ComProxy() = default;

HRESULT ComProxy::Call(std::string_view method, std::string_view request, std::string& reply) {
    std::lock_guard lock(mutex_);
    const std::string frame = WireWriter()
                                  .U8(static_cast<std::uint8_t>(com::RequestKind::Call))
                                  .Text(method)
                                  .Text(request)
                                  .Take();
    com::Reply answer;
    const HRESULT hr = channel_->Exchange(frame, answer);
    SetErrorInfo(std::move(answer.error));
    if (FAILED(hr)) return hr;
    reply = std::move(answer.data);
    return answer.hr;
}

void ComProxy::SetCallTimeout(std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    channel_->SetCallTimeout(milliseconds);
}

ComClassObject::ComClassObject(const CLSID& clsid, std::unique_ptr<com::Channel> channel)
    : clsid_(clsid), channel_(std::move(channel)) {}

ComClassObject::~ComClassObject() = default;

HRESULT ComClassObject::LockServer(bool lock) {
    std::lock_guard guard(mutex_);
    const std::string frame = WireWriter()
                                  .U8(static_cast<std::uint8_t>(com::RequestKind::LockServer))
                                  .U8(lock ? 1 : 0)
                                  .Take();
    com::Reply reply;
    const HRESULT hr = channel_->Exchange(frame, reply);
    return FAILED(hr) ? hr : reply.hr;
}

HRESULT ComClassObject::CreateInstance(const IID& iid, std::unique_ptr<ComProxy>& object) {
    object.reset();
    return CreateObject(clsid_, iid, object);
}

HRESULT CoGetClassObject(const CLSID& clsid, DWORD clsContext,
                         std::unique_ptr<ComClassObject>& classObject) {
    classObject.reset();
    if (const HRESULT hr = CheckContext(clsContext); FAILED(hr)) return hr;
    const Clock::time_point deadline = Clock::now() + ScaledWait(com::MachineActivationTimeout());
    std::unique_ptr<Channel> channel;
    const HRESULT hr = OpenClassChannel(clsid, deadline, channel);
    if (SUCCEEDED(hr)) classObject = std::make_unique<ComClassObject>(clsid, std::move(channel));
    return hr;
}

HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid,
                         std::unique_ptr<ComProxy>& object) {
    object.reset();
    if (const HRESULT hr = CheckContext(clsContext); FAILED(hr)) return hr;
    return CreateObject(clsid, iid, object);
}

}  // namespace win
