// Several processes creating and writing the same new nested keys at once: each must wait for
// the others instead of failing with a locked database.
#include <gtest/gtest.h>

#include <chrono>
#include <exception>

#include "platform/registry.h"
#include "test_machine.h"
#include "workers.h"

namespace {

using namespace win;

class RegistryConcurrencyTest : public vrel::test::MachineTest {};

TEST_F(RegistryConcurrencyTest, WritersOfNewNestedKeysWaitForEachOther) {
    const auto results = vrel::test::RunWorkers(6, [](int index, int) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        try {
            for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
                TRegistry registry;
                registry.OpenKey("\\Software\\Stress\\Level" + std::to_string(round) + "\\Leaf",
                                 true);
                registry.WriteInteger("Writer" + std::to_string(index), round);
            }
        } catch (const std::exception&) {
            return 1;
        }
        return 0;
    });
    for (const auto& result : results) EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
