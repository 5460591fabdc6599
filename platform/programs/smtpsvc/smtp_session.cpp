#include "smtp_session.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "platform/clock.h"
#include "platform/text.h"
#include "smtp_address.h"

namespace smtpsvc {
namespace {

// A data line is stored in pieces of this size when no line end comes; only its start
// matters for the end of the data and for dot-unstuffing.
constexpr std::size_t kDataPiece = 1000;

constexpr std::string_view kUnimplemented[] = {"EXPN",     "TURN", "ETRN", "BDAT", "AUTH",
                                               "STARTTLS", "SEND", "SOML", "SAML"};

std::string Reply(std::string_view text) {
    return std::string(text) + "\r\n";
}

bool HasControlCharacter(std::string_view text) {
    for (const unsigned char c : text) {
        if ((c < 32 && c != '\t') || c == 127) return true;
    }
    return false;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && win::SameText(text.substr(0, prefix.size()), prefix);
}

// The end of a path that begins with "<": the index of its ">", which a quoted local part
// may hold; npos when it does not close.
std::size_t PathEnd(std::string_view text) {
    bool quoted = false;
    for (std::size_t at = 1; at < text.size(); ++at) {
        if (quoted && text[at] == '\\') {
            ++at;
        } else if (text[at] == '"') {
            quoted = !quoted;
        } else if (!quoted && text[at] == '>') {
            return at;
        }
    }
    return std::string_view::npos;
}

// "FROM:<path> params" or "TO:<path> params": the content of the path and the parameters
// after it. The brackets may be left out; then the path ends at the first blank. False
// when the form is wrong.
bool SplitPath(std::string_view argument, std::string_view keyword, std::string_view& path,
               std::string_view& parameters) {
    if (!StartsWithText(argument, keyword)) return false;
    std::string_view rest = TrimBlanks(argument.substr(keyword.size()));
    if (!rest.empty() && rest.front() == '<') {
        const std::size_t close = PathEnd(rest);
        if (close == std::string_view::npos) return false;
        path = rest.substr(1, close - 1);
        parameters = TrimBlanks(rest.substr(close + 1));
    } else {
        const std::size_t blank = rest.find(' ');
        path = rest.substr(0, blank);
        parameters = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        if (path.empty()) return false;
    }
    return path.size() <= kMaxPath;
}

// Appends text with each bare CR or LF as a CR LF line end: the stored message has no
// other.
void AppendWithCrLfLineEnds(std::string& to, std::string_view text) {
    for (std::size_t end = text.find_first_of("\r\n"); end != std::string_view::npos;
         end = text.find_first_of("\r\n")) {
        to.append(text.substr(0, end)).append("\r\n");
        text.remove_prefix(end + 1);
    }
    to.append(text);
}

}  // namespace

std::string_view DomainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

SmtpSession::SmtpSession(SessionHost& host, std::string serverName, std::string clientIp,
                         bool clientOnLoopback, SessionLimits limits)
    : host_(host),
      serverName_(std::move(serverName)),
      clientIp_(std::move(clientIp)),
      clientOnLoopback_(clientOnLoopback),
      limits_(limits) {
    message_.clientIp = clientIp_;
}

std::string SmtpSession::Greeting() const {
    return Reply("220 " + serverName_ + " Vrel SMTP service ready");
}

std::string SmtpSession::TimedOut() {
    closed_ = true;
    return Reply("421 4.4.2 " + serverName_ + " Timeout, closing transmission channel");
}

std::string SmtpSession::Receive(std::string_view bytes) {
    std::string replies;
    while (!bytes.empty() && !closed_) {
        const bool complete = phase_ == Phase::Command ? TakeCommand(bytes) : TakeData(bytes);
        if (!complete) continue;
        if (overlong_) {
            overlong_ = false;
            replies += Error(Reply("500 5.5.2 Line too long"));
            continue;
        }
        // Taken in place, so the buffer serves every line of the session.
        replies += Line(pending_);
        pending_.clear();
    }
    return replies;
}

// Takes command bytes up to and with the next LF into pending_, without its line end;
// true when the line is complete.
bool SmtpSession::TakeCommand(std::string_view& bytes) {
    const std::size_t lf = bytes.find('\n');
    const bool complete = lf != std::string_view::npos;
    const std::string_view piece = complete ? bytes.substr(0, lf) : bytes;
    bytes.remove_prefix(complete ? lf + 1 : bytes.size());
    if (!overlong_ && pending_.size() + piece.size() < kMaxCommandLine) {
        pending_.append(piece);
    } else {
        overlong_ = true;
        pending_.clear();
    }
    if (complete && !pending_.empty() && pending_.back() == '\r') pending_.pop_back();
    return complete;
}

// Takes message bytes up to and with the next CR LF into pending_, without the CR LF; true
// when the line is complete. Only CR LF ends a line here: a bare LF or CR is text, so that
// no other line end can make a "." line that ends the message.
bool SmtpSession::TakeData(std::string_view& bytes) {
    if (!pending_.empty() && pending_.back() == '\r' && bytes.front() == '\n') {
        pending_.pop_back();
        bytes.remove_prefix(1);
        return true;
    }
    const std::size_t end = bytes.find("\r\n");
    if (end != std::string_view::npos) {
        pending_.append(bytes.substr(0, end));
        bytes.remove_prefix(end + 2);
        return true;
    }
    pending_.append(bytes);
    bytes = std::string_view();
    // Keep a final CR back: it may be the first half of the line end.
    if (pending_.size() > kDataPiece) {
        const std::size_t keep = pending_.back() == '\r' ? 1 : 0;
        DataLine(std::string_view(pending_).substr(0, pending_.size() - keep), false);
        pending_.erase(0, pending_.size() - keep);
    }
    return false;
}

std::string SmtpSession::Line(std::string_view line) {
    if (phase_ == Phase::Command) return Command(line);
    if (!continued_ && line == ".") return EndOfData();
    DataLine(line, true);
    return std::string();
}

void SmtpSession::DataLine(std::string_view line, bool complete) {
    if (!continued_ && !line.empty() && line.front() == '.') line.remove_prefix(1);
    continued_ = !complete;
    if (tooBig_) return;
    // Each bare CR or LF grows by one byte to a CR LF.
    const auto bare =
        std::count_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; });
    const std::size_t added = line.size() + static_cast<std::size_t>(bare) + (complete ? 2 : 0);
    if (textSize_ + added > limits_.maxMessageSize) {
        tooBig_ = true;
        DropText();
        return;
    }
    textSize_ += added;
    if (!text_) return;
    AppendWithCrLfLineEnds(gathered_, line);
    if (complete) gathered_.append("\r\n");
    if (gathered_.size() >= kTextPiece) PassText();
}

