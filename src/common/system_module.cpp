#include "common/system_module.h"

namespace vrel {

std::unique_ptr<TSystemModule> SystemModule;

std::string GetVersionText(const TWSAExeVersion& versionInfo) {
    const std::string version = versionInfo.GetFileVersion();
    const std::size_t dot = version.rfind('.');
    if (dot == std::string::npos) return "";
    return "Version: " + version.substr(0, dot) + " Build (" + version.substr(dot + 1) + ")";
}

std::string GetVersionText() {
    return GetVersionText(SystemModule->VersionInfo);
}

}  // namespace vrel
