// Byte form of COM requests and replies; see com_wire.h.
#include "platform/com_wire.h"

namespace win {

WireWriter& WireWriter::U8(std::uint8_t value) {
    bytes_.push_back(static_cast<char>(value));
    return *this;
}

WireWriter& WireWriter::U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<char>(value >> shift));
    return *this;
}

WireWriter& WireWriter::I32(std::int32_t value) {
    return U32(static_cast<std::uint32_t>(value));
}

WireWriter& WireWriter::Text(std::string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    bytes_.append(text);
    return *this;
}

WireWriter& WireWriter::Guid(const GUID& guid) {
    return Text(StringFromGUID2(guid));
}

bool WireReader::Take(std::size_t size, std::string_view& bytes) {
    if (size > rest_.size()) return false;
    bytes = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return true;
}

bool WireReader::U8(std::uint8_t& value) {
    std::string_view bytes;
    if (!Take(1, bytes)) return false;
    value = static_cast<std::uint8_t>(bytes[0]);
    return true;
}

bool WireReader::U32(std::uint32_t& value) {
    std::string_view bytes;
    if (!Take(4, bytes)) return false;
    value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    return true;
}

bool WireReader::I32(std::int32_t& value) {
    std::uint32_t bits;
    if (!U32(bits)) return false;
    value = static_cast<std::int32_t>(bits);
    return true;
}

bool WireReader::Text(std::string& text) {
    std::uint32_t size;
    std::string_view bytes;
    if (!U32(size) || !Take(size, bytes)) return false;
    text.assign(bytes);
    return true;
}

bool WireReader::Guid(GUID& guid) {
    std::string text;
    return Text(text) && SUCCEEDED(CLSIDFromString(text, guid));
}

}  // namespace win
