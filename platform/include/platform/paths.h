// Windows paths on the machine: drive C: is the machine's drive_c folder and drive Z: is the
// host's "/"; no other drive exists.
//
// Rules (applied by every function that takes a Windows path, here and in fs.h): "\" and "/"
// separate components; "." and ".." are applied lexically and never climb above the drive's
// root; trailing dots and blanks of a component are dropped. Each component is looked up
// exactly, then ignoring case (the machine's rule, text.h: every letter of
// code page 1252), then as an 8.3 alias (see GetShortPathName); a name
// "X.exe" also finds the host file "X". A missing component keeps the given name. A relative
// path starts at the current folder, a path starting with "\" at the current drive's root.
// Paths are 8-bit Windows-1252 text; host names are UTF-8 (see codepage.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

std::string GetWindowsDirectory();  // "C:\WINDOWS"
std::string GetSystemDirectory();   // "C:\WINDOWS\system32"

// The host file of a Windows path; empty for a drive the machine does not have.
std::filesystem::path ToHostPath(std::string_view windowsPath);
// The Windows path of a host file: under drive_c it is on C:, anywhere else on Z:.
std::string ToWindowsPath(const std::filesystem::path& hostPath);

// The running program's file as Windows names it (ending in ".exe"), or the file a
// ModuleFileNameOverride names while it lives.
std::string GetModuleFileName();

// For tests: while it lives, GetModuleFileName answers the given Windows path, so that
// in-process code finds the files it expects beside "the program" where the test put them.
// Overrides nest; the innermost holds.
class ModuleFileNameOverride {
  public:
    explicit ModuleFileNameOverride(std::string windowsPath);
    ModuleFileNameOverride(const ModuleFileNameOverride&) = delete;
    ModuleFileNameOverride& operator=(const ModuleFileNameOverride&) = delete;
    ~ModuleFileNameOverride();

  private:
    std::string previous_;
};

// The path with each component in its short form; empty when the path does not exist. A
// component that is a valid 8.3 name is its own short name; any other gets an alias that does
// not depend on the folder's listing order: the first six legal characters of its base
// upper-cased + "~1" + "." + the first three of its extension, or, when another entry of the
// folder has the same alias, the first two legal characters + four hex digits of a hash of
// the long name + "~1" (+ the extension). The result is always a full path; a trailing "\" is
// kept.
std::string GetShortPathName(std::string_view longPath);

// The process's current folder as a Windows path (empty when it no longer exists), and
// changing it (false when the folder does not exist).
std::string GetCurrentDirectory();
bool SetCurrentDirectory(std::string_view windowsPath);

}  // namespace win
