#include "mail/mail_text.h"

#include <algorithm>
#include <cstdint>

#include "platform/text.h"

namespace win::mail {
namespace {

// Deeper MIME nesting than this is left unread; real mail needs three or four levels.
constexpr int kMaxMimeDepth = 8;
// Longest header line we write before folding, and the payload of one encoded word: short
// enough that "Subject: " and the first word fit on one line.
constexpr std::size_t kFoldWidth = 78;
constexpr std::size_t kEncodedWordPayload = 48;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// One line of text starting at pos, without its line end; next is where the following
// line starts (past the end of text for the last line).
struct Line {
    std::string_view text;
    std::size_t next;
};

Line LineAt(std::string_view text, std::size_t pos) {
    const std::size_t eol = text.find('\n', pos);
    const std::size_t end = eol == std::string_view::npos ? text.size() : eol;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return Line{line, eol == std::string_view::npos ? text.size() + 1 : eol + 1};
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendHex(std::string& out, unsigned char c) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += '=';
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
}

struct ContentType {
    std::string media;  // "type/subtype" in small letters
    std::string boundary;
};

// The quoted or plain parameter value that starts at pos; pos is left after it.
std::string ParameterValue(std::string_view text, std::size_t& pos) {
    std::string value;
    if (pos < text.size() && text[pos] == '"') {
        for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
            if (text[pos] == '\\' && pos + 1 < text.size()) ++pos;
            value += text[pos];
        }
        ++pos;
        return value;
    }
    while (pos < text.size() && text[pos] != ';' && !IsBlank(text[pos])) value += text[pos++];
    return value;
}

ContentType ParseContentType(std::string_view value) {
    ContentType type;
    std::size_t pos = std::min(value.find(';'), value.size());
    type.media = LowerCase(TrimBlanks(value.substr(0, pos)));
    while (pos < value.size()) {
        ++pos;  // past ';'
        const std::size_t equals = value.find('=', pos);
        if (equals == std::string_view::npos) break;
        const std::string name = LowerCase(TrimBlanks(value.substr(pos, equals - pos)));
        pos = equals + 1;
        while (pos < value.size() && IsBlank(value[pos])) ++pos;
        std::string parameter = ParameterValue(value, pos);
        if (name == "boundary") type.boundary = std::move(parameter);
        pos = std::min(value.find(';', pos), value.size());
    }
    return type;
}

// The body parts between the delimiter lines of a multipart body; an unterminated last
// part runs to the end.
std::vector<std::string_view> SplitMultipart(std::string_view body, std::string_view boundary) {
    const std::string delimiter = "--" + std::string(boundary);
    std::vector<std::string_view> parts;
    bool inPart = false;
    std::size_t partStart = 0;
    for (std::size_t pos = 0; pos < body.size();) {
        const Line line = LineAt(body, pos);
        if (line.text.starts_with(delimiter)) {
            std::string_view rest = line.text.substr(delimiter.size());
            const bool close = rest.starts_with("--");
            if (close) rest.remove_prefix(2);
            if (TrimBlanks(rest).empty()) {
                if (inPart) {
                    // The line break before a delimiter belongs to the delimiter.
                    std::size_t end = pos;
                    if (end > partStart && body[end - 1] == '\n') --end;
                    if (end > partStart && body[end - 1] == '\r') --end;
                    parts.push_back(body.substr(partStart, end - partStart));
                }
                if (close) return parts;
                inPart = true;
                partStart = std::min(line.next, body.size());
            }
        }
        pos = line.next;
    }
    if (inPart) parts.push_back(body.substr(partStart));
    return parts;
}

std::string DecodeBody(std::string_view body, std::string_view transferEncoding) {
    const std::string encoding = LowerCase(TrimBlanks(transferEncoding));
    if (encoding == "quoted-printable") return DecodeQuotedPrintable(body);
    if (encoding == "base64") return DecodeBase64(body);
    return std::string(body);
}

struct TextParts {
    bool hasHtml = false;
    bool hasPlain = false;
    std::string html;
    std::string plain;
};

void FindTextParts(std::string_view entity, int depth, TextParts& found) {
    const MessageHead head = ParseHead(entity);
    const std::string disposition = LowerCase(TrimBlanks(HeaderValue(head, "Content-Disposition")));
    if (disposition.starts_with("attachment")) return;
    const ContentType type = ParseContentType(HeaderValue(head, "Content-Type"));
    if (type.media.starts_with("multipart/")) {
        if (depth >= kMaxMimeDepth || type.boundary.empty()) return;
        for (std::string_view part : SplitMultipart(head.body, type.boundary)) {
            FindTextParts(part, depth + 1, found);
            if (found.hasHtml) return;
        }
        return;
    }
    const std::string encoding = HeaderValue(head, "Content-Transfer-Encoding");
    if (type.media == "text/html") {
        found.html = DecodeBody(head.body, encoding);
        found.hasHtml = true;
    } else if ((type.media.empty() || type.media == "text/plain") && !found.hasPlain) {
        found.plain = DecodeBody(head.body, encoding);
        found.hasPlain = true;
    }
}

// Every control character as a blank: a written value stays on its own header field.
std::string WithoutControls(std::string_view value) {
    std::string clean(value);
    for (char& c : clean) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return clean;
}

// Breaks a header line before blanks so that lines stay near kFoldWidth; a word longer
// than that stays whole on its own line.
std::string Fold(std::string_view line) {
    std::string out;
    std::size_t lineLength = 0;
    for (std::size_t pos = 0; pos < line.size();) {
        std::size_t end = pos;
        while (end < line.size() && line[end] == ' ') ++end;
        const bool hasWord = end < line.size();
        while (end < line.size() && line[end] != ' ') ++end;
        const std::string_view token = line.substr(pos, end - pos);
        if (lineLength > 0 && hasWord && token.front() == ' ' &&
            lineLength + token.size() > kFoldWidth) {
            out += "\r\n";
            lineLength = 0;
        }
        out += token;
        lineLength += token.size();
        pos = end;
    }
    return out + "\r\n";
}

bool NeedsEncodedWords(std::string_view value) {
    std::size_t word = 0;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x7E) return true;
        word = c == ' ' ? 0 : word + 1;
        if (word > kEncodedWordPayload) return true;
    }
    return false;
}