// A text that cannot be stored is let go; the rest of the message is read and dropped.
void SmtpSession::PassText() {
    if (text_ && !text_->Append(gathered_)) text_.reset();
    gathered_.clear();
}

void SmtpSession::DropText() {
    text_.reset();
    std::string().swap(gathered_);
}

std::string SmtpSession::EndOfData() {
    phase_ = Phase::Command;
    std::string reply;
    if (tooBig_) {
        reply = Reply("552 5.3.4 Message size exceeds fixed maximum message size");
    } else {
        PassText();
        reply = text_ && text_->Commit(message_)
                    ? Reply("250 2.6.0 Queued mail for delivery")
                    : Reply("451 4.3.0 Error in processing, message not queued");
    }
    ResetTransaction();
    return reply;
}

std::string SmtpSession::Command(std::string_view line) {
    if (HasControlCharacter(line)) {
        return Error(Reply("500 5.5.2 Syntax error, command unrecognized"));
    }
    const std::size_t blank = line.find(' ');
    const std::string verb = win::UpperCase(line.substr(0, blank));
    const std::string_view argument =
        blank == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(blank + 1));
    if (verb == "HELO" || verb == "EHLO") return Hello(argument, verb == "EHLO");
    if (verb == "MAIL") return Mail(argument);
    if (verb == "RCPT") return Rcpt(argument);
    if (verb == "DATA") return Data();
    if (verb == "RSET") {
        ResetTransaction();
        return Reply("250 2.0.0 Resetting");
    }
    if (verb == "NOOP") return Reply("250 2.0.0 OK");
    if (verb == "QUIT") {
        closed_ = true;
        return Reply("221 2.0.0 " + serverName_ + " Service closing transmission channel");
    }
    if (verb == "VRFY") return Reply("252 2.1.5 Cannot verify user");
    if (verb == "HELP") {
        return Reply("214 2.0.0 Commands: HELO EHLO MAIL RCPT DATA RSET NOOP QUIT VRFY HELP");
    }
    for (const std::string_view known : kUnimplemented) {
        if (verb == known) return Error(Reply("502 5.5.1 Command not implemented"));
    }
    return Error(Reply("500 5.5.1 Unrecognized command"));
}

std::string SmtpSession::Hello(std::string_view argument, bool extended) {
    if (argument.empty()) {
        return Error(Reply(extended ? "501 5.5.4 Syntax: EHLO hostname"
                                    : "501 5.5.4 Syntax: HELO hostname"));
    }
    ResetTransaction();
    helloName_.assign(argument);
    const std::string hello = serverName_ + " Hello [" + clientIp_ + "]";
    if (!extended) return Reply("250 " + hello);
    return Reply("250-" + hello) + Reply("250-SIZE " + std::to_string(limits_.maxMessageSize)) +
           Reply("250-8BITMIME") + Reply("250-PIPELINING") + Reply("250-ENHANCEDSTATUSCODES") +
           Reply("250 HELP");
}

