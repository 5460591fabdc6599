#include "agent/envelope.h"

namespace vrel {

std::optional<std::string> ReadEnvelopeText(const win::Fields& fields, std::string_view name) {
    std::shared_ptr<win::Field> field;
    if (win::FAILED(fields.get_Item(name, field)) || !field) return std::nullopt;
    win::VARIANT value;
    if (win::FAILED(field->get_Value(value))) return std::nullopt;
    return win::VariantToText(value);
}

void WriteEnvelopeField(win::Fields& fields, std::string_view name, const win::VARIANT& value) {
    std::shared_ptr<win::Field> field;
    if (win::FAILED(fields.get_Item(name, field)) || !field) return;
    if (win::SUCCEEDED(field->put_Value(value))) fields.Update();
}

}  // namespace vrel
