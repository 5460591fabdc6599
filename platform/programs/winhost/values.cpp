#include "values.h"

#include <charconv>

#include "platform/text.h"

namespace winhost {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::optional<std::uint32_t> ParseDigits(std::string_view digits, int base) {
    std::uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::uint32_t> ParseDword(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseDigits(text.substr(2), 16);
    }
    return ParseDigits(text, 10);
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const std::optional<std::uint32_t> byte = ParseDigits(text.substr(at, 2), 16);
        if (!byte) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    return bytes;
}

std::string HexText(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0xF];
    }
    return text;
}

std::optional<std::string> SwitchArgument(const std::vector<std::string>& args, std::size_t& at) {
    if (at + 1 >= args.size()) return std::nullopt;
    return args[++at];
}

bool IsSwitch(std::string_view arg, std::string_view name) {
    return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
           win::SameText(arg.substr(1), name);
}

}  // namespace winhost
