// Undeliverable mail: what becomes of a message for a recipient in a local mail domain who
// is no mail user, by the "UndeliverableMailStatus" setting: a copy in the SMTP service's
// bad-mail folder (0), a failure notice to the sender (1), the message forwarded with a
// failure notice to the postmaster (2), or nothing (any other value).
//
// A notice goes to the envelope's sender, never to an address of the message's header,
// which anybody can write, and it travels with the null reverse-path. A message that came
// with the null reverse-path (a notice itself, or one whose envelope names no sender) never
// causes a notice or a forward: in modes 1 and 2 it is kept in the bad-mail folder, so two
// mail systems cannot send notices back and forth. A notice for a local name that is no
// mail user (after the alias table) is not sent, since nobody could read it.
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
