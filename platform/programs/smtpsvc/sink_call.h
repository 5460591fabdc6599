// The SMTP service stand-in's call of one arrival sink through COM: the binding's ProgID
// to its CLSID, a new object of the local server (started when it is not running), the
// OnArrival call by value, and the object released when the call returns, so a server
// started with "/Automation" may end between messages.
#pragma once

#include "delivery.h"

namespace smtpsvc {

win::HRESULT CallArrivalSink(const SinkBinding& binding, const std::string& messageFile,
                             win::Envelope& envelope, std::int32_t& eventStatus);

}  // namespace smtpsvc
