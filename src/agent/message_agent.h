// TMessageAgentImpl: the arrival sink of the SMTP service. For every arriving message it
// takes the envelope's recipient list apart: a mail user of a local domain (after the alias
// table) gets a copy in the mailbox folder, a local recipient who is no mail user goes to
// the undeliverable handling, and every other recipient is handed back to the service in
// the recipient list. It bumps the usage counters and writes the message log line.
//
// Called once per message on the agent's one apartment thread, through the COM server or,
// in tests, directly. The object keeps nothing between calls; every setting, alias, mail
// user and local domain is read afresh per recipient. The envelope is the SMTP service's
// and holds network text (addresses), which is only split and compared here. An exception
// of the class library ends the call as COM error information and DISP_E_EXCEPTION; what
// was already stored or counted stays.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/cdo.h"
#include "platform/guid.h"

namespace vrel {

inline constexpr std::string_view kMessageAgentProgId = "vrelPOP3Service.MessageAgent";

class TMessageAgentImpl {
  public:
    // ISMTPOnArrival::OnArrival: S_OK, or DISP_E_EXCEPTION with the thread's error
    // information set.
    win::HRESULT OnArrival(std::shared_ptr<win::IMessage> Msg, std::int32_t* EventStatus);
};

// Each adds 1 to its usage counter when its switch (CountConnections, CountMessages) is on.
void IncrementSMTPConnections();
void IncrementMessagesReceived();
void IncrementMessagesDelivered();

}  // namespace vrel
