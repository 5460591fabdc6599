// The SMTP service stand-in's listening socket: the services-file port "smtp" (25 when the
// file has no entry), one thread per client, each running an SmtpSession over the
// connection. A command line must have come whole within kCommandTimeout machine
// milliseconds of the last reply, the message text within kDataTimeout of the 354 reply
// (the server time-outs of RFC 5321 4.5.3.2), however slowly its bytes trickle in; a client
// that takes longer is told so and disconnected. Beyond kMaxSessions clients at once, or
// kMaxSessionsPerClient from one address, a new client is turned away. A client whose
// thread cannot be started is disconnected and the failure goes to the event log.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sockets.h"
#include "queue_worker.h"

namespace smtpsvc {

inline constexpr std::uint32_t kCommandTimeout = 300000;
inline constexpr std::uint32_t kDataTimeout = 600000;
// How long a reply may wait for the client to take it.
inline constexpr std::uint32_t kWriteTimeout = 600000;
inline constexpr int kMaxSessions = 100;
// As Postfix does by default: half of all, so one host cannot take every session.
inline constexpr int kMaxSessionsPerClient = kMaxSessions / 2;

class SmtpListener {
  public:
    explicit SmtpListener(QueueWorker& worker);
    // Raises ESocketError when the port cannot be had.
    void Open();
    void Close();

  private:
    QueueWorker& worker_;
    win::SessionCount sessions_{kMaxSessions, kMaxSessionsPerClient};
    win::TServerSocket socket_;
};

// True for an address of the loopback network 127.0.0.0/8.
bool IsLoopbackAddress(std::string_view address);

}  // namespace smtpsvc
