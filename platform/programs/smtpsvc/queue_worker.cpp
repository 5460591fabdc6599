#include "queue_worker.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "pickup.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/fs.h"
#include "platform/paths.h"

namespace smtpsvc {
namespace fs = std::filesystem;

QueueWorker::QueueWorker(fs::path queueFolder, std::string pickupFolder, SinkCaller call,
                         BindingReader bindings, SinkReleaser releaseSinks)
    : queue_(std::move(queueFolder)),
      pickupFolder_(std::move(pickupFolder)),
      call_(std::move(call)),
      bindings_(std::move(bindings)),
      releaseSinks_(std::move(releaseSinks)) {}

QueueWorker::~QueueWorker() {
    Stop();
}

void QueueWorker::Start() {
    for (std::string& id : queue_.Recover()) ready_.push_back(std::move(id));
    thread_ = std::thread([this] { Run(); });
}

void QueueWorker::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool QueueWorker::Add(std::string_view content, const win::Envelope& envelope) {
    const std::unique_ptr<NewQueueMessage> message = NewMessage();
    return message && message->Append(content) && Commit(*message, envelope);
}

bool QueueWorker::Commit(NewQueueMessage& message, const win::Envelope& envelope) {
    if (!message.Commit(envelope)) return false;
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(message.Id());
    }
    wake_.notify_all();
    return true;
}

void QueueWorker::Run() {
    win::CoInitialize();
    std::uint32_t lastScan = win::GetTickCount() - kPickupInterval;
    for (;;) {
        if (win::GetTickCount() - lastScan >= kPickupInterval) {
            ScanPickup();
            lastScan = win::GetTickCount();
        }
        std::string id;
        if (!NextReady(id)) break;
        if (!id.empty()) Deliver(id);
        ReleaseSinksWhenIdle();
    }
    releaseSinks_();
    win::CoUninitialize();
}

// The next message due, or an empty id after waiting a little; false when stopping.
bool QueueWorker::NextReady(std::string& id) {
    std::unique_lock lock(mutex_);
    const std::uint32_t now = win::GetTickCount();
    const auto due =
        std::stable_partition(waiting_.begin(), waiting_.end(),
                              [now](const Waiting& w) { return now - w.since < kRetryInterval; });
    for (auto it = due; it != waiting_.end(); ++it) ready_.push_back(std::move(it->id));
    waiting_.erase(due, waiting_.end());
    if (ready_.empty()) {
        wake_.wait_for(lock, win::ScaledWait(kPickupInterval),
                       [this] { return stopping_ || !ready_.empty(); });
    }
    if (stopping_) return false;
    if (!ready_.empty()) {
        id = std::move(ready_.front());
        ready_.pop_front();
    }
    return true;
}

void QueueWorker::Deliver(const std::string& id) {
    const DeliveryResult result = DeliverMessage(queue_, id, bindings_(), call_);
    lastDelivery_ = win::GetTickCount();
    sinksHeld_ = true;
    if (result == DeliveryResult::Retry) {
        std::lock_guard lock(mutex_);
        waiting_.push_back(Waiting{win::GetTickCount(), id});
    }
}

void QueueWorker::ReleaseSinksWhenIdle() {
    if (!sinksHeld_ || win::GetTickCount() - lastDelivery_ < kSinkIdleTime) return;
    releaseSinks_();
    sinksHeld_ = false;
}

void QueueWorker::ScanPickup() {
    if (pickupFolder_.empty()) return;
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(win::ToHostPath(pickupFolder_), error)) {
        if (item.is_regular_file(error) && IsCompletePickupName(item.path().filename().string())) {
            files.push_back(item.path());
        }
    }
    if (files.empty()) return;
    std::sort(files.begin(), files.end());
    const ServerConfig config = ReadServerConfig();
    for (const fs::path& file : files) TakePickupFile(file, config);
}

// The file is removed only once its message is queued, so a crash in between can at worst
// take it twice, never lose it. A file naming no recipient goes to the bad-mail folder.
void QueueWorker::TakePickupFile(const fs::path& file, const ServerConfig& config) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    std::error_code error;
    PickupMessage message;
    if (!ParsePickupFile(text, message)) {
        if (!config.badMailDirectory.empty() && win::ForceDirectories(config.badMailDirectory) &&
            win::WriteFileDurably(win::ToHostPath(config.badMailDirectory) / file.filename(),
                                  text)) {
            fs::remove(file, error);
        }
        return;
    }
    const win::Envelope envelope =
        win::MakeSmtpEnvelope(RecipientListOf(message.recipients), message.sender, std::string());
    if (Add(message.content, envelope)) fs::remove(file, error);
}

}  // namespace smtpsvc
