// Named sections of ELF program files: how the machine finds the resources that the build
// stores in a program. Used by the version-resource functions.
//
// Files are untrusted: every offset and size is checked against the file before it is
// read, and a file that is not a 64-bit ELF file of this host's byte order has no sections.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace win {

// The bytes of the named section, or nothing when the file lacks it or holds more than
// maxSize bytes in it.
std::optional<std::vector<char>> ReadElfSection(const std::filesystem::path& file,
                                                std::string_view name, std::size_t maxSize);
// Writes an ELF file holding one section with these bytes (and its section-name table).
void WriteElfSection(const std::filesystem::path& file, std::string_view name,
                     std::span<const char> bytes);

}  // namespace win
