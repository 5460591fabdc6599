#include "store/db.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <optional>
#include <thread>
#include <vector>

#include "store/machine.h"
#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using vrel::test::StoreDescriptors;
using namespace win;
namespace fs = std::filesystem;

class DbTest : public MachineTest {
  protected:
    DbTest() {
        Db db = Open();
        db.Exec("CREATE TABLE t(x INTEGER); INSERT INTO t VALUES (1), (2), (3);");
    }

    Db Open() const { return Db::Pooled(machine_.Folder() / "test.db"); }

    static std::int64_t CountEqual(Db& db, std::optional<std::int64_t> x) {
        auto select = db.Prepare("SELECT count(*) FROM t WHERE x = ?1");
        if (x) select.Bind(1, *x);
        select.Step();
        return select.Int(0);
    }
};

// A statement of a text used before starts over: from the first row, with no binding left.
TEST_F(DbTest, APreparedTextUsedAgainStartsAfresh) {
    Db db = Open();
    EXPECT_EQ(CountEqual(db, 2), 1);
    EXPECT_EQ(CountEqual(db, std::nullopt), 0);
    for (int round = 0; round < 2; ++round) {
        auto select = db.Prepare("SELECT x FROM t ORDER BY x");
        ASSERT_TRUE(select.Step());
        EXPECT_EQ(select.Int(0), 1) << round;
    }
}

TEST_F(DbTest, TwoLiveStatementsOfOneTextAreIndependent) {
    Db db = Open();
    auto outer = db.Prepare("SELECT x FROM t WHERE x >= ?1 ORDER BY x");
    outer.Bind(1, 2);
    ASSERT_TRUE(outer.Step());
    {
        auto inner = db.Prepare("SELECT x FROM t WHERE x >= ?1 ORDER BY x");
        inner.Bind(1, 1);
        ASSERT_TRUE(inner.Step());
        EXPECT_EQ(inner.Int(0), 1);
    }
    EXPECT_EQ(outer.Int(0), 2);
    ASSERT_TRUE(outer.Step());
    EXPECT_EQ(outer.Int(0), 3);
}

// The statements a connection keeps for reuse do not stop it going back to the pool.
TEST_F(DbTest, AConnectionWithKeptStatementsIsPooled) {
    {
        Db db = Open();
        EXPECT_EQ(CountEqual(db, 3), 1);
    }
    {
        Db db = Open();
        EXPECT_TRUE(db.Reused());
        Transaction transaction(db);
        db.Prepare("INSERT INTO t VALUES (4)").Step();
        transaction.Commit();
    }
    Db db = Open();
    EXPECT_TRUE(db.Reused());
    EXPECT_EQ(CountEqual(db, 4), 1);
}

// Threads that used the store and wait for more work, as cached session threads do, hold no
// connection of their own: the process keeps a few idle ones for all its threads.
TEST_F(DbTest, IdleThreadsHoldNoConnectionsOfTheirOwn) {
    constexpr int kThreads = 32;
    // A few idle connections, each with its database and log, and the shared memory.
    constexpr int kDescriptorBound = 4 * 2 + 1;
    std::latch used(kThreads);
    std::latch released(kThreads);
    std::latch done(1);
    std::vector<std::jthread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            {
                // All connections in use at once, then all handed back.
                Db db = OpenMachineDb();
                db.Prepare("SELECT count(*) FROM reg_key").Step();
                used.arrive_and_wait();
            }
            released.count_down();
            done.wait();
        });
    }
    released.wait();
    EXPECT_LE(StoreDescriptors(), kDescriptorBound);
    done.count_down();
}

}  // namespace
