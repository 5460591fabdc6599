// The process's message queue; see message_loop.h.
#include "platform/message_loop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace win {
namespace {

struct Message {
    std::function<void()> task;  // empty for the quit message
    int exitCode = 0;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Message> messages;
    // Counts posts for a toolkit's loop that watches it; never closed, as the queue lives
    // as long as the process.
    const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

Queue& TheQueue() {
    static Queue queue;
    return queue;
}

void Post(Message message) {
    Queue& queue = TheQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.messages.push_back(std::move(message));
    }
    queue.ready.notify_one();
    const std::uint64_t one = 1;
    (void)!::write(queue.event, &one, sizeof one);
}

std::optional<Message> TryNext() {
    Queue& queue = TheQueue();
    std::lock_guard lock(queue.mutex);
    if (queue.messages.empty()) return std::nullopt;
    Message message = std::move(queue.messages.front());
    queue.messages.pop_front();
    return message;
}

Message Next() {
    Queue& queue = TheQueue();
    std::unique_lock lock(queue.mutex);
    queue.ready.wait(lock, [&] { return !queue.messages.empty(); });
    Message message = std::move(queue.messages.front());
    queue.messages.pop_front();
    return message;
}

}  // namespace

void PostThreadTask(std::function<void()> task) {
    Post(Message{std::move(task), 0});
}

void PostQuitMessage(int exitCode) {
    Post(Message{nullptr, exitCode});
}

int RunMessageLoop() {
    for (;;) {
        Message message = Next();
        if (!message.task) return message.exitCode;
        message.task();
    }
}

int MessageQueueEvent() {
    return TheQueue().event;
}

bool PumpWaitingMessages(int& exitCode) {
    // Cleared before the queue is read, so a post racing with the pump wakes the watcher
    // again instead of being missed.
    std::uint64_t count = 0;
    (void)!::read(TheQueue().event, &count, sizeof count);
    while (std::optional<Message> message = TryNext()) {
        if (!message->task) {
            exitCode = message->exitCode;
            return true;
        }
        message->task();
    }
    return false;
}

}  // namespace win
