// Type library registration in HKCR\TypeLib; see typelib.h.
#include "platform/typelib.h"

#include <cstdio>

#include "platform/registry.h"

namespace win {
namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

std::string LibraryKey(const GUID& libid) {
    return "\\TypeLib\\" + StringFromGUID2(libid);
}

std::string VersionKey(const GUID& libid, std::uint16_t major, std::uint16_t minor) {
    return LibraryKey(libid) + "\\" + Hex(major) + "." + Hex(minor);
}

// The folder part of a Windows path.
std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

HRESULT RegisterTypeLib(const TypeLibData& typeLib, const std::string& fullPath,
                        const std::string& helpDir) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    const std::string key = VersionKey(typeLib.libid, typeLib.majorVersion, typeLib.minorVersion);
    if (!registry.OpenKey(key, true)) return TYPE_E_REGISTRYACCESS;
    registry.WriteString("", typeLib.helpString.empty() ? typeLib.name : typeLib.helpString);
    registry.OpenKey(key + "\\" + Hex(typeLib.lcid) + "\\win32", true);
    registry.WriteString("", fullPath);
    registry.OpenKey(key + "\\FLAGS", true);
    registry.WriteString("", "0");
    registry.OpenKey(key + "\\HELPDIR", true);
    registry.WriteString("", helpDir.empty() ? FolderOf(fullPath) : helpDir);
    return S_OK;
}

HRESULT UnRegisterTypeLib(const GUID& libid, std::uint16_t majorVersion, std::uint16_t minorVersion,
                          std::uint32_t lcid, SYSKIND sysKind) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    const std::string key = VersionKey(libid, majorVersion, minorVersion);
    const char* platform = sysKind == SYS_WIN32 ? "win32" : "win16";
    if (!registry.KeyExists(key + "\\" + Hex(lcid) + "\\" + platform)) {
        return TYPE_E_REGISTRYACCESS;
    }
    registry.DeleteKey(key);
    if (registry.OpenKeyReadOnly(LibraryKey(libid)) && registry.GetKeyNames().empty()) {
        registry.CloseKey();
        registry.DeleteKey(LibraryKey(libid));
    }
    return S_OK;
}

}  // namespace win
