// The logon queue with real threads: the bound on checks at once, the turns of one address
// and of several, the penalty after refusals and the waits that give up.
#include "service/logon_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace {

using namespace std::chrono_literals;
using vrel::LogonQueue;

// The machine's clock runs 1000 times faster here (as for the command reader's tests in the
// same program): the 15 s penalty takes 15 ms.
const int kScaledClock = ::setenv("VREL_CLOCK_SCALE", "1000", 0);

constexpr std::uint32_t kLong = 6000000;  // machine ms: longer than any test waits

bool Never() {
    return false;
}

// Waits on the host clock until the condition holds, for at most ten seconds.
template <class Condition>
bool Eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Waiters on threads of their own, each taking its turn, noting it and finishing it as
// refused or not; joined before the queue goes.
class Waiters {
  public:
    explicit Waiters(LogonQueue& queue) : queue_(queue) {}
    ~Waiters() {
        for (auto& thread : threads_) thread.join();
    }

    void Start(const std::string& address, const std::string& name, bool refused = false) {
        threads_.emplace_back([this, address, name, refused] {
            LogonQueue::Turn turn = queue_.Wait(address, kLong, Never);
            ASSERT_TRUE(turn);
            {
                std::lock_guard lock(mutex_);
                names_.push_back(name);
            }
            turn.Finish(refused);
        });
        // Queued (or served) before the next one starts: the order of starts is the order
        // of arrival.
        const std::size_t started = ++started_;
        ASSERT_TRUE(Eventually([&] { return queue_.Waiting() + Size() >= started; }));
    }
    // The names in the order the turns came.
    std::vector<std::string> Names() {
        std::lock_guard lock(mutex_);
        return names_;
    }
    std::size_t Size() { return Names().size(); }

  private:
    LogonQueue& queue_;
    std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<std::thread> threads_;
    std::size_t started_ = 0;
};

class LogonQueueTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(kScaledClock, 0); }
};

TEST_F(LogonQueueTest, ACheckWaitsWhileTheMostRunAndGoesWhenOneEnds) {
    LogonQueue queue({.checksAtOnce = 2});
    LogonQueue::Turn first = queue.Wait("127.0.0.2", kLong, Never);
    LogonQueue::Turn second = queue.Wait("127.0.0.3", kLong, Never);
    ASSERT_TRUE(first && second);
    Waiters waiters(queue);
    waiters.Start("127.0.0.4", "third");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(waiters.Size(), 0u);
    first.Finish(false);
    EXPECT_TRUE(Eventually([&] { return waiters.Size() == 1; }));
}

TEST_F(LogonQueueTest, ManyAddressesNeverPassTheBound) {
    LogonQueue queue({.checksAtOnce = 2});
    std::atomic<int> checking = 0, most = 0, done = 0;
    std::vector<std::thread> checks;
    for (int n = 0; n < 8; ++n) {
        checks.emplace_back([&, n] {
            LogonQueue::Turn turn = queue.Wait("127.0.0." + std::to_string(n + 2), kLong, Never);
            ASSERT_TRUE(turn);
            const int now = ++checking;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(10ms);
            --checking;
            turn.Finish(false);
            ++done;
        });
    }
    for (auto& check : checks) check.join();
    EXPECT_EQ(done, 8);
    EXPECT_LE(most, 2);
}

TEST_F(LogonQueueTest, OneAddressChecksOneAtATimeInArrivalOrder) {
    LogonQueue queue;
    LogonQueue::Turn first = queue.Wait("127.0.0.2", kLong, Never);
    ASSERT_TRUE(first);
    Waiters waiters(queue);
    for (const char* name : {"a", "b", "c"}) waiters.Start("127.0.0.2", name);
    EXPECT_EQ(waiters.Size(), 0u) << "a check of the address is running";
    first.Finish(false);
    ASSERT_TRUE(Eventually([&] { return waiters.Size() == 3; }));
    EXPECT_EQ(waiters.Names(), (std::vector<std::string>{"a", "b", "c"}));
}

