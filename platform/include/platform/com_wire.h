// The byte form of COM requests and replies between processes: little-endian integers
// and length-prefixed texts. Interfaces that marshal their arguments by value write them
// with WireWriter and read them with WireReader.
//
// A reader trusts nothing: every read checks the remaining length and fails instead of
// reading past the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/guid.h"

namespace win {

class WireWriter {
  public:
    WireWriter& U8(std::uint8_t value);
    WireWriter& U32(std::uint32_t value);
    WireWriter& I32(std::int32_t value);
    WireWriter& Text(std::string_view text);
    WireWriter& Guid(const GUID& guid);
    const std::string& Bytes() const { return bytes_; }
    std::string Take() { return std::move(bytes_); }

  private:
    std::string bytes_;
};

class WireReader {
  public:
    explicit WireReader(std::string_view bytes) : rest_(bytes) {}
    // Each read returns false, and leaves the value unspecified, when the bytes run out.
    bool U8(std::uint8_t& value);
    bool U32(std::uint32_t& value);
    bool I32(std::int32_t& value);
    bool Text(std::string& text);
    bool Guid(GUID& guid);
    bool AtEnd() const { return rest_.empty(); }

  private:
    bool Take(std::size_t size, std::string_view& bytes);
    std::string_view rest_;
};

}  // namespace win
