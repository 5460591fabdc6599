// The SMTP service stand-in's listening socket: the services-file port "smtp" (25 when the
// file has no entry), one thread per client, each running an SmtpSession over the
// connection. A client that stays silent for kIdleTimeout machine milliseconds is told so
// and disconnected; beyond kMaxSessions clients at once, a new client is turned away.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sockets.h"
#include "queue_worker.h"

namespace smtpsvc {

inline constexpr std::uint32_t kIdleTimeout = 600000;
inline constexpr int kMaxSessions = 100;

class SmtpListener {
  public:
    explicit SmtpListener(QueueWorker& worker);
    // Raises ESocketError when the port cannot be had.
    void Open();
    void Close();

  private:
    QueueWorker& worker_;
    std::atomic<int> sessions_{0};
    win::TServerSocket socket_;
};

// True for an address of the loopback network 127.0.0.0/8.
bool IsLoopbackAddress(std::string_view address);

}  // namespace smtpsvc
