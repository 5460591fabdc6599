// The machine's COM library, client side: initialisation, class registration in
// HKEY_CLASSES_ROOT, creation of in-process and local-server objects, and the calling
// thread's error information.
//
// In-process classes are C++ objects whose factories are registered in code
// (RegisterInprocClass); the machine's own (the SEO event manager) are registered by the
// machine's setup, which every program links as objects. Like a DLL on disk, such a class
// can be created only while HKCR\CLSID\{clsid}\InprocServer32 exists. Interfaces are C++ classes
// deriving from IUnknown; an object answers an interface when it derives from it, and shared_ptr
// releases it.
//
// Local servers are other processes (com_server.h). CoCreateInstance with
// CLSCTX_LOCAL_SERVER finds the class object a running server has registered in the
// machine, or starts the LocalServer32 command line exactly as stored and waits for the
// registration. The result is a ComProxy: one connection, calls one at a time, each a
// method name and a serialised request answered by an HRESULT, a serialised reply and
// error information. Typed interfaces marshal their arguments by value on top of it.
// Activation and every call end within a time-out of the machine's clock (the knobs
// ComActivationTimeout and ComCallTimeout, in milliseconds, under the key
// HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine); a server that dies or hangs gives
// RPC_S_CALL_FAILED or RPC_E_TIMEOUT, never a hang.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/guid.h"
#include "platform/hresult.h"

namespace win {

using DWORD = std::uint32_t;

enum CLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
};

// Per thread; the first call of a thread answers S_OK, the others S_FALSE. Creating
// objects on a thread that has not initialised COM fails with CO_E_NOTINITIALIZED.
HRESULT CoInitialize();
void CoUninitialize();

class IUnknown {
  public:
    virtual ~IUnknown() = default;
};

template <class I>
HRESULT QueryInterface(const std::shared_ptr<IUnknown>& object, std::shared_ptr<I>& result) {
    result = std::dynamic_pointer_cast<I>(object);
    return result ? S_OK : E_NOINTERFACE;
}

// The factory of an in-process class, as its DLL would export it. Registering the same
// CLSID again replaces the factory.
using InprocFactory = std::function<std::shared_ptr<IUnknown>()>;
void RegisterInprocClass(const CLSID& clsid, InprocFactory factory);

// Creates an in-process object: REGDB_E_CLASSNOTREG unless HKCR holds its InprocServer32
// key, CLASS_E_CLASSNOTAVAILABLE when no factory is registered for it in this program.
HRESULT CoCreateInprocObject(const CLSID& clsid, DWORD clsContext,
                             std::shared_ptr<IUnknown>& object);

template <class I>
HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, std::shared_ptr<I>& object) {
    object.reset();
    std::shared_ptr<IUnknown> unknown;
    const HRESULT hr = CoCreateInprocObject(clsid, clsContext, unknown);
    if (FAILED(hr)) return hr;
    return QueryInterface(unknown, object);
}

// HKCR\<ProgID>\CLSID; CO_E_CLASSSTRING when the ProgID is unknown or its CLSID malformed.
HRESULT CLSIDFromProgID(std::string_view progId, CLSID& clsid);

// Error information of a failed call: who raised it, its text, and the interface called.
struct ErrorInfo {
    std::string source;
    std::string description;
    IID iid;
    friend bool operator==(const ErrorInfo&, const ErrorInfo&) = default;
};
// The calling thread's error information: SetErrorInfo replaces it (nullopt clears it);
// GetErrorInfo hands it over and clears it, S_FALSE when there is none.
void SetErrorInfo(std::optional<ErrorInfo> info);
HRESULT GetErrorInfo(std::optional<ErrorInfo>& info);

namespace com {
class Channel;
}

// A client's reference to an object in a local server. Destroying it releases the
// object in the server. Safe to call from several threads; calls go one at a time.
class ComProxy {
  public:
    explicit ComProxy(std::unique_ptr<com::Channel> channel);
    ComProxy(const ComProxy&) = delete;
    ComProxy& operator=(const ComProxy&) = delete;
    ~ComProxy();

    // Calls a method of the object. The reply is filled when the server answered; the
    // server's error information becomes this thread's (GetErrorInfo). After a transport
    // failure the proxy stays disconnected: later calls give RPC_E_DISCONNECTED.
    HRESULT Call(std::string_view method, std::string_view request, std::string& reply);
    // The time-out of each call in machine milliseconds (default: ComCallTimeout).
    void SetCallTimeout(std::uint32_t milliseconds);

  private:
    std::mutex mutex_;
    std::unique_ptr<com::Channel> channel_;
};

// A client's reference to a local server's class object (IClassFactory).
class ComClassObject {
  public:
    ComClassObject(const CLSID& clsid, std::unique_ptr<com::Channel> channel);
    ComClassObject(const ComClassObject&) = delete;
    ComClassObject& operator=(const ComClassObject&) = delete;
    ~ComClassObject();

    // Keeps the server running without a live object; the locks of this reference end
    // with it.
    HRESULT LockServer(bool lock);
    HRESULT CreateInstance(const IID& iid, std::unique_ptr<ComProxy>& object);

  private:
    CLSID clsid_;
    std::mutex mutex_;
    std::unique_ptr<com::Channel> channel_;
};

// Local-server activation. REGDB_E_CLASSNOTREG without a LocalServer32 key,
// CO_E_SERVER_EXEC_FAILURE when the program cannot be started or does not register its
// class object in time, E_NOINTERFACE when the object does not answer iid.
HRESULT CoGetClassObject(const CLSID& clsid, DWORD clsContext,
                         std::unique_ptr<ComClassObject>& classObject);
HRESULT CoCreateInstance(const CLSID& clsid, DWORD clsContext, const IID& iid,
                         std::unique_ptr<ComProxy>& object);

}  // namespace win
