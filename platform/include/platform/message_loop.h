// The main thread's message queue: what a Windows program's message loop does for the
// suite's programs. COM calls into a local server arrive here and run one at a time on
// the thread that runs the loop, as in the apartment model.
//
// One queue per process; any thread may post to it, the program's main thread runs it.
#pragma once

#include <functional>

namespace win {

// Queues work for the thread that runs the message loop.
void PostThreadTask(std::function<void()> task);
// Queues the quit message: the loop ends when it reaches it, after the work posted before.
void PostQuitMessage(int exitCode);
// Runs queued work until the quit message; returns its exit code.
int RunMessageLoop();

}  // namespace win
