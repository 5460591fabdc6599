// The message agent's COM server: the class object of TMessageAgentImpl, whose objects the
// SMTP service creates and calls through COM.
//
// Each object answers IUnknown, ISMTPOnArrival and IDispatch and serves "OnArrival" by value
// (cdo_wire.h); requests are decoded by the platform's bounds-checked reader before the sink
// sees them. Calls run on the thread that runs the message loop, one at a time.
#pragma once

#include "platform/com.h"

namespace vrel {

// CoRegisterClassObject for CLSID_MessageAgent: local server, multiple use.
win::HRESULT RegisterMessageAgentClass(win::DWORD& registration);

// Whether the program may end now: true without live objects or client locks, otherwise
// the user's answer to the "COM Server Warning" question (No keeps the program running).
bool ComServerCanClose();

}  // namespace vrel
