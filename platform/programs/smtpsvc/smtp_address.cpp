#include "smtp_address.h"

#include <arpa/inet.h>

#include <string>

namespace smtpsvc {
namespace {

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// RFC 5322 atext: letters, digits and these.
bool IsAtomCharacter(char c) {
    static constexpr std::string_view kSigns = "!#$%&'*+-/=?^_`{|}~";
    return IsLetterOrDigit(c) || kSigns.find(c) != std::string_view::npos;
}

// One label: a letter or digit first and last, hyphens between.
bool IsSubDomain(std::string_view label) {
    if (label.empty() || !IsLetterOrDigit(label.front()) || !IsLetterOrDigit(label.back())) {
        return false;
    }
    for (const char c : label) {
        if (!IsLetterOrDigit(c) && c != '-') return false;
    }
    return true;
}

// Atoms joined by single dots.
bool IsDotString(std::string_view text) {
    bool atomStart = true;
    for (const char c : text) {
        if (c == '.') {
            if (atomStart) return false;
            atomStart = true;
        } else if (IsAtomCharacter(c)) {
            atomStart = false;
        } else {
            return false;
        }
    }
    return !atomStart;
}

// The length of the quoted string at the start of text (quotes included), 0 when there is
// none. Printable ASCII inside, a backslash taking the next character as it is.
std::size_t QuotedStringLength(std::string_view text) {
    if (text.empty() || text.front() != '"') return 0;
    for (std::size_t at = 1; at < text.size(); ++at) {
        const char c = text[at];
        if (c < 32 || c > 126 || c == ';') return 0;
        if (c == '"') return at + 1;
        if (c == '\\' && (++at == text.size() || text[at] < 32 || text[at] > 126)) return 0;
    }
    return 0;
}

bool IsIpv4Address(std::string_view text) {
    int parts = 0;
    while (true) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[digits] - '0');
            if (++digits > 3) return false;
        }
        if (digits == 0 || value > 255) return false;
        text.remove_prefix(digits);
        if (++parts == 4) return text.empty();
        if (text.empty() || text.front() != '.') return false;
        text.remove_prefix(1);
    }
}

bool IsAddressLiteral(std::string_view text) {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
    text = text.substr(1, text.size() - 2);
    constexpr std::string_view kIpv6 = "IPv6:";
    if (!text.starts_with(kIpv6)) return IsIpv4Address(text);
    const std::string address(text.substr(kIpv6.size()));
    in6_addr parsed;
    return ::inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

}  // namespace

bool IsDomain(std::string_view text) {
    if (text.empty() || text.size() > 255) return false;
    for (std::size_t dot = text.find('.'); dot != std::string_view::npos; dot = text.find('.')) {
        if (!IsSubDomain(text.substr(0, dot))) return false;
        text.remove_prefix(dot + 1);
    }
    return IsSubDomain(text);
}

bool IsMailbox(std::string_view text) {
    std::size_t at = QuotedStringLength(text);
    if (at == 0) {
        at = text.find('@');
        if (at == std::string_view::npos || !IsDotString(text.substr(0, at))) return false;
    }
    if (at >= text.size() || text[at] != '@') return false;
    const std::string_view domain = text.substr(at + 1);
    return IsDomain(domain) || IsAddressLiteral(domain);
}

std::optional<std::string_view> PathMailbox(std::string_view path) {
    if (path.empty() || path.front() != '@')
        return IsMailbox(path) ? std::optional(path) : std::nullopt;
    const std::size_t colon = path.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view route = path.substr(0, colon);
    while (!route.empty()) {
        const std::size_t comma = route.find(',');
        const std::string_view hop = route.substr(0, comma);
        if (hop.size() < 2 || hop.front() != '@' || !IsDomain(hop.substr(1))) return std::nullopt;
        route.remove_prefix(comma == std::string_view::npos ? route.size() : comma + 1);
        if (comma != std::string_view::npos && route.empty()) return std::nullopt;
    }
    const std::string_view mailbox = path.substr(colon + 1);
    return IsMailbox(mailbox) ? std::optional(mailbox) : std::nullopt;
}

}  // namespace smtpsvc
