// The version block's layout (see platform/version.h): parsing a block that came from a
// program file. The writer, MakeVersionBlock, is public.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace win {

inline constexpr std::size_t kMaxVersionBlock = 0xFFFF;
inline constexpr std::size_t kVersionHeaderSize = 16;

struct VersionEntry {
    std::string_view table;
    std::string_view key;
    std::string_view value;  // followed by a NUL in the block
};
struct VersionBlockView {
    std::span<const char> translations;
    std::vector<VersionEntry> strings;
};

// The length the block's header gives, when the bytes start with a header.
std::optional<std::uint32_t> VersionBlockLength(std::span<const char> bytes);
// The block's contents, when the whole block (exactly its header's length) parses.
std::optional<VersionBlockView> ParseVersionBlock(std::span<const char> bytes);

}  // namespace win