std::string SmtpSession::Mail(std::string_view argument) {
    if (helloName_.empty()) return Error(Reply("503 5.5.1 Send hello first"));
    if (haveSender_) return Error(Reply("503 5.5.1 Sender already specified"));
    std::string_view path;
    std::string_view parameters;
    if (!SplitPath(argument, "FROM:", path, parameters)) {
        return Error(Reply("501 5.5.4 Syntax: MAIL FROM:<address>"));
    }
    const std::optional<std::string_view> sender =
        path.empty() ? std::optional(path) : PathMailbox(path);
    if (!sender) return Error(Reply("501 5.1.7 Invalid address"));
    while (!parameters.empty()) {
        const std::size_t blank = parameters.find(' ');
        const std::string_view parameter = parameters.substr(0, blank);
        parameters = blank == std::string_view::npos ? std::string_view()
                                                     : TrimBlanks(parameters.substr(blank + 1));
        if (StartsWithText(parameter, "SIZE=")) {
            const std::string_view digits = parameter.substr(5);
            std::size_t size = 0;
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), size);
            if (digits.empty() || end != digits.data() + digits.size()) {
                return Error(Reply("501 5.5.4 Syntax error in parameters"));
            }
            if (error == std::errc::result_out_of_range || size > limits_.maxMessageSize) {
                return Reply("552 5.3.4 Message size exceeds fixed maximum message size");
            }
        } else if (!win::SameText(parameter, "BODY=7BIT") &&
                   !win::SameText(parameter, "BODY=8BITMIME")) {
            return Error(Reply("555 5.5.4 Unsupported parameter"));
        }
    }
    haveSender_ = true;
    message_.sender.assign(*sender);
    return Reply("250 2.1.0 <" + message_.sender + ">... Sender OK");
}

std::string SmtpSession::Rcpt(std::string_view argument) {
    if (!haveSender_) return Error(Reply("503 5.5.1 Need MAIL command"));
    std::string_view path;
    std::string_view parameters;
    if (!SplitPath(argument, "TO:", path, parameters) || path.empty() || !parameters.empty()) {
        return Error(Reply("501 5.5.4 Syntax: RCPT TO:<address>"));
    }
    const std::optional<std::string_view> mailbox = PathMailbox(path);
    if (!mailbox) return Error(Reply("501 5.1.3 Invalid address"));
    const std::string recipient(*mailbox);
    std::string key = win::UpperCase(recipient);
    // A recipient named twice gets one copy.
    if (recipientKeys_.contains(key)) return Reply("250 2.1.5 <" + recipient + ">... Recipient OK");
    if (message_.recipients.size() >= limits_.maxRecipients) {
        return Reply("452 4.5.3 Too many recipients");
    }
    if (!clientOnLoopback_ && !host_.IsLocalDomain(DomainOf(recipient))) {
        return Error(Reply("550 5.7.1 Unable to relay"));
    }
    recipientKeys_.insert(std::move(key));
    message_.recipients.push_back(recipient);
    return Reply("250 2.1.5 <" + recipient + ">... Recipient OK");
}

std::string SmtpSession::Data() {
    if (!haveSender_) return Error(Reply("503 5.5.1 Need MAIL command"));
    if (message_.recipients.empty()) return Error(Reply("503 5.5.1 Need RCPT command"));
    text_ = host_.BeginMessage();
    if (!text_) return Reply("451 4.3.0 Error in processing, message not queued");
    phase_ = Phase::Data;
    continued_ = false;
    tooBig_ = false;
    textSize_ = 0;
    gathered_ = ReceivedLine();
    return Reply("354 Start mail input; end with <CRLF>.<CRLF>");
}

std::string SmtpSession::Error(std::string reply) {
    if (++errors_ < limits_.maxErrors) return reply;
    closed_ = true;
    return reply +
           Reply("421 4.7.0 " + serverName_ + " Too many errors, closing transmission channel");
}

void SmtpSession::ResetTransaction() {
    haveSender_ = false;
    message_.sender.clear();
    message_.recipients.clear();
    recipientKeys_.clear();
    DropText();
    textSize_ = 0;
    tooBig_ = false;
}

std::string SmtpSession::ReceivedLine() const {
    return "Received: from " + helloName_ + " ([" + clientIp_ + "]) by " + serverName_ +
           " with ESMTP;\r\n\t" + win::MailDateText() + "\r\n";
}

}  // namespace smtpsvc
