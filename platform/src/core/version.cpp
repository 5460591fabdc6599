#include "platform/version.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/elf_section.h"
#include "core/store_guard.h"
#include "core/version_block.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace win {
namespace fs = std::filesystem;

namespace {

// Programs are built without the ".exe" that their Windows names carry.
fs::path ProgramFile(std::string_view fileName) {
    fs::path file = ToHostPath(fileName);
    std::error_code error;
    if (!fs::exists(file, error) && SameText(file.extension().string(), ".exe")) {
        file.replace_extension();
    }
    return file;
}

// The file's block, exactly as long as its header says, once the whole of it parses.
std::optional<std::vector<char>> LoadVersionBlock(std::string_view fileName) {
    const fs::path file = ProgramFile(fileName);
    if (!detail::MayUse(file, detail::StoreUse::Read)) return std::nullopt;
    auto section = ReadElfSection(file, kVersionSectionName, kMaxVersionBlock);
    if (!section || !ParseVersionBlock(*section)) return std::nullopt;
    // The linker may pad the section beyond the block.
    section->resize(*VersionBlockLength(*section));
    return section;
}

std::vector<std::string_view> SubBlockParts(std::string_view subBlock) {
    std::vector<std::string_view> parts;
    while (!subBlock.empty()) {
        const std::size_t end = std::min(subBlock.find('\\'), subBlock.size());
        if (end > 0) parts.push_back(subBlock.substr(0, end));
        subBlock.remove_prefix(std::min(end + 1, subBlock.size()));
    }
    return parts;
}

}  // namespace

DWORD GetFileVersionInfoSize(std::string_view fileName) {
    const std::optional<std::vector<char>> block = LoadVersionBlock(fileName);
    return block ? static_cast<DWORD>(block->size()) : 0;
}

bool GetFileVersionInfo(std::string_view fileName, DWORD size, void* data) {
    const std::optional<std::vector<char>> block = LoadVersionBlock(fileName);
    if (!block || block->size() > size) return false;
    std::memcpy(data, block->data(), block->size());
    return true;
}

bool VerQueryValue(const void* block, std::string_view subBlock, const void** buffer,
                   unsigned* length) {
    const auto* bytes = static_cast<const char*>(block);
    const std::optional<std::uint32_t> blockLength =
        VersionBlockLength(std::span(bytes, kVersionHeaderSize));
    if (!blockLength) return false;
    const std::optional<VersionBlockView> view = ParseVersionBlock(std::span(bytes, *blockLength));
    if (!view) return false;

    const std::vector<std::string_view> parts = SubBlockParts(subBlock);
    if (parts.size() == 2 && SameText(parts[0], "VarFileInfo") &&
        SameText(parts[1], "Translation") && !view->translations.empty()) {
        *buffer = view->translations.data();
        *length = static_cast<unsigned>(view->translations.size());
        return true;
    }
    if (parts.size() != 3 || !SameText(parts[0], "StringFileInfo")) return false;
    for (const VersionEntry& entry : view->strings) {
        if (SameText(entry.table, parts[1]) && SameText(entry.key, parts[2])) {
            *buffer = entry.value.data();
            *length = static_cast<unsigned>(entry.value.size() + 1);
            return true;
        }
    }
    return false;
}

void WriteVersionFile(const fs::path& file, std::span<const char> block) {
    WriteElfSection(file, kVersionSectionName, block);
}

}  // namespace win
