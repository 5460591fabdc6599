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

// For a program whose loop belongs to a GUI toolkit: a descriptor that becomes readable when
// work is queued, and a pump that runs the work queued so far without waiting. The pump
// returns true, with the exit code, when it reached the quit message.
int MessageQueueEvent();
bool PumpWaitingMessages(int& exitCode);

}  // namespace win
