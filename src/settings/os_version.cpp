// Operating-system identification for the setup wizard; see os_version.h.
#include "settings/os_version.h"

#include <optional>

#include "platform/osversion.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace vrel {
namespace {

using win::DWORD;

struct VersionRecord {
    win::OSVERSIONINFOEXA info;
    bool extended = false;
};

// The extended record when the system gives it, else the basic one (its extended fields
// zero); nothing when neither can be read.
std::optional<VersionRecord> ReadVersion() {
    VersionRecord record;
    record.info.dwOSVersionInfoSize = sizeof(win::OSVERSIONINFOEXA);
    record.extended = win::GetVersionExA(record.info);
    if (!record.extended) {
        record.info.dwOSVersionInfoSize = sizeof(win::OSVERSIONINFOA);
        if (!win::GetVersionExA(record.info)) return std::nullopt;
    }
    return record;
}

bool IsVersion(const win::OSVERSIONINFOEXA& info, DWORD major, DWORD minor) {
    return info.dwMajorVersion == major && info.dwMinorVersion == minor;
}

std::string Win9xText(const win::OSVERSIONINFOEXA& info) {
    const char servicePackMark = info.szCSDVersion[0] ? info.szCSDVersion[1] : '\0';
    if (IsVersion(info, 4, 0)) {
        return std::string("Microsoft Windows 95 ") + (servicePackMark == 'C' ? "OSR2 " : "");
    }
    if (IsVersion(info, 4, 10)) {
        return std::string("Microsoft Windows 98 ") + (servicePackMark == 'A' ? "SE " : "");
    }
    if (IsVersion(info, 4, 90)) return "Microsoft Windows Me ";
    return std::string();
}

std::string NtFamilyText(const win::OSVERSIONINFOEXA& info) {
    if (IsVersion(info, 5, 2)) return "Microsoft Windows Server 2003 family, ";
    if (IsVersion(info, 5, 1)) return "Microsoft Windows XP ";
    if (IsVersion(info, 5, 0)) return "Microsoft Windows 2000 ";
    if (info.dwMajorVersion <= 4) return "Microsoft Windows NT ";
    return std::string();
}

std::string ServerProductText(const win::OSVERSIONINFOEXA& info) {
    const auto has = [&info](DWORD suite) { return (info.wSuiteMask & suite) != 0; };
    if (IsVersion(info, 5, 2)) {
        if (has(win::VER_SUITE_DATACENTER)) return "Datacenter Edition ";
        if (has(win::VER_SUITE_ENTERPRISE)) return "Enterprise Edition ";
        if (info.wSuiteMask == win::VER_SUITE_BLADE) return "Web Edition ";
        return "Standard Edition ";
    }
    if (IsVersion(info, 5, 0)) {
        if (has(win::VER_SUITE_DATACENTER)) return "Datacenter Server ";
        if (has(win::VER_SUITE_ENTERPRISE)) return "Advanced Server ";
        return "Server ";
    }
    return has(win::VER_SUITE_ENTERPRISE) ? "Server 4.0, Enterprise Edition " : "Server 4.0 ";
}

std::string ExtendedProductText(const win::OSVERSIONINFOEXA& info) {
    if (info.wProductType == win::VER_NT_WORKSTATION) {
        if (info.dwMajorVersion == 4) return "Workstation 4.0 ";
        if (info.wSuiteMask & win::VER_SUITE_PERSONAL) return "Home Edition ";
        return "Professional ";
    }
    if (info.wProductType == win::VER_NT_SERVER) return ServerProductText(info);
    return std::string();
}

// From the ProductOptions key; nothing when it cannot be read, which empties the whole text.
std::optional<std::string> BasicProductText(const win::OSVERSIONINFOEXA& info) {
    constexpr std::size_t kBufferSize = 1024;
    win::TRegistry registry;
    if (!registry.OpenKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions") ||
        !registry.ValueExists("ProductType")) {
        return std::nullopt;
    }
    const std::optional<win::RegValue> value = registry.GetValue("ProductType");
    if (!value || value->data.size() > kBufferSize) return std::nullopt;
    std::string productType(value->data.begin(), value->data.end());
    productType = productType.substr(0, productType.find('\0'));
    registry.CloseKey();
    std::string text;
    if (win::SameText(productType, "WINNT")) text = "Workstation ";
    if (win::SameText(productType, "LANMANNT")) text = "Server ";
    if (win::SameText(productType, "SERVERNT")) text = "Advanced Server ";
    return text + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
           " ";
}

bool HasHotfix6a() {
    win::TRegistry registry;
    return registry.OpenKeyReadOnly(
        "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009");
}

std::string ServicePackText(const win::OSVERSIONINFOEXA& info) {
    const std::string build = std::to_string(info.dwBuildNumber & 0xFFFF);
    if (info.dwMajorVersion == 4 && win::SameText(info.szCSDVersion, "Service Pack 6") &&
        HasHotfix6a()) {
        return "Service Pack 6a (Build " + build + ")";
    }
    return std::string(info.szCSDVersion) + " (Build " + build + ")";
}

std::string NtText(const VersionRecord& record) {
    std::string text = NtFamilyText(record.info);
    if (record.extended) {
        text += ExtendedProductText(record.info);
    } else {
        const std::optional<std::string> product = BasicProductText(record.info);
        if (!product) return std::string();
        text += *product;
    }
    return text + ServicePackText(record.info);
}

}  // namespace

std::string GetOSVersionText() {
    const std::optional<VersionRecord> record = ReadVersion();
    if (!record) return std::string();
    switch (record->info.dwPlatformId) {
        case win::VER_PLATFORM_WIN32s:
            return "Microsoft Win32s ";
        case win::VER_PLATFORM_WIN32_WINDOWS:
            return Win9xText(record->info);
        case win::VER_PLATFORM_WIN32_NT:
            return NtText(*record);
        default:
            return std::string();
    }
}

bool IsWinNT() {
    const std::optional<VersionRecord> record = ReadVersion();
    return record && record->info.dwPlatformId == win::VER_PLATFORM_WIN32_NT;
}

bool IsNT4OrOlder() {
    const std::optional<VersionRecord> record = ReadVersion();
    return record && record->info.dwPlatformId == win::VER_PLATFORM_WIN32_NT &&
           record->info.dwMajorVersion <= 4;
}

bool IsXPHome() {
    const std::optional<VersionRecord> record = ReadVersion();
    return record && record->info.dwPlatformId == win::VER_PLATFORM_WIN32_NT &&
           (record->info.wSuiteMask & win::VER_SUITE_PERSONAL) != 0;
}

}  // namespace vrel
