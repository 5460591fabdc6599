#include "agent/message_agent.h"

#include <exception>
#include <optional>
#include <string>

#include "agent/daily_log.h"
#include "agent/envelope.h"
#include "agent/message_file.h"
#include "agent/message_log.h"
#include "agent/recipients.h"
#include "agent/undeliverable.h"
#include "common/alias_table.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/eventlog.h"

namespace vrel {
namespace {

// The SMTP service keeps a recipient whose copy could not be stored; the administrator learns
// of it from the event log and the daily log.
void ReportCopyFailure(const std::string& recipient) {
    const std::string text =
        "The message for " + recipient +
        " could not be stored in its mailbox folder; the SMTP service keeps it.";
    win::ReportEvent(kMessageAgentProgId, win::EVENTLOG_ERROR_TYPE, 0, 0, text);
    win::SYSTEMTIME now;
    win::GetLocalTime(now);
    WriteLog(win::DateTimeText(now) + "  error: " + text + "\r\n");
}

// Delivers one recipient of a local domain, or hands it to the undeliverable handling; false
// when its mailbox copy could not be stored.
bool TakeLocally(const std::string& recipient, const std::shared_ptr<win::IMessage>& message) {
    const std::string address =
        ResolveAlias(GetUserFromAddress(recipient)) + "@" + GetDomainFromAddress(recipient);
    if (!IsEmailUser(GetUserFromAddress(address))) {
        HandleUndeliverable(address, message);
        return true;
    }
    IncrementMessagesDelivered();
    if (CopyToFolder(address, message)) return true;
    ReportCopyFailure(recipient);
    return false;
}

// Local recipients are taken here; the others, and those whose copy failed, come back in the
// returned list as they came.
std::string SortList(std::string list, const std::shared_ptr<win::IMessage>& message) {
    std::string handedBack;
    while (list.find("SMTP:") != std::string::npos) {
        IncrementMessagesReceived();
        const std::string address = NextRecipient(list);
        if (!IsLocalDomain(GetDomainFromAddress(address)) || !TakeLocally(address, message)) {
            handedBack += "SMTP:" + address + ";";
        }
    }
    return handedBack;
}

}  // namespace

win::HRESULT TMessageAgentImpl::OnArrival(std::shared_ptr<win::IMessage> Msg,
                                          std::int32_t* EventStatus) {
    try {
        IncrementSMTPConnections();
        std::shared_ptr<win::Fields> fields;
        if (win::FAILED(Msg->get_EnvelopeFields(fields)) || !fields) return win::S_OK;
        std::string handedBack;
        if (const auto list = ReadEnvelopeText(*fields, "recipientlist")) {
            LogMessageEvent(Msg);
            handedBack = SortList(*list, Msg);
        }
        if (handedBack.empty()) {
            // Nothing is left for the SMTP service to deliver or relay.
            WriteEnvelopeField(*fields, "messagestatus", win::cdoStatAbortDelivery);
            *EventStatus = win::cdoSkipRemainingSinks;
        } else {
            WriteEnvelopeField(*fields, "recipientlist", handedBack);
            WriteEnvelopeField(*fields, "messagestatus", win::cdoStatSuccess);
            *EventStatus = win::cdoRunNextSink;
        }
        return win::S_OK;
    } catch (const std::exception& error) {
        win::SetErrorInfo(win::ErrorInfo{std::string(kMessageAgentProgId), error.what(),
                                         win::IID_ISMTPOnArrival});
        return win::DISP_E_EXCEPTION;
    } catch (...) {
        win::SetErrorInfo(win::ErrorInfo{std::string(kMessageAgentProgId), std::string(),
                                         win::IID_ISMTPOnArrival});
        return win::DISP_E_EXCEPTION;
    }
}

void IncrementSMTPConnections() {
    if (GetCountConnections()) IncrementCounter(settings_value::SMTPConnections);
}

void IncrementMessagesReceived() {
    if (GetCountMessages()) IncrementCounter(settings_value::MessagesReceived);
}

void IncrementMessagesDelivered() {
    if (GetCountMessages()) IncrementCounter(settings_value::MessagesDelivered);
}

}  // namespace vrel
