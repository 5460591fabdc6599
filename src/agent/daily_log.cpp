#include "agent/daily_log.h"

#include <cstdio>

#include "common/settings_key.h"
#include "common/system_module.h"
#include "platform/clock.h"
#include "platform/fs.h"

namespace vrel {
namespace {

std::string HeaderLine() {
    win::SYSTEMTIME now;
    win::GetLocalTime(now);
    return SystemModule->VersionInfo.GetProductName() + " " + GetVersionText() +
           " - Opening new log file:  " + win::DateTimeText(now) + "\r\n";
}

// "yymmdd.log" of the current local date.
std::string DailyLogFileName() {
    win::SYSTEMTIME now;
    win::GetLocalTime(now);
    char name[16];
    std::snprintf(name, sizeof name, "%02u%02u%02u.log", now.wYear % 100u, now.wMonth % 100u,
                  now.wDay % 100u);
    return name;
}

}  // namespace

std::string GetLogFilePath(const std::string& name) {
    const std::string base = GetLogFileLocation();
    const std::string folder = base + "\\POP3Srv";
    if (!base.empty() && !win::DirectoryExists(folder)) win::ForceDirectories(folder);
    const std::string path = folder + "\\" + name;
    if (!win::FileExists(path)) {
        win::TextAppendFile file(path);
        if (file.IsOpen()) file.Puts(HeaderLine());
    }
    return path;
}

void WriteLog(const std::string& text) {
    if (!GetLoggingEnabled()) return;
    const std::string path = GetLogFilePath(DailyLogFileName());
    if (path.empty()) return;
    win::TextAppendFile file(path);
    if (!file.IsOpen()) return;
    file.Puts(text);
}

}  // namespace vrel