// One place: the guesser's queue of three is ahead of the user, who still comes second.
TEST_F(LogonQueueTest, AnotherAddressIsServedBeforeTheRestOfAQueue) {
    LogonQueue queue({.checksAtOnce = 1});
    LogonQueue::Turn holder = queue.Wait("127.0.0.9", kLong, Never);
    ASSERT_TRUE(holder);
    Waiters waiters(queue);
    for (const char* name : {"guess1", "guess2", "guess3"}) waiters.Start("127.0.0.2", name);
    waiters.Start("127.0.0.3", "user");
    holder.Finish(false);
    ASSERT_TRUE(Eventually([&] { return waiters.Size() == 4; }));
    EXPECT_EQ(waiters.Names(), (std::vector<std::string>{"guess1", "user", "guess2", "guess3"}));
}

TEST_F(LogonQueueTest, RefusalsMakeTheAddressWaitLongerAcrossItsConnections) {
    LogonQueue queue;
    std::vector<std::uint32_t> starts;
    for (int n = 0; n < 5; ++n) {
        LogonQueue::Turn turn = queue.Wait("127.0.0.2", kLong, Never);
        ASSERT_TRUE(turn);
        starts.push_back(win::GetTickCount());
        turn.Finish(true);
    }
    // 2 s, 4 s, 8 s, then the most, 15 s, between the checks (machine milliseconds).
    const std::uint32_t least[] = {2000, 4000, 8000, 15000};
    for (std::size_t n = 1; n < starts.size(); ++n) {
        EXPECT_GE(starts[n] - starts[n - 1], least[n - 1]) << "check " << n + 1;
    }
}

// A penalty of a second in host time: the user's turn comes long before it ends.
TEST_F(LogonQueueTest, APenaltyHoldsOnlyItsOwnAddress) {
    LogonQueue queue({.firstPenalty = 1000000, .maxPenalty = 1000000});
    queue.Wait("127.0.0.2", kLong, Never).Finish(true);
    Waiters waiters(queue);
    waiters.Start("127.0.0.2", "guesser");
    EXPECT_TRUE(queue.Wait("127.0.0.3", kLong, Never));
    EXPECT_EQ(waiters.Size(), 0u) << "the guesser's address waits";
}

TEST_F(LogonQueueTest, ALogonForgetsTheRefusals) {
    LogonQueue queue;
    for (int n = 0; n < 4; ++n) queue.Wait("127.0.0.2", kLong, Never).Finish(true);
    queue.LoggedOn("127.0.0.2");
    // Without refusals no penalty is left: a wait of no patience gets its turn at once.
    EXPECT_TRUE(queue.Wait("127.0.0.2", 0, Never));
}

TEST_F(LogonQueueTest, ARefusalAfterTheCheckCountsToo) {
    LogonQueue queue({.firstPenalty = 1000000, .maxPenalty = 1000000});
    queue.Refused("127.0.0.2");
    EXPECT_FALSE(queue.Wait("127.0.0.2", 1000, Never));
    EXPECT_TRUE(queue.Wait("127.0.0.3", 0, Never));
}

TEST_F(LogonQueueTest, AWaitGivesUpAtItsLimitOrWhenCancelledAndLeavesTheLine) {
    LogonQueue queue({.checksAtOnce = 1});
    LogonQueue::Turn holder = queue.Wait("127.0.0.9", kLong, Never);
    EXPECT_FALSE(queue.Wait("127.0.0.2", 100, Never));
    std::atomic<bool> cancelled = false;
    std::thread cancel([&] {
        std::this_thread::sleep_for(50ms);
        cancelled = true;
    });
    EXPECT_FALSE(queue.Wait("127.0.0.3", kLong, [&] { return cancelled.load(); }));
    cancel.join();
    holder.Finish(false);
    // Those that gave up hold no place: the next one is served at once.
    EXPECT_TRUE(queue.Wait("127.0.0.2", 0, Never));
}

}  // namespace
