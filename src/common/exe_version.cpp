#include "common/exe_version.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/version.h"

namespace vrel {

namespace {

constexpr int kFieldBufferSize = 260;

// The value's parts between runs of "." and "," (at most four), each read as an integer
// of automatic base, its low byte kept; the first part that is not a number ends it.
std::uint32_t PackedNumber(const char* value) {
    std::uint32_t packed = 0;
    int parts = 0;
    const char* cursor = value;
    while (parts < 4) {
        cursor += std::strspn(cursor, ".,");
        if (*cursor == '\0') break;
        const std::string part(cursor, std::strcspn(cursor, ".,"));
        char* end = nullptr;
        const unsigned long number = std::strtoul(part.c_str(), &end, 0);
        if (end == part.c_str()) break;
        packed = (packed << 8) | (number & 0xFF);
        ++parts;
        cursor += part.size();
    }
    for (; parts < 4; ++parts) packed <<= 8;
    return packed;
}

// The query path of a field in the block's first translation; false without a translation.
bool FieldPath(const void* block, const char* key, std::string& path) {
    const void* translations = nullptr;
    unsigned length = 0;
    if (!win::VerQueryValue(block, "\\VarFileInfo\\Translation", &translations, &length) ||
        length < sizeof(std::uint32_t)) {
        return false;
    }
    std::uint32_t translation;
    std::memcpy(&translation, translations, sizeof translation);
    translation = (translation << 16) | (translation >> 16);  // language first
    char table[9];
    std::snprintf(table, sizeof table, "%08x", static_cast<unsigned>(translation));
    path = std::string("\\StringFileInfo\\") + table + "\\" + key;
    return true;
}

}  // namespace

TWSAExeVersion::TWSAExeVersion() : fileName_(win::GetModuleFileName()) {}

TWSAExeVersion::TWSAExeVersion(std::string fileName) : fileName_(std::move(fileName)) {}

int TWSAExeVersion::GetFileVersionField(const char* fileName, const char* key, char* buffer,
                                        int bufferSize, std::uint32_t* packedNumber) {
    if (packedNumber) *packedNumber = 0;
    const win::DWORD size = win::GetFileVersionInfoSize(fileName);
    if (size == 0) return 0;
    std::vector<char> block(size);
    if (!win::GetFileVersionInfo(fileName, size, block.data())) return 0;
    std::string path;
    if (!FieldPath(block.data(), key, path)) return 0;
    const void* found = nullptr;
    unsigned length = 0;
    if (!win::VerQueryValue(block.data(), path, &found, &length)) return 0;

    const char* value = static_cast<const char*>(found);
    const std::size_t n = std::strlen(value);
    if (buffer && bufferSize >= 1) {
        std::memcpy(buffer, value, std::min(n + 1, static_cast<std::size_t>(bufferSize - 1)));
        buffer[bufferSize - 1] = '\0';
    }
    if (packedNumber) *packedNumber = PackedNumber(value);
    return static_cast<int>(n);
}

std::string TWSAExeVersion::Field(const char* key) const {
    char buffer[kFieldBufferSize];
    std::uint32_t packed;
    if (GetFileVersionField(fileName_.c_str(), key, buffer, kFieldBufferSize, &packed) == 0) {
        return "";
    }
    return win::Trim(buffer);
}

std::string TWSAExeVersion::GetCompanyName() const {
    return Field("CompanyName");
}
std::string TWSAExeVersion::GetFileDescription() const {
    return Field("FileDescription");
}
std::string TWSAExeVersion::GetFileVersion() const {
    return Field("FileVersion");
}
std::string TWSAExeVersion::GetInternalName() const {
    return Field("InternalName");
}
std::string TWSAExeVersion::GetLegalCopyright() const {
    return Field("LegalCopyright");
}
std::string TWSAExeVersion::GetLegalTrademarks() const {
    return Field("LegalTrademarks");
}
std::string TWSAExeVersion::GetOriginalFilename() const {
    return Field("OriginalFilename");
}
std::string TWSAExeVersion::GetProductName() const {
    return Field("ProductName");
}
std::string TWSAExeVersion::GetProductVersion() const {
    return Field("ProductVersion");
}
std::string TWSAExeVersion::GetComments() const {
    return Field("Comments");
}

std::string TWSAExeVersion::GetMajorVersion() const {
    const std::string version = GetFileVersion();
    const std::size_t dot = version.find('.');
    return dot == std::string::npos ? "" : version.substr(0, dot);
}

// The index-th of the tokens between runs of ".", counted from 0.
std::string TWSAExeVersion::VersionToken(std::size_t index) const {
    const std::string version = GetFileVersion();
    std::size_t start = version.find_first_not_of('.');
    while (start != std::string::npos) {
        const std::size_t end = std::min(version.find('.', start), version.size());
        if (index-- == 0) return version.substr(start, end - start);
        start = version.find_first_not_of('.', end);
    }
    return "";
}

std::string TWSAExeVersion::GetMinorVersion() const {
    return VersionToken(1);
}
std::string TWSAExeVersion::GetRelease() const {
    return VersionToken(2);
}
std::string TWSAExeVersion::GetBuild() const {
    return VersionToken(3);
}

}  // namespace vrel
