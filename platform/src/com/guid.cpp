// GUID creation and text forms. Randomness comes from the kernel; the text form is the
// registry's, upper case.
#include "platform/guid.h"

#include <sys/random.h>

#include <cstdio>

namespace win {

HRESULT CoCreateGuid(GUID& guid) {
    std::uint8_t bytes[16];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (n < 0) return E_FAIL;
        filled += static_cast<std::size_t>(n);
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // variant 1
    guid = detail::GuidFromBytes(bytes);
    return S_OK;
}

std::string StringFromGUID2(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

HRESULT CLSIDFromString(std::string_view text, CLSID& clsid) {
    return detail::ParseGuid(text, clsid) ? S_OK : CO_E_CLASSSTRING;
}

}  // namespace win
