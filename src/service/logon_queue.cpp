// The turns of the password checks (see logon_queue.h). Waiters sleep on one condition and
// are woken by every change; each tests for itself whether its turn has come, so the rule
// lives in MayCheck alone. Tick counts are compared by unsigned difference, which the
// counter's wrap does not disturb.
#include "service/logon_queue.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/clock.h"

namespace vrel {
namespace {

using std::chrono::steady_clock;

// How often a waiter asks whether it is cancelled, in host time: seldom enough that a
// queue of many idle waiters costs next to nothing, often enough for a stop.
constexpr auto kCancelPoll = std::chrono::milliseconds(500);
// Doubling stops here: beyond it every penalty is the maximum anyway.
constexpr int kMaxDoublings = 16;

}  // namespace

LogonQueue::LogonQueue(LogonLimits limits) : limits_(limits) {}

LogonQueue::Turn LogonQueue::Wait(const std::string& address, std::uint32_t patience,
                                  const std::function<bool()>& cancelled) {
    const auto deadline = steady_clock::now() + win::ScaledWait(patience);
    std::unique_lock lock(mutex_);
    const auto entry = Find(address);
    const std::uint64_t ticket = ++sequence_;
    if (entry->second.waiting.empty() && !entry->second.checking) entry->second.place = ticket;
    entry->second.waiting.push_back(ticket);
    for (;;) {
        const std::uint32_t now = win::GetTickCount();
        if (MayCheck(entry, ticket, now)) {
            entry->second.waiting.pop_front();
            entry->second.checking = true;
            ++checking_;
            changed_.notify_all();  // rivals that gave way to this address may go now
            return Turn(*this, entry);
        }
        if (steady_clock::now() >= deadline || cancelled()) {
            std::erase(entry->second.waiting, ticket);
            Forget(entry);
            changed_.notify_all();
            return {};
        }
        // Every other change that may give this waiter its turn notifies the condition.
        auto wake = std::min(deadline, steady_clock::now() + kCancelPoll);
        if (const std::uint32_t penalty = PenaltyLeft(entry->second, now); penalty > 0) {
            wake = std::min(wake, steady_clock::now() + win::ScaledWait(penalty) +
                                      std::chrono::milliseconds(1));
        }
        changed_.wait_until(lock, wake);
    }
}

void LogonQueue::Refused(const std::string& address) {
    std::lock_guard lock(mutex_);
    CountRefusal(Find(address)->second);
    changed_.notify_all();
}

void LogonQueue::LoggedOn(const std::string& address) {
    std::lock_guard lock(mutex_);
    const auto entry = addresses_.find(address);
    if (entry == addresses_.end()) return;
    entry->second.refusals = 0;
    Forget(entry);
    changed_.notify_all();
}

std::size_t LogonQueue::Waiting() const {
    std::lock_guard lock(mutex_);
    std::size_t waiting = 0;
    for (const auto& [address, state] : addresses_) waiting += state.waiting.size();
    return waiting;
}

LogonQueue::Addresses::iterator LogonQueue::Find(const std::string& address) {
    if (const auto entry = addresses_.find(address); entry != addresses_.end()) return entry;
    Prune(win::GetTickCount());
    return addresses_.emplace(address, Address{}).first;
}

void LogonQueue::Finish(Addresses::iterator address, bool refused) {
    std::lock_guard lock(mutex_);
    Address& state = address->second;
    state.checking = false;
    --checking_;
    if (refused) CountRefusal(state);
    // Back to the end of the line behind every address that waits already.
    state.place = ++sequence_;
    Forget(address);
    changed_.notify_all();
}

void LogonQueue::Forget(Addresses::iterator address) {
    const Address& state = address->second;
    if (state.waiting.empty() && !state.checking && state.refusals == 0) {
        addresses_.erase(address);
    }
}

void LogonQueue::CountRefusal(Address& address) {
    address.refusals = std::min(address.refusals + 1, kMaxDoublings);
    address.lastRefusal = win::GetTickCount();
}

bool LogonQueue::MayCheck(const Addresses::iterator& address, std::uint64_t ticket,
                          std::uint32_t now) {
    Address& state = address->second;
    if (state.checking || state.waiting.front() != ticket || PenaltyLeft(state, now) > 0) {
        return false;
    }
    if (checking_ >= limits_.checksAtOnce) return false;
    // A free place goes to the ready address that has waited longest.
    for (auto other = addresses_.begin(); other != addresses_.end(); ++other) {
        Address& rival = other->second;
        if (other == address || rival.checking || rival.waiting.empty()) continue;
        if (rival.place < state.place && PenaltyLeft(rival, now) == 0) return false;
    }
    return true;
}

std::uint32_t LogonQueue::PenaltyLeft(Address& address, std::uint32_t now) const {
    if (address.refusals == 0) return 0;
    const std::uint32_t since = now - address.lastRefusal;
    if (since >= limits_.memory) {
        address.refusals = 0;
        return 0;
    }
    const std::uint64_t doubled = std::uint64_t{limits_.firstPenalty} << (address.refusals - 1);
    const auto penalty =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(doubled, limits_.maxPenalty));
    return penalty > since ? penalty - since : 0;
}

void LogonQueue::Prune(std::uint32_t now) {
    for (auto entry = addresses_.begin(); entry != addresses_.end();) {
        PenaltyLeft(entry->second, now);  // forgets refusals past the memory
        Forget(entry++);
    }
}

LogonQueue::Turn::Turn(Turn&& other) noexcept
    : queue_(std::exchange(other.queue_, nullptr)), address_(other.address_) {}

LogonQueue::Turn::~Turn() {
    Finish(false);
}

void LogonQueue::Turn::Finish(bool refused) {
    if (queue_) std::exchange(queue_, nullptr)->Finish(address_, refused);
}

}  // namespace vrel
