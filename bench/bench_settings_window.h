// What the settings window's benchmarks share: mail users made in the computer's "Users"
// group, and a main that runs the benchmarks off-screen with the forms' font and COM
// initialised as the program's start-up does, on a machine of its own.
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <string>

#include "bench_machine.h"
#include "mail_account.h"
#include "platform/com.h"
#include "platform/vcl.h"

namespace vrel::bench {

inline std::string Numbered(const char* prefix, int number) {
    return prefix + std::to_string(number);
}

// "user0" .. "user<count - 1>", each a member of the computer's "Users" group.
inline void AddMailUsers(int count) {
    for (int i = 0; i < count; ++i) test::AddComputerUser(Numbered("user", i), "", true);
}

// The prepare function runs with COM initialised on this thread.
inline int RunSettingsWindowBenchmarks(int argc, char** argv, void (*prepare)()) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    vcl::SetApplicationFont(application);
    win::CoInitialize();
    const int result = RunOnOwnMachine(argc, argv, prepare);
    win::CoUninitialize();
    return result;
}

}  // namespace vrel::bench
