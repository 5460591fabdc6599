// COM initialised on the calling thread for the length of one shared routine, and
// uninitialised on every way out, so the agent's and the POP3 service's threads can call
// the account and alias routines with no COM set-up of their own. The result of the
// initialisation is not looked at: a thread that has COM already only counts up and down.
#pragma once

#include "platform/com.h"

namespace vrel {

class ComScope {
  public:
    ComScope() { win::CoInitialize(); }
    ~ComScope() { win::CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

}  // namespace vrel
