#include "platform/paths.h"

#include <algorithm>

#include "platform/machine.h"
#include "platform/text.h"

namespace win {
namespace fs = std::filesystem;

std::string GetWindowsDirectory() { return "C:\\WINDOWS"; }

std::string GetSystemDirectory() { return GetWindowsDirectory() + "\\system32"; }

fs::path ToHostPath(std::string_view windowsPath) {
    std::string path(windowsPath);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.size() >= 2 && path[1] == ':') {
        const char drive = UpperCase(path.substr(0, 1))[0];
        const std::string rest = path.substr(2);
        if (drive == 'C') return DriveCFolder() / fs::path(rest).relative_path();
        return fs::path("/") / fs::path(rest).relative_path();
    }
    return fs::path(path);
}

std::string ToWindowsPath(const fs::path& hostPath) {
    const fs::path absolute = fs::absolute(hostPath).lexically_normal();
    const fs::path driveC = fs::absolute(DriveCFolder()).lexically_normal();
    const fs::path relative = absolute.lexically_relative(driveC);
    std::string result;
    if (!relative.empty() && *relative.begin() != "..") {
        result = "C:\\" + (relative == "." ? std::string() : relative.string());
    } else {
        result = "Z:" + absolute.string();
    }
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string GetModuleFileName() {
    std::string name = ToWindowsPath(fs::read_symlink("/proc/self/exe"));
    if (!SameText(fs::path(name).extension().string(), ".exe")) name += ".exe";
    return name;
}

}  // namespace win
