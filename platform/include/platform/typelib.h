// Type library registration under HKEY_CLASSES_ROOT\TypeLib, as RegisterTypeLib and
// UnRegisterTypeLib of the OLE Automation library write and remove it.
//
// A program carries its type library as a TypeLibData constant instead of a binary
// resource; only what registration and the programs read of it is kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "platform/hresult.h"

namespace win {

struct TypeLibInterface {
    std::string name;
    IID iid;
};

struct TypeLibCoClass {
    std::string name;
    CLSID clsid;
    std::string helpString;
    std::vector<TypeLibInterface> interfaces;  // the default interface first
};

struct TypeLibData {
    std::string name;
    GUID libid;
    std::uint16_t majorVersion = 1;
    std::uint16_t minorVersion = 0;
    std::uint32_t lcid = 0;
    std::string helpString;
    std::vector<TypeLibCoClass> coClasses;
};

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1 };

// Writes HKCR\TypeLib\{LIBID}\<major.minor> (default value: the help string, else the
// name), its <lcid>\win32 path, FLAGS and HELPDIR (helpDir, or the folder of fullPath
// when empty). Versions are written in hexadecimal, as Windows does.
HRESULT RegisterTypeLib(const TypeLibData& typeLib, const std::string& fullPath,
                        const std::string& helpDir);
// Removes that version; the LIBID key goes with its last version. TYPE_E_REGISTRYACCESS
// when the version is not registered.
HRESULT UnRegisterTypeLib(const GUID& libid, std::uint16_t majorVersion, std::uint16_t minorVersion,
                          std::uint32_t lcid, SYSKIND sysKind);

}  // namespace win
