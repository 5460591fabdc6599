#include "platform/oleauto.h"

namespace win {

std::uint16_t VARIANT::vt() const {
    switch (value_.index()) {
        case 1:
            return VT_NULL;
        case 2:
            return VT_I4;
        case 3:
            return VT_BSTR;
        case 4:
            return VT_ARRAY | VT_UI1;
        default:
            return VT_EMPTY;
    }
}

std::optional<std::string> VariantToText(const VARIANT& value) {
    switch (value.vt()) {
        case VT_EMPTY:
        case VT_NULL:
            return std::string();
        case VT_I4:
            return std::to_string(value.lVal());
        case VT_BSTR:
            return value.bstrVal();
        default:
            return std::nullopt;
    }
}

}  // namespace win
