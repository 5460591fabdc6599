// The process's message queue; see message_loop.h.
#include "platform/message_loop.h"

#include <condition_variable>
#include <deque>
#include <mutex>
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

}  // namespace win
