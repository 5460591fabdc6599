// COM result codes and the OLE Automation VARIANT, as far as the machine's COM-style
// interfaces (ADSI and the metabase) hand values across.
//
// HRESULT keeps the Windows numbers, so callers can test them exactly as on Windows. VARIANT
// holds the few types these interfaces produce; BSTR text is kept as 8-bit text (the suite's
// code page), since every caller converts it to 8-bit text anyway.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace win {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) {
    return error == 0 ? 0 : MakeHResult(0x80070000u | (error & 0xFFFFu));
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
inline constexpr HRESULT MK_E_SYNTAX = MakeHResult(0x800401E4u);

enum VARTYPE : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_UI1 = 17,
    VT_ARRAY = 0x2000,
};

class VARIANT {
  public:
    using Bytes = std::vector<std::uint8_t>;

    VARIANT() = default;
    VARIANT(std::int32_t value) : value_(value) {}
    VARIANT(std::string value) : value_(std::move(value)) {}
    VARIANT(const char* value) : value_(std::string(value)) {}
    VARIANT(Bytes value) : value_(std::move(value)) {}
    static VARIANT Null() {
        VARIANT null;
        null.value_ = NullValue{};
        return null;
    }

    // VT_EMPTY, VT_NULL, VT_I4, VT_BSTR or VT_ARRAY | VT_UI1.
    std::uint16_t vt() const;
    std::int32_t lVal() const { return std::get<std::int32_t>(value_); }
    const std::string& bstrVal() const { return std::get<std::string>(value_); }
    const Bytes& bytes() const { return std::get<Bytes>(value_); }

    friend bool operator==(const VARIANT&, const VARIANT&) = default;

  private:
    struct NullValue {
        friend bool operator==(NullValue, NullValue) = default;
    };
    std::variant<std::monostate, NullValue, std::int32_t, std::string, Bytes> value_;
};

// The standard conversion to text: empty and null give "", a number its decimal digits, a
// text itself; an array has no text form and gives nothing.
std::optional<std::string> VariantToText(const VARIANT& value);

}  // namespace win
