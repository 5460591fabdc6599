// The DailyLogFile: one plain-text log per calendar day in the "POP3Srv" folder below the
// configured log location, shared by popagent and popservice (both link this unit).
//
// Each text is one open-append-close of a text-mode "a+" stream, so an LF is stored as
// CR LF; there is no lock and no handle kept between calls. The settings are read afresh
// at each call. File failures are silent; a registry value of the wrong type raises
// win::ERegistryException to the caller. The header names the running program through
// SystemModule, which the program creates at start-up.
#pragma once

#include <string>

namespace vrel {

// The full path of the named file in the log folder; creates the folder when missing and
// starts a missing file with the header line.
std::string GetLogFilePath(const std::string& name);

// Appends the text, unchanged, to today's log when logging is enabled.
void WriteLog(const std::string& text);

}  // namespace vrel
