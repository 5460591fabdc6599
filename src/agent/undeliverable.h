// Undeliverable mail: what becomes of a message for a recipient in a local mail domain who
// is no mail user, by the "UndeliverableMailStatus" setting: a copy in the SMTP service's
// bad-mail folder (0), a failure notice to the sender (1), the message forwarded with a
// failure notice to the postmaster (2), or nothing (any other value).
//
// Called by the arrival sink once per such recipient, on the agent's one thread. Every
// failure is silent and leaves the arriving message and its envelope as they were. The
// notice's texts are the system's own; the arriving message's To header and body are
// copied into it as the CDO message object renders them.
#pragma once

#include <memory>
#include <string>

#include "platform/cdo.h"

namespace vrel {

// The address is the recipient's (alias-resolved); no mode needs more of it than that it
// failed: the notice lists the arriving message's To header.
void HandleUndeliverable(const std::string& address, std::shared_ptr<win::IMessage> message);

}  // namespace vrel
