// The SMTP service's registration in SEO, made in the test's own process the way the SMTP
// component makes it: the event manager class in HKCR, the SMTP source type with its
// arrival event type, and the source of virtual server 1.
#pragma once

#include <memory>

#include "platform/seo.h"

namespace vrel::test {

void RegisterSmtpWithSeo();

// The arrival bindings of virtual server 1 through a new event manager (COM initialised by
// the caller); null when the chain cannot be reached.
std::shared_ptr<win::IEventBindings> ArrivalBindings();

}  // namespace vrel::test
