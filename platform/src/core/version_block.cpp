#include "core/version_block.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/version.h"

namespace win {

namespace {

constexpr char kMagic[4] = {'V', 'R', 'V', 'I'};

class BlockWriter {
  public:
    void Bytes(const void* data, std::size_t count) {
        const char* begin = static_cast<const char*>(data);
        bytes_.insert(bytes_.end(), begin, begin + count);
    }
    void U16(std::size_t value) { Integer(value, 2); }
    void U32(std::size_t value) { Integer(value, 4); }
    void Text(std::string_view text) {
        U16(text.size());
        Bytes(text.data(), text.size());
        bytes_.push_back('\0');
    }
    std::vector<char> Finish() {
        if (bytes_.size() > kMaxVersionBlock) throw std::length_error("version block too large");
        const std::vector<char> total = Encoded(bytes_.size(), 4);
        std::copy(total.begin(), total.end(), bytes_.begin() + 4);
        return std::move(bytes_);
    }

  private:
    static std::vector<char> Encoded(std::size_t value, int width) {
        std::vector<char> out;
        for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        return out;
    }
    void Integer(std::size_t value, int width) {
        const std::vector<char> encoded = Encoded(value, width);
        bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
    }

    std::vector<char> bytes_;
};

// Reads the block front to back; any read past its end marks it bad and yields zeros.
class BlockReader {
  public:
    explicit BlockReader(std::span<const char> bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && position_ == bytes_.size(); }

    std::span<const char> Bytes(std::size_t count) {
        if (!ok_ || count > bytes_.size() - position_) {
            ok_ = false;
            return {};
        }
        const std::span<const char> result = bytes_.subspan(position_, count);
        position_ += count;
        return result;
    }
    std::uint32_t U16() { return Integer(2); }
    std::uint32_t U32() { return Integer(4); }
    std::string_view Text() {
        const std::size_t length = U16();
        const std::span<const char> text = Bytes(length + 1);
        if (!ok_ || text.back() != '\0') {
            ok_ = false;
            return {};
        }
        return std::string_view(text.data(), length);
    }

  private:
    std::uint32_t Integer(std::size_t width) {
        std::uint32_t value = 0;
        const std::span<const char> bytes = Bytes(width);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
        }
        return value;
    }

    std::span<const char> bytes_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

}  // namespace

std::vector<char> MakeVersionBlock(const VersionResource& resource) {
    BlockWriter writer;
    writer.Bytes(kMagic, sizeof kMagic);
    writer.U32(0);  // total length, set by Finish
    writer.U32(resource.translations.size());
    writer.U32(resource.stringTables.size());
    for (DWORD translation : resource.translations) writer.U32(translation);
    for (const VersionStringTable& table : resource.stringTables) {
        writer.Text(table.name);
        writer.U16(table.strings.size());
        for (const auto& [key, value] : table.strings) {
            writer.Text(key);
            writer.Text(value);
        }
    }
    return writer.Finish();
}

std::optional<std::uint32_t> VersionBlockLength(std::span<const char> bytes) {
    BlockReader reader(bytes);
    const std::span<const char> magic = reader.Bytes(sizeof kMagic);
    const std::uint32_t length = reader.U32();
    if (!reader.Ok() || std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
    if (length < kVersionHeaderSize || length > kMaxVersionBlock) return std::nullopt;
    return length;
}

std::optional<VersionBlockView> ParseVersionBlock(std::span<const char> bytes) {
    const std::optional<std::uint32_t> length = VersionBlockLength(bytes);
    if (!length || *length > bytes.size()) return std::nullopt;
    BlockReader reader(bytes.first(*length));
    reader.Bytes(8);
    const std::uint32_t translationCount = reader.U32();
    const std::uint32_t tableCount = reader.U32();
    VersionBlockView view;
    // Counts come from the file: each entry takes at least 4 bytes, so a count beyond the
    // block's length is bad before anything is reserved for it.
    if (translationCount > *length / 4 || tableCount > *length / 4) return std::nullopt;
    view.translations = reader.Bytes(std::size_t{translationCount} * 4);
    for (std::uint32_t t = 0; t < tableCount && reader.Ok(); ++t) {
        const std::string_view table = reader.Text();
        const std::uint32_t stringCount = reader.U16();
        for (std::uint32_t s = 0; s < stringCount && reader.Ok(); ++s) {
            const std::string_view key = reader.Text();
            const std::string_view value = reader.Text();
            view.strings.push_back({table, key, value});
        }
    }
    if (!reader.AtEnd()) return std::nullopt;
    return view;
}

}  // namespace win
