// GetVersionEx: the Windows version the machine poses as.
//
// The version is data of the machine, so a test can pose as any Windows:
//   HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion
//     CurrentVersion      "major.minor"
//     CurrentBuildNumber  the build number in decimal
//     CSDVersion          the service-pack text (absent: empty)
//   HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine\Version
//     PlatformId          0 Win32s, 1 Windows 95/98/Me, 2 NT family
//     ServicePackMajor, ServicePackMinor, SuiteMask, ProductType (1 workstation, 2 domain
//                         controller, 3 server): the extended record's fields
//     ExtendedRecord      0: only the basic record is given (as NT 4.0 before service
//                         pack 6)
//     BasicRecord         0: no record at all
// A new machine is Windows Server 2003 Standard Edition, Service Pack 2, build 3790; a value
// that is missing reads as 0 (the two record switches as 1). The ProductOptions key and the
// hotfix keys are read by the callers themselves, as on Windows.
#pragma once

#include <cstdint>

#include "platform/winerror.h"

namespace win {

inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

inline constexpr WORD VER_SUITE_ENTERPRISE = 0x0002;
inline constexpr WORD VER_SUITE_TERMINAL = 0x0010;
inline constexpr WORD VER_SUITE_DATACENTER = 0x0080;
inline constexpr WORD VER_SUITE_SINGLEUSERTS = 0x0100;
inline constexpr WORD VER_SUITE_PERSONAL = 0x0200;
inline constexpr WORD VER_SUITE_BLADE = 0x0400;

inline constexpr std::uint8_t VER_NT_WORKSTATION = 1;
inline constexpr std::uint8_t VER_NT_DOMAIN_CONTROLLER = 2;
inline constexpr std::uint8_t VER_NT_SERVER = 3;

// The records, laid out as Windows lays them out (148 and 156 bytes); dwOSVersionInfoSize
// tells GetVersionEx which one the caller passes.
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize = 0;
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
struct OSVERSIONINFOEXA : OSVERSIONINFOA {
    WORD wServicePackMajor = 0;
    WORD wServicePackMinor = 0;
    WORD wSuiteMask = 0;
    std::uint8_t wProductType = 0;
    std::uint8_t wReserved = 0;
};
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(OSVERSIONINFOEXA) == 156);

// Fills the record whose size field is set: 148 the basic record, 156 the extended one.
// Fails with ERROR_INVALID_PARAMETER for another size or a record the machine does not give;
// the record is then left as it was.
bool GetVersionExA(OSVERSIONINFOA& info);
bool GetVersionExA(OSVERSIONINFOEXA& info);

}  // namespace win
