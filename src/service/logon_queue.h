// LogonQueue: the turns of the POP3 sessions' password checks. A check costs one password
// hash at the account directory's cost, and a guesser can ask for one on every connection
// it opens; the queue bounds what one client address, and all of them together, can spend:
// - one check at a time per address, its others waiting in the order they came, so many
//   connections of one guesser are no faster than one;
// - after a refusal the address waits before its next check, 2 s, then 4 s, 8 s and at
//   most 15 s, as the refusals of its recent past grow (Dovecot's auth penalty); a logon
//   from the address forgets them, and so does an hour without a refusal;
// - at most four checks at once over all addresses (four of the host's cores, a few dozen
//   logons a second at the directory's cost; the other cores stay with the sessions); a
//   place that comes free goes to the address that has waited longest for one, and an
//   address goes back to the end after each check, so one address's queue of guesses
//   cannot starve another address's user.
//
// Shared by the session threads of one listener; every member locks. The addresses are the
// peers' own; an address is remembered only while it waits, checks or has recent refusals.
// Times are machine milliseconds.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace vrel {

// The queue's figures, in machine milliseconds but for the count.
struct LogonLimits {
    int checksAtOnce = 4;
    std::uint32_t firstPenalty = 2000;  // doubled for each further refusal
    std::uint32_t maxPenalty = 15000;
    std::uint32_t memory = 3600000;  // refusals older than this are forgotten
};

class LogonQueue {
  public:
    class Turn;

    explicit LogonQueue(LogonLimits limits = {});
    LogonQueue(const LogonQueue&) = delete;
    LogonQueue& operator=(const LogonQueue&) = delete;

    // Waits for the address's turn to check a password: at most `patience` milliseconds, and
    // not past a true `cancelled()` (asked twice a second). An empty turn when none came.
    Turn Wait(const std::string& address, std::uint32_t patience,
              const std::function<bool()>& cancelled);
    // A refusal decided after the address's check was done (an account without mail).
    void Refused(const std::string& address);
    // A logon of the address: its refusals are forgotten.
    void LoggedOn(const std::string& address);
    // The waits not yet given a turn, over all addresses.
    std::size_t Waiting() const;

  private:
    struct Address {
        std::deque<std::uint64_t> waiting;  // tickets in the order they came
        bool checking = false;
        std::uint64_t place = 0;  // among the addresses: smaller waited longer
        int refusals = 0;
        std::uint32_t lastRefusal = 0;  // tick count
    };
    using Addresses = std::map<std::string, Address>;

    void Finish(Addresses::iterator address, bool refused);
    Addresses::iterator Find(const std::string& address);
    void Forget(Addresses::iterator address);
    void CountRefusal(Address& address);
    bool MayCheck(const Addresses::iterator& address, std::uint64_t ticket, std::uint32_t now);
    // How long the address must still wait after its last refusal.
    std::uint32_t PenaltyLeft(Address& address, std::uint32_t now) const;
    // Drops the addresses that wait for nothing and have no recent refusal.
    void Prune(std::uint32_t now);

    const LogonLimits limits_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Addresses addresses_;
    int checking_ = 0;
    std::uint64_t sequence_ = 0;
};

// The right to check one password for an address; the place it holds is given back when the
// turn is finished or dropped.
class LogonQueue::Turn {
  public:
    Turn() = default;
    Turn(Turn&& other) noexcept;
    Turn& operator=(Turn&&) = delete;
    ~Turn();

    explicit operator bool() const { return queue_ != nullptr; }
    // Ends the turn; a refused password makes the address wait.
    void Finish(bool refused);

  private:
    friend class LogonQueue;
    Turn(LogonQueue& queue, Addresses::iterator address) : queue_(&queue), address_(address) {}

    LogonQueue* queue_ = nullptr;
    Addresses::iterator address_;
};

}  // namespace vrel
