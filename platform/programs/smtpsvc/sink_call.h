// The SMTP service stand-in's calls of the arrival sinks through COM: the binding's ProgID
// to its CLSID, an object of the local server (started when it is not running) and the
// OnArrival call by value. The object of each binding is kept for the next message while
// mail flows, so a busy queue does not start a server per message; Release lets them all go
// once the queue is idle, so a server started with "/Automation" may end.
//
// Used on the delivery thread only, which initialised COM.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "delivery.h"
#include "platform/com.h"

namespace smtpsvc {

class ArrivalSinks {
  public:
    win::HRESULT Call(const SinkBinding& binding, const std::string& messageFile,
                      win::Envelope& envelope, std::int32_t& eventStatus);
    void Release();

  private:
    struct Held {
        std::string sinkClass;
        std::unique_ptr<win::ComProxy> object;
    };
    win::HRESULT ObjectOf(const SinkBinding& binding, win::ComProxy*& object);

    std::map<std::string, Held> held_;  // by binding id
};

}  // namespace smtpsvc
