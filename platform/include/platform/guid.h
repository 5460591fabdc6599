// GUIDs: class, interface and library identifiers, and the registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// Constants are parsed at compile time (GuidFromText), so a malformed literal does not
// build. Text from the registry or a caller is parsed with CLSIDFromString, which trusts
// nothing and reports a bad form as CO_E_CLASSSTRING.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace win {

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;

namespace detail {

constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The GUID of 16 bytes in text order.
constexpr GUID GuidFromBytes(const std::uint8_t (&bytes)[16]) {
    GUID guid;
    guid.Data1 =
        static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
    return guid;
}

// Reads the 32 hex digits of the braced form; false on any other shape.
constexpr bool ParseGuid(std::string_view text, GUID& guid) {
    constexpr std::string_view kShape = "{........-....-....-....-............}";
    if (text.size() != kShape.size()) return false;
    std::uint8_t bytes[16] = {};
    int nibble = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] != '.') {
            if (text[i] != kShape[i]) return false;
            continue;
        }
        const int digit = HexDigit(text[i]);
        if (digit < 0) return false;
        bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] << 4 | digit);
        ++nibble;
    }
    guid = GuidFromBytes(bytes);
    return true;
}

}  // namespace detail

// A GUID constant from its braced text; throws (a compile error in a constant) when the
// text is not of that form.
constexpr GUID GuidFromText(std::string_view text) {
    GUID guid;
    if (!detail::ParseGuid(text, guid)) throw std::invalid_argument("malformed GUID");
    return guid;
}

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_IUnknown = GuidFromText("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IID_IDispatch = GuidFromText("{00020400-0000-0000-C000-000000000046}");

// A new random GUID (version 4).
HRESULT CoCreateGuid(GUID& guid);
// The registry form in upper case, 38 characters with the braces.
std::string StringFromGUID2(const GUID& guid);
// Parses the braced form, digits of either case; CO_E_CLASSSTRING for anything else.
HRESULT CLSIDFromString(std::string_view text, CLSID& clsid);

}  // namespace win
