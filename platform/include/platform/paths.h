// Windows paths on the machine: drive C: is the machine's drive_c folder and drive Z: is
// the host's "/".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

std::string GetWindowsDirectory();  // "C:\WINDOWS"
std::string GetSystemDirectory();   // "C:\WINDOWS\system32"

// The host file of a Windows path.
std::filesystem::path ToHostPath(std::string_view windowsPath);
// The Windows path of a host file: under drive_c it is on C:, anywhere else on Z:.
std::string ToWindowsPath(const std::filesystem::path& hostPath);

// The running program's file as Windows names it (ending in ".exe").
std::string GetModuleFileName();

}  // namespace win
