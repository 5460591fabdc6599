// Fuzz target: arbitrary client bytes through the SMTP service stand-in's ESMTP session.
//
// The first byte chooses the size of the pieces (1 to 256 bytes) in which the rest
// arrives, the second the session's limits and whether the client is on the loopback
// network. After every piece the target checks what the service relies on: each reply is
// a line of a three-digit code ending in CR LF, a queued message stays within the size
// limit and the recipient limit and holds only complete CR LF lines (no bare CR or LF),
// and a closed session says nothing more.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "smtp_session.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Checks a message's text as it is committed; now and then the queue fails.
class CheckingText : public smtpsvc::MessageText {
  public:
    CheckingText(const smtpsvc::SessionLimits& limits, unsigned& queued)
        : limits_(limits), queued_(queued) {}
    bool Append(std::string_view text) override {
        content_.append(text);
        return true;
    }
    bool Commit(const smtpsvc::ReceivedMessage& message) override {
        Check(!message.recipients.empty());
        Check(message.recipients.size() <= limits_.maxRecipients);
        const std::size_t received = content_.find("\r\n\t");
        Check(received != std::string::npos);
        const std::size_t text = content_.find("\r\n", received + 3) + 2;
        Check(content_.size() - text <= limits_.maxMessageSize);
        Check(content_.ends_with("\r\n"));
        // No line ends in a bare CR or LF.
        for (std::size_t at = content_.find_first_of("\r\n"); at != std::string::npos;
             at = content_.find_first_of("\r\n", at + 2)) {
            Check(content_.compare(at, 2, "\r\n") == 0);
        }
        return (++queued_ % 3) != 0;
    }

  private:
    const smtpsvc::SessionLimits& limits_;
    unsigned& queued_;
    std::string content_;
};

class CheckingHost : public smtpsvc::SessionHost {
  public:
    explicit CheckingHost(const smtpsvc::SessionLimits& limits) : limits_(limits) {}
    bool IsLocalDomain(std::string_view domain) override { return domain == "example.test"; }
    std::unique_ptr<smtpsvc::MessageText> BeginMessage() override {
        return std::make_unique<CheckingText>(limits_, queued_);
    }

  private:
    smtpsvc::SessionLimits limits_;
    unsigned queued_ = 0;
};

void CheckReplies(std::string_view replies) {
    while (!replies.empty()) {
        const std::size_t end = replies.find("\r\n");
        Check(end != std::string_view::npos && end >= 3);
        for (std::size_t i = 0; i < 3; ++i) Check(replies[i] >= '0' && replies[i] <= '9');
        Check(end == 3 || replies[3] == ' ' || replies[3] == '-');
        replies.remove_prefix(end + 2);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[0];
    smtpsvc::SessionLimits limits;
    limits.maxMessageSize = 16u << (data[1] & 7);
    limits.maxRecipients = 1 + (data[1] >> 3 & 3);
    limits.maxErrors = 3 + (data[1] >> 5 & 3);
    const bool loopback = data[1] & 0x80;
    data += 2;
    size -= 2;

    CheckingHost host(limits);
    smtpsvc::SmtpSession session(host, "mail.example.test", "192.0.2.1", loopback, limits);
    CheckReplies(session.Greeting());
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t offset = 0; offset < input.size(); offset += piece) {
        const bool closedBefore = session.Closed();
        const std::string replies = session.Receive(input.substr(offset, piece));
        if (closedBefore) Check(replies.empty());
        CheckReplies(replies);
    }
    if (!session.Closed()) CheckReplies(session.TimedOut());
    return 0;
}
