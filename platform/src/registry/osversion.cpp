// GetVersionEx over the machine's version data; see osversion.h.
#include "platform/osversion.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace win {
namespace {

struct MachineVersion {
    bool basic = true;
    bool extended = true;
    OSVERSIONINFOEXA record;
};

std::int32_t IntegerOr(TRegistry& registry, std::string_view name, std::int32_t fallback) {
    return registry.ValueExists(name) ? registry.ReadInteger(name) : fallback;
}

std::string StringOf(TRegistry& registry, std::string_view name) {
    return registry.ValueExists(name) ? registry.ReadString(name) : std::string();
}

void ReadCurrentVersion(OSVERSIONINFOEXA& record) {
    TRegistry registry;
    if (!registry.OpenKeyReadOnly("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")) return;
    const std::string version = StringOf(registry, "CurrentVersion");
    char* minor = nullptr;
    record.dwMajorVersion = static_cast<DWORD>(std::strtoul(version.c_str(), &minor, 10));
    if (*minor == '.')
        record.dwMinorVersion = static_cast<DWORD>(std::strtoul(minor + 1, nullptr, 10));
    record.dwBuildNumber = static_cast<DWORD>(
        std::strtoul(StringOf(registry, "CurrentBuildNumber").c_str(), nullptr, 10));
    const std::string servicePack = StringOf(registry, "CSDVersion");
    std::strncpy(record.szCSDVersion, servicePack.c_str(), sizeof record.szCSDVersion - 1);
}

MachineVersion ReadMachineVersion() {
    MachineVersion machine;
    ReadCurrentVersion(machine.record);
    TRegistry registry;
    if (!registry.OpenKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Version")) {
        return machine;
    }
    OSVERSIONINFOEXA& record = machine.record;
    record.dwPlatformId = static_cast<DWORD>(IntegerOr(registry, "PlatformId", 0));
    record.wServicePackMajor = static_cast<WORD>(IntegerOr(registry, "ServicePackMajor", 0));
    record.wServicePackMinor = static_cast<WORD>(IntegerOr(registry, "ServicePackMinor", 0));
    record.wSuiteMask = static_cast<WORD>(IntegerOr(registry, "SuiteMask", 0));
    record.wProductType = static_cast<std::uint8_t>(IntegerOr(registry, "ProductType", 0));
    machine.extended = IntegerOr(registry, "ExtendedRecord", 1) != 0;
    machine.basic = IntegerOr(registry, "BasicRecord", 1) != 0;
    return machine;
}

}  // namespace

bool GetVersionExA(OSVERSIONINFOA& info) {
    const MachineVersion machine = ReadMachineVersion();
    if (info.dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) || !machine.basic) {
        return SetLastError(ERROR_INVALID_PARAMETER), false;
    }
    info = machine.record;  // the basic part only
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    return true;
}

bool GetVersionExA(OSVERSIONINFOEXA& info) {
    if (info.dwOSVersionInfoSize == sizeof(OSVERSIONINFOA)) {
        return GetVersionExA(static_cast<OSVERSIONINFOA&>(info));
    }
    const MachineVersion machine = ReadMachineVersion();
    if (info.dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA) || !machine.basic ||
        !machine.extended) {
        return SetLastError(ERROR_INVALID_PARAMETER), false;
    }
    info = machine.record;
    info.dwOSVersionInfoSize = sizeof info;
    return true;
}

}  // namespace win
