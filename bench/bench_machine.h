// The main of every benchmark program: a machine of its own in a temporary folder, prepared
// by the program, then the registered benchmarks, then the folder removed.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "store/db.h"
#include "store/machine.h"

namespace vrel::bench {

inline int RunOnOwnMachine(int argc, char** argv, void (*prepare)()) {
    std::string folder = (std::filesystem::temp_directory_path() / "vrel-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    ::setenv("VREL_MACHINE", folder.c_str(), 1);
    win::InitMachine();
    prepare();
    // An open connection keeps the store's WAL files between calls, as a running program's
    // other connections do; without it every call would create and remove them.
    win::Db holder = win::OpenMachineDb();
    holder.Exec("SELECT 1 FROM reg_key LIMIT 1");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}

}  // namespace vrel::bench
