// The message log line: one DailyLogFile entry per arriving message, its fields chosen by
// the "MessageEventLogOption" mask (1 date and time, 2 the " sender: " label, 4 the client
// address, 8 or 2 the sender, 16 or 4 the recipient list).
//
// Called by the arrival sink before it handles any recipient. The envelope values are the
// SMTP service's and are written as they are; a missing or unreadable field leaves its part
// out. Nothing here fails outward beyond a registry value of the wrong type.
#pragma once

#include <memory>

#include "platform/cdo.h"

namespace vrel {

void LogMessageEvent(std::shared_ptr<win::IMessage> message);

}  // namespace vrel
