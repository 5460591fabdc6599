#include "agent/message_agent.h"

#include <exception>
#include <optional>
#include <string>

#include "agent/envelope.h"
#include "agent/message_file.h"
#include "agent/message_log.h"
#include "agent/recipients.h"
#include "agent/undeliverable.h"
#include "common/alias_table.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "platform/com.h"

namespace vrel {
namespace {

// Delivers one recipient of a local domain, or hands it to the undeliverable handling.
void DeliverLocally(const std::string& recipient, const std::shared_ptr<win::IMessage>& message) {
    const std::string address =
        ResolveAlias(GetUserFromAddress(recipient)) + "@" + GetDomainFromAddress(recipient);
    if (IsEmailUser(GetUserFromAddress(address))) {
        IncrementMessagesDelivered();
        CopyToFolder(address, message);
    } else {
        HandleUndeliverable(address, message);
    }
}

// Local recipients are delivered here; the others come back in the returned list.
std::string SortList(std::string list, const std::shared_ptr<win::IMessage>& message) {
    std::string handedBack;
    while (list.find("SMTP:") != std::string::npos) {
        IncrementMessagesReceived();
        const std::string address = NextRecipient(list);
        if (IsLocalDomain(GetDomainFromAddress(address))) {
            DeliverLocally(address, message);
        } else {
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
