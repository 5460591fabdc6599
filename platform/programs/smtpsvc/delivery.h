// What the SMTP service stand-in does with one queued message: it calls the arrival sinks
// bound in SEO, in priority order, with the message file and its envelope, applies what
// each sink committed to the envelope, and then delivers: message status 2 ends the
// message; otherwise each recipient of the recipient list in a local domain gets a copy in
// the drop folder, and the recipients of other domains stay in the queue folder.
//
// Called on the service's delivery thread. A sink that cannot be started, dies or hangs
// in its call (an RPC failure) leaves the message queued to be tried again later; the
// sinks that completed before it are recorded in the queue entry and not called again.
// A sink that fails in another way is passed over, as a broken sink must not stop the
// mail. The envelope a sink hands back is not trusted: only the text of its recipient
// list and its message status are used, and addresses are checked before they reach a
// file.
//
// Drop copies are "<id>-<n>.eml" with an "x-sender:" and an "x-receiver:" line before the
// message, so a delivery repeated after a crash replaces its copies instead of adding new
// ones.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cdo.h"
#include "server_config.h"
#include "smtp_queue.h"

namespace smtpsvc {

struct SinkBinding {
    std::string id;
    std::string sinkClass;  // a ProgID
};

// Calls one sink's OnArrival with the message file (a Windows path) and the envelope.
// Returns the call's HRESULT; the envelope receives the fields the sink committed, and
// eventStatus the event status the sink set (left alone when it set none).
using SinkCaller =
    std::function<win::HRESULT(const SinkBinding& binding, const std::string& messageFile,
                               win::Envelope& envelope, std::int32_t& eventStatus)>;

// Failures after which the sink is tried again later: the server could not be started,
// or it went away or stopped answering during the call.
bool IsTransientFailure(win::HRESULT hr);

enum class DeliveryResult {
    Finished,  // delivered, ended by message status 2, or kept for remote recipients
    Retry,     // still queued; try again later
};

DeliveryResult DeliverMessage(const MessageQueue& queue, const std::string& id,
                              const std::vector<SinkBinding>& bindings, const SinkCaller& call);

// The entries of a recipient list, "SMTP:" + address + ";" each (the last ";" may be
// missing); text outside them is ignored.
std::vector<std::string> RecipientsOf(std::string_view list);
std::string RecipientListOf(const std::vector<std::string>& recipients);

}  // namespace smtpsvc
