// Runs a piece of work in several forked processes at once, for the stress tests of the
// machine's store. Each worker gets its index and a pipe to report through; it must not
// touch store connections opened before the fork.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vrel::test {

struct WorkerResult {
    int exitCode;        // -1 when the worker did not exit normally
    std::string report;  // what it wrote to its pipe
};

std::vector<WorkerResult> RunWorkers(int count,
                                     const std::function<int(int index, int pipe)>& work);

}  // namespace vrel::test
