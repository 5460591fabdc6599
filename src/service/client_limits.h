// ClientLimits: what the POP3 sessions of one listener share so that no client address can
// take the service from the others: the sessions each address holds, and the queue of its
// password checks (see logon_queue.h).
//
// Owned by the service object, which outlives its listener's session threads; each session
// thread holds a reference. The limits:
// - kMaxSessionsPerClient sessions from one address, as Postfix allows one SMTP client by
//   default: room for the mail clients of an office behind one gateway, while it takes ten
//   such hosts to fill the service;
// - kMaxSessions in all, a session thread and its descriptors each, well inside the
//   service's limit of open files;
// - kAuthorizationTime to log on, from the connection on, however the client spends it
//   (Dovecot gives a client three minutes to log in); after the logon only the stream's
//   ten minutes of silence hold.
#pragma once

#include <cstdint>

#include "service/logon_queue.h"
#include "service/session_count.h"

namespace vrel {

inline constexpr int kMaxSessions = 500;
inline constexpr int kMaxSessionsPerClient = 50;
inline constexpr std::uint32_t kAuthorizationTime = 180000;

struct ClientLimits {
    SessionCount sessions{kMaxSessions, kMaxSessionsPerClient};
    LogonQueue logons;
};

}  // namespace vrel
