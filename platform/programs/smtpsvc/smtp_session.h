// One ESMTP conversation of the SMTP service stand-in: EHLO/HELO, MAIL, RCPT, DATA, RSET,
// NOOP, VRFY, HELP and QUIT with the reply codes and enhanced status codes of RFC 5321 and
// RFC 3463. The session is pure: the listener hands it the bytes a client sent and writes
// back the replies it returns, so the fuzz target and the tests drive it without a socket.
//
// Every byte is untrusted. A command line holds at most kMaxCommandLine bytes with its line
// end; a longer one is read to its end, discarded and refused. Message text is kept only up
// to the size limit (the rest is read and dropped until the final "."), the recipients up
// to their limit, and a client that keeps sending wrong commands is disconnected. Memory
// stays bounded by the limits whatever arrives: message text is handed on to the host in
// pieces of about kTextPiece bytes as it arrives, never held whole. A command line may end
// in CR LF or a bare LF; message text is split only at CR LF, so only CR LF "." CR LF ends
// it, and a bare CR or LF inside is stored as a CR LF line end.
#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace smtpsvc {

// A command line, CR LF included (RFC 5321 4.5.3.1.4).
inline constexpr std::size_t kMaxCommandLine = 512;
// A path inside angle brackets (RFC 5321 4.5.3.1.3).
inline constexpr std::size_t kMaxPath = 256;
// Message text is passed on once this much has gathered.
inline constexpr std::size_t kTextPiece = 65536;

struct SessionLimits {
    std::size_t maxMessageSize = 2097152;
    std::size_t maxRecipients = 100;
    std::size_t maxErrors = 10;
};

// The envelope of a message the client completed with DATA.
struct ReceivedMessage {
    std::string sender;  // empty for the null reverse path "<>"
    std::vector<std::string> recipients;
    std::string clientIp;
};

// Where the text of one message goes as it arrives: a Received line, then the message text
// with CR LF line ends. Dropped without Commit (the transfer was aborted or too big), it
// leaves nothing behind.
class MessageText {
  public:
    virtual ~MessageText() = default;
    virtual bool Append(std::string_view text) = 0;
    // Stores the message with its envelope so that it survives a crash; true once stored.
    virtual bool Commit(const ReceivedMessage& message) = 0;
};

// What a session asks of the service.
class SessionHost {
  public:
    virtual ~SessionHost() = default;
    virtual bool IsLocalDomain(std::string_view domain) = 0;
    // A place for the text of a new message; null when none can be had.
    virtual std::unique_ptr<MessageText> BeginMessage() = 0;
};

class SmtpSession {
  public:
    // clientOnLoopback: the client connected from the loopback network and may relay.
    SmtpSession(SessionHost& host, std::string serverName, std::string clientIp,
                bool clientOnLoopback, SessionLimits limits);

    std::string Greeting() const;
    // Takes the next bytes from the client; returns the replies they call for, in order.
    std::string Receive(std::string_view bytes);
    // The reply to a client that stayed silent too long; the session is closed after it.
    std::string TimedOut();
    // True once the session has said its last reply (QUIT, time-out, too many errors).
    bool Closed() const { return closed_; }
    // True between the 354 reply and the end of the message text.
    bool InData() const { return phase_ == Phase::Data; }
    // True from an accepted MAIL to the end of its transaction.
    bool InTransaction() const { return haveSender_; }

  private:
    enum class Phase { Command, Data };

    bool TakeCommand(std::string_view& bytes);
    bool TakeData(std::string_view& bytes);
    std::string Line(std::string_view line);
    std::string Command(std::string_view line);
    void DataLine(std::string_view line, bool complete);
    void PassText();
    void DropText();
    std::string EndOfData();
    std::string Hello(std::string_view argument, bool extended);
    std::string Mail(std::string_view argument);
    std::string Rcpt(std::string_view argument);
    std::string Data();
    std::string Error(std::string reply);
    void ResetTransaction();
    std::string ReceivedLine() const;

    SessionHost& host_;
    std::string serverName_;
    std::string clientIp_;
    bool clientOnLoopback_;
    SessionLimits limits_;

    Phase phase_ = Phase::Command;
    std::string pending_;     // the unfinished line
    bool overlong_ = false;   // the current command line passed its limit
    bool continued_ = false;  // the pending data line began in an earlier piece
    std::string helloName_;
    bool haveSender_ = false;
    ReceivedMessage message_;
    std::set<std::string> recipientKeys_;  // the recipients upper-cased
    std::unique_ptr<MessageText> text_;    // null once the text is too big or cannot be stored
    std::string gathered_;                 // text not yet passed on
    std::size_t textSize_ = 0;             // the message text so far, without the Received line
    bool tooBig_ = false;
    std::size_t errors_ = 0;
    bool closed_ = false;
};

// The domain part of an address: the text after its last "@".
std::string_view DomainOf(std::string_view address);

}  // namespace smtpsvc
