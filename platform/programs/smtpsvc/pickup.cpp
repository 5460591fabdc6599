#include "pickup.h"

#include <optional>

#include "platform/text.h"
#include "smtp_session.h"

namespace smtpsvc {
namespace {

struct HeaderLines {
    std::string_view name;
    std::string value;     // unfolded
    std::string_view raw;  // the field's lines with their line ends
};

std::string_view TrimView(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

// The next line of the text with its line end, and the line without it.
std::string_view NextLine(std::string_view text, std::size_t offset, std::string_view& bare) {
    const std::size_t lf = text.find('\n', offset);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    std::string_view line = text.substr(offset, end - offset);
    bare = line;
    if (!bare.empty() && bare.back() == '\n') bare.remove_suffix(1);
    if (!bare.empty() && bare.back() == '\r') bare.remove_suffix(1);
    return line;
}

bool PlainAddress(std::string_view address) {
    if (address.size() > kMaxPath) return false;
    for (const unsigned char c : address) {
        if (c <= ' ' || c == 127 || c == '<' || c == '>' || c == '"' || c == ',' || c == ';') {
            return false;
        }
    }
    const std::size_t at = address.rfind('@');
    return at != std::string_view::npos && at > 0 && at + 1 < address.size();
}

// Quoted strings and comments of an address header, in which "<", "," and ":" are text.
class QuotedText {
  public:
    // True when the character at i belongs to a quoted string or a comment, its delimiters
    // included; i steps over an escaped character.
    bool Inside(std::string_view text, std::size_t& i) {
        const char c = text[i];
        if (quoted_) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted_ = false;
            return true;
        }
        if (comment_ > 0) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++comment_;
            else if (c == ')')
                --comment_;
            return true;
        }
        if (c == '"') quoted_ = true;
        if (c == '(') comment_ = 1;
        return quoted_ || comment_ > 0;
    }

  private:
    bool quoted_ = false;
    int comment_ = 0;
};

// One element of an address list: the text inside "<...>", else the element without its
// comments; a group's name before ":" dropped.
std::string AddressOfElement(std::string_view element) {
    std::string plain;
    std::string angle;
    bool inAngle = false;
    bool haveAngle = false;
    QuotedText quoting;
    for (std::size_t i = 0; i < element.size(); ++i) {
        if (quoting.Inside(element, i)) continue;
        const char c = element[i];
        if (c == '<') {
            inAngle = true;
            haveAngle = true;
            angle.clear();
        } else if (c == '>') {
            inAngle = false;
        } else if (inAngle) {
            angle += c;
        } else if (c == ':') {
            plain.clear();
        } else if (c != ';') {
            plain += c;
        }
    }
    return std::string(TrimView(haveAngle ? angle : plain));
}

// The header fields, and where the empty line that ends them (or the end) begins.
std::vector<HeaderLines> ReadHeader(std::string_view text, std::size_t& bodyOffset) {
    std::vector<HeaderLines> fields;
    std::size_t offset = 0;
    while (offset < text.size()) {
        std::string_view bare;
        const std::string_view line = NextLine(text, offset, bare);
        if (bare.empty()) break;  // the empty line stays with the body
        if ((bare.front() == ' ' || bare.front() == '\t') && !fields.empty()) {
            HeaderLines& last = fields.back();
            last.value += ' ';
            last.value += TrimView(bare);
            last.raw = text.substr(last.raw.data() - text.data(), last.raw.size() + line.size());
        } else {
            const std::size_t colon = bare.find(':');
            HeaderLines field;
            field.name = TrimView(bare.substr(0, colon));
            if (colon != std::string_view::npos) field.value = TrimView(bare.substr(colon + 1));
            field.raw = line;
            fields.push_back(std::move(field));
        }
        offset += line.size();
    }
    bodyOffset = offset;
    return fields;
}

bool Named(const HeaderLines& field, std::string_view name) {
    return win::SameText(field.name, name);
}

// The reverse-path of an "x-sender:" value: its first address, or the empty text for "<>";
// nothing when it holds neither.
std::optional<std::string> SenderOf(std::string_view value) {
    if (TrimView(value) == "<>") return std::string();
    std::vector<std::string> addresses = AddressesOf(value);
    if (addresses.empty()) return std::nullopt;
    return std::move(addresses.front());
}

void AddAll(std::vector<std::string>& to, std::vector<std::string> addresses) {
    for (std::string& address : addresses) to.push_back(std::move(address));
}

}  // namespace

std::vector<std::string> AddressesOf(std::string_view value) {
    std::vector<std::string> addresses;
    const auto take = [&](std::size_t start, std::size_t end) {
        const std::string address = AddressOfElement(value.substr(start, end - start));
        if (PlainAddress(address)) addresses.push_back(address);
    };
    std::size_t start = 0;
    bool inAngle = false;
    QuotedText quoting;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (quoting.Inside(value, i)) continue;
        const char c = value[i];
        if (c == '<') {
            inAngle = true;
        } else if (c == '>') {
            inAngle = false;
        } else if (c == ',' && !inAngle) {
            take(start, i);
            start = i + 1;
        }
    }
    take(std::min(start, value.size()), value.size());
    return addresses;
}

bool ParsePickupFile(std::string_view text, PickupMessage& message) {
    std::size_t bodyOffset = 0;
    const std::vector<HeaderLines> fields = ReadHeader(text, bodyOffset);
    std::vector<std::string> receivers;
    std::vector<std::string> headerRecipients;
    std::optional<std::string> sender;  // the empty text for the null reverse-path
    std::string from;
    message.content.clear();
    for (const HeaderLines& field : fields) {
        if (Named(field, "x-receiver")) {
            AddAll(receivers, AddressesOf(field.value));
        } else if (Named(field, "x-sender")) {
            if (!sender) sender = SenderOf(field.value);
        } else {
            if (Named(field, "to") || Named(field, "cc") || Named(field, "bcc")) {
                AddAll(headerRecipients, AddressesOf(field.value));
            } else if (Named(field, "from") && from.empty()) {
                const std::vector<std::string> addresses = AddressesOf(field.value);
                if (!addresses.empty()) from = addresses.front();
            }
            if (!Named(field, "bcc")) message.content.append(field.raw);
        }
    }
    message.content.append(text.substr(bodyOffset));
    message.recipients = receivers.empty() ? std::move(headerRecipients) : std::move(receivers);
    message.sender = sender.value_or(from);
    return !message.recipients.empty();
}

bool IsCompletePickupName(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    if (name.size() >= 4 && win::SameText(name.substr(name.size() - 4), ".tmp")) return false;
    return !(name.size() >= 7 && win::SameText(name.substr(0, 3), "TMP") &&
             name.substr(name.size() - 4) == ".$$$");
}

}  // namespace smtpsvc
