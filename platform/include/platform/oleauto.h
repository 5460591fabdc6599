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

#include "platform/winerror.h"

namespace win {

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
