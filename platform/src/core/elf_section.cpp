#include "core/elf_section.h"

#include <elf.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

namespace win {
namespace fs = std::filesystem;

namespace {

constexpr unsigned char kNativeData =
    std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
// Far above any section-name table of a real program; bounds what a bad file can make us
// allocate.
constexpr std::uint64_t kMaxNameTable = 16u << 20;

class ElfFile {
  public:
    explicit ElfFile(const fs::path& file) : stream_(file, std::ios::binary) {
        std::error_code error;
        size_ = fs::file_size(file, error);
        if (error) size_ = 0;
    }

    bool Read(std::uint64_t offset, void* out, std::uint64_t count) {
        if (!stream_ || offset > size_ || count > size_ - offset) return false;
        stream_.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(
            stream_.read(static_cast<char*>(out), static_cast<std::streamsize>(count)));
    }

    std::optional<std::vector<char>> ReadSection(const Elf64_Shdr& header, std::uint64_t maxSize) {
        if (header.sh_type == SHT_NOBITS || header.sh_size > maxSize) return std::nullopt;
        std::vector<char> bytes(header.sh_size);
        if (!Read(header.sh_offset, bytes.data(), bytes.size())) return std::nullopt;
        return bytes;
    }

  private:
    std::ifstream stream_;
    std::uint64_t size_ = 0;
};

bool IsNativeElf64(const Elf64_Ehdr& header) {
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == kNativeData &&
           header.e_shentsize == sizeof(Elf64_Shdr) && header.e_shnum > 0 &&
           header.e_shstrndx < header.e_shnum;
}

bool NameAt(const std::vector<char>& names, std::uint32_t offset, std::string_view name) {
    if (offset >= names.size() || names.size() - offset <= name.size()) return false;
    return std::string_view(names.data() + offset, name.size()) == name &&
           names[offset + name.size()] == '\0';
}

}  // namespace

std::optional<std::vector<char>> ReadElfSection(const fs::path& file, std::string_view name,
                                                std::size_t maxSize) {
    ElfFile elf(file);
    Elf64_Ehdr header;
    if (!elf.Read(0, &header, sizeof header) || !IsNativeElf64(header)) return std::nullopt;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!elf.Read(header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return std::nullopt;
    }
    const auto names = elf.ReadSection(sections[header.e_shstrndx], kMaxNameTable);
    if (!names) return std::nullopt;
    for (const Elf64_Shdr& section : sections) {
        if (NameAt(*names, section.sh_name, name)) return elf.ReadSection(section, maxSize);
    }
    return std::nullopt;
}

void WriteElfSection(const fs::path& file, std::string_view name, std::span<const char> bytes) {
    std::string names(1, '\0');
    const auto sectionName = static_cast<Elf64_Word>(names.size());
    names.append(name).push_back('\0');
    const auto tableName = static_cast<Elf64_Word>(names.size());
    names.append(".shstrtab").push_back('\0');

    const std::uint64_t dataOffset = sizeof(Elf64_Ehdr);
    const std::uint64_t namesOffset = dataOffset + bytes.size();
    const std::uint64_t headersOffset = (namesOffset + names.size() + 7) / 8 * 8;

    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = kNativeData;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_version = EV_CURRENT;
    header.e_shoff = headersOffset;
    header.e_ehsize = sizeof(Elf64_Ehdr);
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 3;
    header.e_shstrndx = 2;

    Elf64_Shdr sections[3]{};
    sections[1] = {sectionName, SHT_PROGBITS, SHF_ALLOC, 0, dataOffset, bytes.size(), 0, 0, 1, 0};
    sections[2] = {tableName, SHT_STRTAB, 0, 0, namesOffset, names.size(), 0, 0, 1, 0};

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.write(names.data(), static_cast<std::streamsize>(names.size()));
    const std::string padding(headersOffset - namesOffset - names.size(), '\0');
    out.write(padding.data(), static_cast<std::streamsize>(padding.size()));
    out.write(reinterpret_cast<const char*>(sections), sizeof sections);
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace win
