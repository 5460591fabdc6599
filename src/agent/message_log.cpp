#include "agent/message_log.h"

#include "agent/daily_log.h"
#include "agent/envelope.h"
#include "common/settings_key.h"
#include "platform/clock.h"

namespace vrel {
namespace {

constexpr std::int32_t kDateTime = 1;
constexpr std::int32_t kEvent = 2;
constexpr std::int32_t kIpAddress = 4;
constexpr std::int32_t kFromAddress = 8;
constexpr std::int32_t kRecipientList = 16;

void AppendEnvelopeParts(const win::Fields& fields, std::int32_t mask, std::string& line) {
    const auto client = ReadEnvelopeText(fields, "clientipaddress");
    if (client && (mask & kIpAddress)) line += client->empty() ? "LocalPickup] " : *client + "] ";
    const auto sender = ReadEnvelopeText(fields, "senderemailaddress");
    if (sender && (mask & (kEvent | kFromAddress))) line += *sender;
    const auto recipients = ReadEnvelopeText(fields, "recipientlist");
    if (recipients && (mask & (kIpAddress | kRecipientList))) {
        line += " recipients: " + *recipients + "\r\n";
    }
}

}  // namespace

void LogMessageEvent(std::shared_ptr<win::IMessage> message) {
    if (!GetLoggingEnabled()) return;
    std::string line;
    const std::int32_t mask = GetMessageEventLogOption();
    if (mask & kDateTime) {
        win::SYSTEMTIME now;
        win::GetLocalTime(now);
        line += win::DateTimeText(now);
    }
    if (mask & kEvent) line += " sender: ";
    std::shared_ptr<win::Fields> fields;
    if (win::SUCCEEDED(message->get_EnvelopeFields(fields)) && fields) {
        AppendEnvelopeParts(*fields, mask, line);
    }
    WriteLog(line);
}

}  // namespace vrel
