// Internal: 8.3 aliases, computed from the names of a folder alone (see short_names.h).
#include "core/short_names.h"

#include <cstdint>
#include <cstdio>

#include "platform/text.h"

namespace win::detail {
namespace {

bool IsLegal(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

std::string Legal(std::string_view text, std::size_t count) {
    std::string result;
    for (const char c : text) {
        if (result.size() == count) break;
        if (IsLegal(c)) result += c;
    }
    return UpperCase(result);
}

struct Parts {
    std::string_view base;
    std::string_view extension;
};

// Leading dots are no extension separator (".profile" has the base "profile").
Parts Split(std::string_view name) {
    const std::size_t start = name.find_first_not_of('.');
    if (start == std::string_view::npos) return {};
    name.remove_prefix(start);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

bool IsShortName(std::string_view name) {
    const std::size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
    if (dot != std::string_view::npos && extension.empty()) return false;
    for (const char c : base) {
        if (!IsLegal(c)) return false;
    }
    for (const char c : extension) {
        if (!IsLegal(c)) return false;
    }
    return true;
}

std::string WithExtension(std::string alias, std::string_view extension) {
    const std::string legal = Legal(extension, 3);
    if (!legal.empty()) alias += "." + legal;
    return alias;
}

std::string PlainAlias(std::string_view name) {
    const Parts parts = Split(name);
    const std::string base = Legal(parts.base, 6);
    if (base.empty()) return {};
    return WithExtension(base + "~1", parts.extension);
}

// The hash of the long name, folded to 16 bits.
std::string HashAlias(std::string_view name) {
    const std::uint32_t hash = NameHash(name);
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", (hash >> 16) ^ (hash & 0xFFFF));
    const Parts parts = Split(name);
    return WithExtension(Legal(parts.base, 2) + digits + "~1", parts.extension);
}

std::string Candidate(std::string_view name) {
    return IsShortName(name) ? UpperCase(name) : PlainAlias(name);
}

}  // namespace

std::uint32_t NameHash(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

ShortNames::ShortNames(const std::vector<std::string>& names) {
    for (const std::string& name : names) ++candidates_[Candidate(name)];
}

std::string ShortNames::Of(std::string_view name) const {
    if (IsShortName(name)) return std::string(name);
    const std::string plain = PlainAlias(name);
    const auto found = candidates_.find(plain);
    if (plain.empty() || (found != candidates_.end() && found->second > 1)) return HashAlias(name);
    return plain;
}

}  // namespace win::detail
