// Version resources: the version-information functions of Windows over a version block
// that the build stores in the ELF section ".vrel_version" of each program file.
//
// Readers: the suite's version reader (GetFileVersionInfoSize, GetFileVersionInfo,
// VerQueryValue). Writers: the build's resource compiler (tool "verrc") and tests that
// need a program file with a block of their own (WriteVersionFile).
//
// A program file is untrusted input: a file that is no 64-bit ELF file of this host's byte
// order, has no version section, or whose block does not parse as a whole has no version
// resource (size 0). VerQueryValue trusts a block only as far as GetFileVersionInfo
// checked it.
//
// Block layout (integers little-endian; every text is 8-bit and followed by a NUL):
//   "VRVI"  u32 total length  u32 translation count  u32 string-table count
//   u32 translation[count]       language in the low word, code page in the high word
//   per string table: u16 name length, name, NUL, u16 string count,
//     per string: u16 key length, key, NUL, u16 value length, value, NUL
// A block is at most 65535 bytes, as a Windows version resource is. An empty translation
// list means the block has no "\VarFileInfo\Translation".
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace win {

using DWORD = std::uint32_t;

// Size of the version block of a program file given by Windows path ("X.exe" also finds
// the host file "X"); 0 when it has none.
DWORD GetFileVersionInfoSize(std::string_view fileName);
// Copies the block into data; false when the file has no block or size is too small.
bool GetFileVersionInfo(std::string_view fileName, DWORD size, void* data);
// Queries a loaded block. "\VarFileInfo\Translation" gives the translation array (length in
// bytes); "\StringFileInfo\<table>\<key>" gives the NUL-terminated value (length in
// characters, terminator included). Table and key names compare without case. buffer
// points into block.
bool VerQueryValue(const void* block, std::string_view subBlock, const void** buffer,
                   unsigned* length);

// What the resource compiler writes into a block.
struct VersionStringTable {
    std::string name;  // "040904E4"
    std::vector<std::pair<std::string, std::string>> strings;
};
struct VersionResource {
    std::vector<DWORD> translations;
    std::vector<VersionStringTable> stringTables;
};

inline constexpr DWORD kTranslationUsEnglish1252 = 0x04E40409;
inline constexpr const char* kVersionSectionName = ".vrel_version";

// The block of a resource; throws std::length_error when it exceeds 65535 bytes.
std::vector<char> MakeVersionBlock(const VersionResource& resource);
// Writes a small ELF file whose version section holds exactly these bytes.
void WriteVersionFile(const std::filesystem::path& file, std::span<const char> block);

}  // namespace win
