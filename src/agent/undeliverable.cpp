#include "agent/undeliverable.h"

#include <optional>

#include "agent/envelope.h"
#include "agent/message_file.h"
#include "agent/recipients.h"
#include "common/alias_table.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "common/smtp_config.h"
#include "platform/text.h"

namespace vrel {
namespace {

enum UndeliverableMode { kBadMailFolder = 0, kReturnToSender = 1, kForwardToPostMaster = 2 };

void KeepBadMailCopy(const std::string& folder, win::IMessage& message) {
    std::shared_ptr<win::Stream> stream;
    if (win::FAILED(message.GetStream(stream)) || !stream) return;
    if (folder.empty()) return;
    StoreMessageFile(folder, BadMailFileStem, *stream);
}

std::string TextOr(win::HRESULT (win::IMessage::*read)(std::string&), win::IMessage& message) {
    std::string text;
    if (win::FAILED((message.*read)(text))) text.clear();
    return text;
}

// From and Subject of a notice; false when either cannot be set.
bool MarkAsFailure(win::IMessage& notice) {
    return win::SUCCEEDED(notice.put_From("PostMaster@" + GetSmtpDefaultDomain())) &&
           win::SUCCEEDED(notice.put_Subject("Delivery Status Notification (Failure)"));
}

// The failure text in front of the body that Reply or Forward gave the notice. The result
// of the write is of no consequence: the notice goes out either way.
void SetFailureBody(win::IMessage& message, win::IMessage& notice) {
    const std::string failed = TextOr(&win::IMessage::get_To, message);
    const std::string body = TextOr(&win::IMessage::get_HTMLBody, notice);
    notice.put_HTMLBody(
        "This is an automatically generated Delivery Status Notification.<br><br>"
        "Delivery to the following recipients failed.<br><br>" +
        failed + "<br><br>" + body);
}

// The envelope's reverse-path; nothing for the null one ("<>", or a sender that is empty,
// missing or unreadable).
std::optional<std::string> EnvelopeSender(win::IMessage& message) {
    std::shared_ptr<win::Fields> fields;
    if (win::FAILED(message.get_EnvelopeFields(fields)) || !fields) return std::nullopt;
    const std::optional<std::string> sender = ReadEnvelopeText(*fields, "senderemailaddress");
    if (!sender) return std::nullopt;
    std::string address = win::Trim(*sender);
    if (address.empty() || address == "<>") return std::nullopt;
    return address;
}

// A local name that no mail user answers to could never read a notice.
bool IsUnknownLocalName(const std::string& address) {
    return IsLocalDomain(GetDomainFromAddress(address)) &&
           !IsEmailUser(ResolveAlias(GetUserFromAddress(address)));
}

// Addresses the notice, marks it and sends it with the null reverse-path.
void SendNotice(win::IMessage& message, win::IMessage& notice, const std::string& to) {
    if (IsUnknownLocalName(to)) return;
    if (win::FAILED(notice.put_To(to))) return;
    if (!MarkAsFailure(notice)) return;
    SetFailureBody(message, notice);
    if (win::FAILED(notice.put_EnvelopeSender(""))) return;
    notice.Send();
}

void ReturnToSender(win::IMessage& message, const std::string& sender) {
    std::shared_ptr<win::IMessage> notice;
    if (win::FAILED(message.Reply(notice)) || !notice) return;
    SendNotice(message, *notice, sender);
}

void ForwardToPostMaster(win::IMessage& message) {
    std::shared_ptr<win::IMessage> notice;
    if (win::FAILED(message.Forward(notice)) || !notice) return;
    SendNotice(message, *notice, GetPostMaster());
}

}  // namespace

void HandleUndeliverable(const std::string& /*address*/, std::shared_ptr<win::IMessage> message) {
    const std::string folder = GetBadMailDirectory();
    switch (GetUndeliverableMailStatus()) {
        case kBadMailFolder:
            KeepBadMailCopy(folder, *message);
            break;
        case kReturnToSender:
            if (const auto sender = EnvelopeSender(*message)) {
                ReturnToSender(*message, *sender);
            } else {
                KeepBadMailCopy(folder, *message);
            }
            break;
        case kForwardToPostMaster:
            if (EnvelopeSender(*message)) {
                ForwardToPostMaster(*message);
            } else {
                KeepBadMailCopy(folder, *message);
            }
            break;
        default:
            break;
    }
}

}  // namespace vrel
