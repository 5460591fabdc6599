// The settings program's start-up steps that stand on their own: the administrator test over
// the calling thread's (or process's) token, and the choice of the help file.
#pragma once

#include <string>

namespace vrel {

inline constexpr const char* kApplicationTitle = "Vrel POP3 Server";
inline constexpr const char* kHelpFileName = "DUDARAV3.AVE";

// True when the thread's token, or the process's when the thread has none, lists
// BUILTIN\Administrators, for any use (deny-only and disabled groups count).
bool IsAdministrator();

// The Windows help folder's copy of the help file, else the one beside the program; when
// neither exists a warning says so and the second name is kept.
std::string ChooseHelpFile();

// The start-up between the application object and the windows: the splash window unless
// switched off (SplashScnForm), the help file, the administrator test. False when the user
// is no administrator: the refusal has been shown and the program is to end with exit code 0.
bool PrepareStart();

}  // namespace vrel
