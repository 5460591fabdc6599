// The start form's module: the form, Qt and the platform's Qt part, built as a module of its
// own that popagent loads only when it is started by hand with a display, so an agent that
// COM starts for the mail never maps Qt. The module resolves the platform and the agent
// from the program that loads it, so both share one COM server and one message queue.
//
// This header is free of Qt: the program includes it for the texts and the entry's name.
#pragma once

#include <string_view>

namespace vrel {

inline constexpr std::string_view kStartFormCaption = "Initialize Message Agent";
inline constexpr std::string_view kStartFormText = "Message Agent is installed.";

// The module's file, beside the program, and its entry point.
inline constexpr const char* kStartFormModule = "popagent_form.so";
inline constexpr const char* kStartFormEntry = "vrelRunStartForm";

// Runs the application with the start form as its main window; the exit code.
using StartFormEntry = int (*)(int argc, char** argv, const char* applicationTitle);

}  // namespace vrel
