// Reading and writing single fields of an arriving message's SMTP envelope, as the arrival
// sink and its log line do it. A missing field, an unreadable value or a value without a
// text form reads as nothing; a write commits (Update) only when the value was taken.
// Field values come from the SMTP service and carry the sender's text: they are only
// copied, never interpreted beyond the recipient list's "SMTP:" entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/cdo.h"

namespace vrel {

std::optional<std::string> ReadEnvelopeText(const win::Fields& fields, std::string_view name);

// Sets the field and, only when that succeeded, calls Update on the fields.
void WriteEnvelopeField(win::Fields& fields, std::string_view name, const win::VARIANT& value);

}  // namespace vrel
