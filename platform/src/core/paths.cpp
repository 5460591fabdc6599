// Windows paths on the machine: drive mapping, the system folders, short names and the
// current folder. The lookup rules themselves are in resolver.cpp.
#include "platform/paths.h"

#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/resolver.h"
#include "core/short_names.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "store/machine.h"

namespace win {
namespace fs = std::filesystem;
namespace {

// The short name of the entry `found` that `name` designates in `folder`; an entry found by
// its name with ".exe" added keeps that suffix, which the lookup drops again.
std::string ShortNameOf(const fs::path& folder, std::string_view name, const std::string& found) {
    std::vector<std::string> names;
    for (const detail::Entry& entry : detail::ListFolder(folder)) names.push_back(entry.ansi);
    std::string shortName = detail::ShortNames(names).Of(found);
    if (detail::IsProgramName(name) && !detail::IsProgramName(found)) {
        shortName += name.substr(name.size() - 4);
    }
    return shortName;
}

// The innermost ModuleFileNameOverride's path; empty when none lives.
std::string& ModuleFileNameOverridden() {
    static std::string path;
    return path;
}

}  // namespace

std::string GetWindowsDirectory() {
    return "C:\\WINDOWS";
}

std::string GetSystemDirectory() {
    return GetWindowsDirectory() + "\\system32";
}

fs::path ToHostPath(std::string_view windowsPath) {
    const std::optional<detail::WindowsPath> path = detail::ParseWindowsPath(windowsPath);
    if (!path) return {};
    return detail::Resolve(*path).host;
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
    return Utf8ToAnsi(result);
}

std::string GetModuleFileName() {
    if (!ModuleFileNameOverridden().empty()) return ModuleFileNameOverridden();
    std::string name = ToWindowsPath(fs::read_symlink("/proc/self/exe"));
    if (!SameText(fs::path(name).extension().string(), ".exe")) name += ".exe";
    return name;
}

ModuleFileNameOverride::ModuleFileNameOverride(std::string windowsPath)
    : previous_(std::exchange(ModuleFileNameOverridden(), std::move(windowsPath))) {}

ModuleFileNameOverride::~ModuleFileNameOverride() {
    ModuleFileNameOverridden() = std::move(previous_);
}

std::string GetShortPathName(std::string_view longPath) {
    const std::optional<detail::WindowsPath> path = detail::ParseWindowsPath(longPath);
    if (!path) return {};
    std::string result{path->drive, ':'};
    fs::path host = path->root;
    for (const std::string& name : path->names) {
        const std::optional<std::string> found = detail::FindEntry(host, name);
        if (!found) return {};
        result += "\\" + ShortNameOf(host, name, Utf8ToAnsi(*found));
        host /= *found;
    }
    const bool trailing = !longPath.empty() && (longPath.back() == '\\' || longPath.back() == '/');
    if (path->names.empty() || trailing) result += "\\";
    return result;
}

std::string GetCurrentDirectory() {
    return ToWindowsPath(fs::current_path());
}

bool SetCurrentDirectory(std::string_view windowsPath) {
    const fs::path host = ToHostPath(windowsPath);
    return !host.empty() && ::chdir(host.c_str()) == 0;
}

}  // namespace win
