// Eight processes hammer the SettingsKey at once, as the agent, the POP3 service's session
// threads and the settings program do: counter increments between getter calls.
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>

#include "common/smtp_config.h"
#include "settings_fixture.h"
#include "store/db.h"
#include "store/machine.h"
#include "workers.h"

namespace {

using vrel::test::RunWorkers;
using vrel::test::SettingsTest;
using vrel::test::WorkerResult;
namespace value = vrel::settings_value;

constexpr int kProcesses = 8;
constexpr auto kDuration = std::chrono::seconds(3);
constexpr std::array<std::string_view, 5> kCounters = {
    value::SMTPConnections, value::MessagesReceived, value::MessagesDelivered,
    value::POP3Connections, value::POP3Logons};
using Counts = std::array<std::uint64_t, kCounters.size()>;

// The child's work; its counts of increments go back through the pipe.
int Work(int pipe) {
    Counts counts{};
    try {
        const auto end = std::chrono::steady_clock::now() + kDuration;
        for (std::size_t round = 0; std::chrono::steady_clock::now() < end; ++round) {
            const std::size_t counter = round % kCounters.size();
            vrel::IncrementCounter(kCounters[counter]);
            ++counts[counter];
            if (vrel::GetLoggingEnabled() || !vrel::GetCountMessages()) return 3;
            if (vrel::GetMailInBoxDir() != "D:\\Mail\\Users") return 4;
            if (vrel::GetPostMaster() != "administrator@home.test") return 5;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "worker: %s\n", error.what());
        return 2;
    }
    return write(pipe, counts.data(), sizeof counts) == sizeof counts ? 0 : 6;
}

TEST_F(SettingsTest, ConcurrentIncrementsAndGettersKeepTheStoreWhole) {
    InstallSmtpServer({{"DefaultDomain", "home.test"}, {"DropDirectory", "D:\\Mail\\Drop"}});
    StoreNumber(value::CountMessages, 1);

    Counts total{};
    const std::vector<WorkerResult> results =
        RunWorkers(kProcesses, [](int, int pipe) { return Work(pipe); });
    for (const WorkerResult& result : results) {
        EXPECT_EQ(result.exitCode, 0);
        Counts counts{};
        ASSERT_EQ(result.report.size(), sizeof counts);
        std::memcpy(counts.data(), result.report.data(), sizeof counts);
        for (std::size_t c = 0; c < counts.size(); ++c) total[c] += counts[c];
    }

    win::Db db = win::OpenMachineDb();
    auto check = db.Prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Text(0), "ok");
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, false));
    for (std::size_t c = 0; c < kCounters.size(); ++c) {
        const auto stored = static_cast<std::uint64_t>(registry.ReadInteger(kCounters[c]));
        EXPECT_GT(stored, 0u) << kCounters[c];
        // Each increment is one transaction, so none is lost.
        EXPECT_EQ(stored, total[c]) << kCounters[c];
    }
}

}  // namespace
