// The delivery thread of the SMTP service stand-in: it takes each queued message through
// DeliverMessage, one at a time, keeps a message that must wait and tries it again after
// kRetryInterval, and scans the pickup folder for new files every kPickupInterval (both
// in machine milliseconds, through the platform clock). Once no message has been delivered
// for kSinkIdleTime it lets the sinks' objects go (SinkReleaser), which the caller may keep
// between messages while mail flows.
//
// Sessions add their messages from their own threads (NewMessage, Commit); the queue files
// make the message durable before Commit returns, and the thread takes it up afterwards. The thread
// initialises COM for the sink calls.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "delivery.h"
#include "smtp_queue.h"

namespace smtpsvc {

inline constexpr std::uint32_t kRetryInterval = 2000;
inline constexpr std::uint32_t kPickupInterval = 250;
inline constexpr std::uint32_t kSinkIdleTime = 1000;

using BindingReader = std::function<std::vector<SinkBinding>()>;
using SinkReleaser = std::function<void()>;

class QueueWorker {
  public:
    QueueWorker(std::filesystem::path queueFolder, std::string pickupFolder, SinkCaller call,
                BindingReader bindings, SinkReleaser releaseSinks);
    QueueWorker(const QueueWorker&) = delete;
    QueueWorker& operator=(const QueueWorker&) = delete;
    ~QueueWorker();

    // Takes up the queue as a crash or stop left it, then starts the thread. Call before
    // anything is added.
    void Start();
    // Ends the thread after the message in hand; what is queued stays for the next start.
    void Stop();
    // A message whose text comes in pieces; null when it cannot be stored.
    std::unique_ptr<NewQueueMessage> NewMessage() const { return queue_.NewMessage(); }
    // Stores the message with its envelope and takes it up; true once it is durable.
    bool Commit(NewQueueMessage& message, const win::Envelope& envelope);
    // Stores a message; true once it is durable.
    bool Add(std::string_view content, const win::Envelope& envelope);

  private:
    struct Waiting {
        std::uint32_t since;
        std::string id;
    };
    void Run();
    void ScanPickup();
    void TakePickupFile(const std::filesystem::path& file, const ServerConfig& config);
    bool NextReady(std::string& id);
    void Deliver(const std::string& id);
    void ReleaseSinksWhenIdle();

    MessageQueue queue_;
    std::string pickupFolder_;
    SinkCaller call_;
    BindingReader bindings_;
    SinkReleaser releaseSinks_;
    std::uint32_t lastDelivery_ = 0;
    bool sinksHeld_ = false;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> ready_;
    std::vector<Waiting> waiting_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace smtpsvc
