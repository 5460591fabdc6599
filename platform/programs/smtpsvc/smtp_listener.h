// The SMTP service stand-in's listening socket: the services-file port "smtp" (25 when the
// file has no entry), one thread per client, each running an SmtpSession over the
// connection. A command line must have come whole within kCommandTimeout machine
// milliseconds of the last reply, the message text within kDataTimeout of the 354 reply
// (the server time-outs of RFC 5321 4.5.3.2), however slowly its bytes trickle in; a client
// that takes longer is told so and disconnected. Beyond kMaxSessions clients at once, or
// kMaxSessionsPerClient from one address, a new client is turned away. A client whose
// thread cannot be started is disconnected and the failure goes to the event log.
//
// So that a few hosts holding idle connections cannot lock every other client out, the
// service is under stress from kStressSessions sessions on, as Postfix's stress mode is: a
// command line then has only kStressCommandTimeout, and a client that finds every session
// taken gets the place of an idle one, a session waiting kShedIdle or longer for a command
// without having begun a transaction (of the address with the most sessions first, then
// the one idle longest), which is told of its time-out and closed.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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
inline constexpr int kStressSessions = kMaxSessions * 4 / 5;
// Postfix's time-out under stress.
inline constexpr std::uint32_t kStressCommandTimeout = 10000;
// A session that waited less than this may be a client in the middle of its conversation.
inline constexpr std::uint32_t kShedIdle = 2000;

// One session as the count sees it; it belongs to the session's thread.
struct SessionSlot {
    std::string address;  // the client's
    int socket = -1;      // open while the slot is counted
    bool idle = false;    // waiting for a command, no transaction begun
    std::uint32_t idleSince = 0;
    bool shed = false;  // its place went to another client
};

// The sessions open now, in all and per client address.
class SessionCount {
  public:
    // Counts the session, shedding an idle one when every session is taken; false (and
    // nothing counted) when no place can be had.
    bool Enter(SessionSlot& slot);
    void Leave(SessionSlot& slot);
    // The session waits for a command outside a transaction, idle since its last reply.
    void Waiting(SessionSlot& slot, std::uint32_t since);
    // The session has stopped waiting; false when its place went to another client.
    bool Woken(SessionSlot& slot);
    // The time a command line may take now.
    std::uint32_t CommandTimeout();

  private:
    bool ShedOne();

    std::mutex mutex_;
    int total_ = 0;  // without the sessions shed
    std::map<std::string, int> perClient_;
    std::vector<SessionSlot*> slots_;
};

class SmtpListener {
  public:
    explicit SmtpListener(QueueWorker& worker);
    // Raises ESocketError when the port cannot be had.
    void Open();
    void Close();

  private:
    QueueWorker& worker_;
    SessionCount sessions_;
    win::TServerSocket socket_;
};

// True for an address of the loopback network 127.0.0.0/8.
bool IsLoopbackAddress(std::string_view address);

}  // namespace smtpsvc
