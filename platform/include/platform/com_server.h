// The machine's COM library, server side: a local server's class objects, the objects
// they create, and the server module's lock count.
//
// CoRegisterClassObject enters the class object into the machine's table of running
// class objects (a Unix socket and a liveness lock under run/com/), where activation
// finds it. Requests are received on a thread of the library and delivered through the
// message loop (message_loop.h), so every object is created, called and released on the
// thread that runs the loop, one call at a time. A client's connection ending, in good
// order or because the client died, releases its object and its locks.
//
// Objects are trusted program code; requests are not: every frame is checked before use.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace win {

// An object that a local server serves. Invoke runs on the message-loop thread; it may set
// the thread's error information (SetErrorInfo), which travels to the caller with a
// failing HRESULT. An exception escaping Invoke gives the caller RPC_E_SERVERFAULT.
class ComServerObject {
  public:
    virtual ~ComServerObject() = default;
    // QueryInterface: whether the object answers iid (IUnknown is always answered).
    virtual bool Supports(const IID& iid) const = 0;
    virtual HRESULT Invoke(std::string_view method, std::string_view request,
                           std::string& reply) = 0;
};

using ClassFactory = std::function<std::unique_ptr<ComServerObject>()>;

enum REGCLS : DWORD {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
};

// Registers a class object for CLSCTX_LOCAL_SERVER. CO_E_OBJISREG when a living server
// has registered the class already.
HRESULT CoRegisterClassObject(const CLSID& clsid, ClassFactory factory, DWORD clsContext,
                              DWORD flags, DWORD& registration);
// Removes the class object from the machine and disconnects its clients.
HRESULT CoRevokeClassObject(DWORD registration);

// The server module: its lock count is the live objects plus the class objects' locks.
class TComServer {
  public:
    // Set when started with "/Automation": each time the count falls to zero the class
    // objects leave the machine's table and the quit message is posted. They do the same
    // when no client has used the server within the activation time-out after a class
    // object was registered: the client that started it has given up. Set it before
    // registering.
    void SetQuitOnLastRelease(bool quit);
    bool QuitsOnLastRelease() const;
    int ObjectCount() const;

    // Used by the library for every object and lock.
    void Lock();
    void Unlock();
    void UnlockMany(int count);
    // Used by the library once the activation time-out after a registration has passed.
    void ActivationTimeOver();

  private:
    void Quit();

    bool quitOnLastRelease_ = false;
    bool used_ = false;
    int count_ = 0;
};

// The process's server module; used on the message-loop thread only.
TComServer& ComServer();

}  // namespace win
