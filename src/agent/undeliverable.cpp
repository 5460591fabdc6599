#include "agent/undeliverable.h"

#include "agent/message_file.h"
#include "agent/recipients.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "common/smtp_config.h"

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

// A local sender who does not exist could never read the notice.
bool IsUnknownLocalSender(const std::string& to) {
    return IsLocalDomain(GetDomainFromAddress(to)) && !IsEmailUser(GetUserFromAddress(to));
}

void ReturnToSender(win::IMessage& message) {
    std::shared_ptr<win::IMessage> notice;
    if (win::FAILED(message.Reply(notice)) || !notice) return;
    if (!MarkAsFailure(*notice)) return;
    SetFailureBody(message, *notice);
    if (IsUnknownLocalSender(TextOr(&win::IMessage::get_To, *notice))) return;
    notice->Send();
}

void ForwardToPostMaster(win::IMessage& message) {
    std::shared_ptr<win::IMessage> notice;
    if (win::FAILED(message.Forward(notice)) || !notice) return;
    if (win::FAILED(notice->put_To(GetPostMaster()))) return;
    if (!MarkAsFailure(*notice)) return;
    SetFailureBody(message, *notice);
    notice->Send();
}

}  // namespace

void HandleUndeliverable(const std::string& /*address*/, std::shared_ptr<win::IMessage> message) {
    const std::string folder = GetBadMailDirectory();
    switch (GetUndeliverableMailStatus()) {
        case kBadMailFolder:
            KeepBadMailCopy(folder, *message);
            break;
        case kReturnToSender:
            ReturnToSender(*message);
            break;
        case kForwardToPostMaster:
            ForwardToPostMaster(*message);
            break;
        default:
            break;
    }
}

}  // namespace vrel
