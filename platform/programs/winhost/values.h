// Value texts of the admin command line: numbers given in decimal or 0x hex, binary data
// given and shown as hex digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winhost {

// A DWORD: decimal digits or "0x" and hex digits, at most 0xFFFFFFFF.
std::optional<std::uint32_t> ParseDword(std::string_view text);
// Binary data: pairs of hex digits.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);
std::string HexText(const std::vector<std::uint8_t>& bytes);

// The argument after a switch ("/t REG_SZ"), or nothing when the switch ends the line.
std::optional<std::string> SwitchArgument(const std::vector<std::string>& args, std::size_t& at);
// "/x" or "-x", ignoring case.
bool IsSwitch(std::string_view arg, std::string_view name);

}  // namespace winhost