// RFC 2047 "Q" encoded words separated by blanks (which decoders drop between words).
std::string EncodedWords(std::string_view value) {
    const std::string prefix = "=?windows-1252?Q?";
    std::string out;
    std::string word;
    const auto flush = [&] {
        if (!out.empty()) out += ' ';
        out += prefix + word + "?=";
        word.clear();
    };
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        std::string piece;
        if (c == ' ') {
            piece = "_";
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '!' || c == '*' || c == '+' || c == '-' || c == '/') {
            piece = std::string(1, c);
        } else {
            AppendHex(piece, byte);
        }
        if (word.size() + piece.size() > kEncodedWordPayload) flush();
        word += piece;
    }
    if (!word.empty()) flush();
    return out;
}

}  // namespace

MessageHead ParseHead(std::string_view message) {
    MessageHead head;
    head.body = message.substr(message.size());
    bool inField = false;
    for (std::size_t pos = 0; pos < message.size();) {
        const Line line = LineAt(message, pos);
        pos = line.next;
        if (line.text.empty()) {
            head.body = message.substr(std::min(pos, message.size()));
            break;
        }
        if (IsBlank(line.text.front())) {
            // Unfolding drops the line break and keeps the blank that follows it.
            if (inField) head.fields.back().value.append(line.text);
            continue;
        }
        const std::size_t colon = line.text.find(':');
        const std::string_view name = colon == std::string_view::npos
                                          ? std::string_view()
                                          : TrimBlanks(line.text.substr(0, colon));
        inField = !name.empty();
        if (inField)
            head.fields.push_back(
                HeaderField{std::string(name), std::string(line.text.substr(colon + 1))});
    }
    for (HeaderField& field : head.fields) field.value = std::string(TrimBlanks(field.value));
    return head;
}

std::string HeaderValue(const MessageHead& head, std::string_view name) {
    for (const HeaderField& field : head.fields) {
        if (SameText(field.name, name)) return field.value;
    }
    return {};
}

std::string HtmlBodyOf(std::string_view message) {
    TextParts found;
    FindTextParts(message, 0, found);
    if (found.hasHtml) return found.html;
    return found.hasPlain ? PlainToHtml(found.plain) : std::string();
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string PlainToHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t pos = 0; pos < text.size();) {
        const Line line = LineAt(text, pos);
        out += HtmlEscape(line.text);
        if (line.next <= text.size()) out += "<br>\r\n";
        pos = line.next;
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        std::size_t j = i + 1;
        while (j < text.size() && IsBlank(text[j])) ++j;
        if (j == text.size()) break;  // soft break at the very end
        if (text[j] == '\n' || (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n')) {
            i = text[j] == '\r' ? j + 1 : j;  // soft line break
            continue;
        }
        const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            out += '=';  // not an escape: keep it as it stands
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string DecodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=')
            break;
        else
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string EncodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t lineLength = 0;
    const auto put = [&](std::string_view piece) {
        if (lineLength + piece.size() > 75) {  // room for the "=" of a soft break
            out += "=\r\n";
            lineLength = 0;
        }
        out += piece;
        lineLength += piece.size();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
            lineLength = 0;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        const bool atLineEnd = i + 1 == text.size() || text[i + 1] == '\r' || text[i + 1] == '\n';
        if ((byte >= 33 && byte <= 126 && c != '=') || (IsBlank(c) && !atLineEnd)) {
            put(std::string_view(&text[i], 1));
        } else {
            std::string escape;
            AppendHex(escape, byte);
            put(escape);
        }
    }
    return out;
}

std::string HeaderLine(std::string_view name, std::string_view value) {
    return Fold(std::string(name) + ": " + WithoutControls(value));
}

std::string TextHeaderLine(std::string_view name, std::string_view value) {
    const std::string clean = WithoutControls(value);
    if (!NeedsEncodedWords(clean)) return Fold(std::string(name) + ": " + clean);
    return Fold(std::string(name) + ": " + EncodedWords(clean));
}

}  // namespace win::mail
