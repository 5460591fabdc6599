// RFC 5322 and MIME text for the CDO message: reading the header section and the HTML
// body of a stored message, and writing the header lines and body of a new one.
//
// Used by cdo.cpp only. Messages come from the network: every routine takes arbitrary
// bytes (NUL, bare CR, no final line end, broken MIME), reads only inside the given text
// and does work linear in its size (MIME nesting is followed to a fixed depth).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::mail {

struct HeaderField {
    std::string name;
    std::string value;  // unfolded, without leading and trailing blanks
};

struct MessageHead {
    std::vector<HeaderField> fields;  // in the order of the text
    std::string_view body;            // the text after the empty line, a view into the input
};

// Splits a message into its header fields and body; CR LF and LF line ends alike.
MessageHead ParseHead(std::string_view message);

// The value of the first field of that name (ignoring case), empty when there is none.
std::string HeaderValue(const MessageHead& head, std::string_view name);

// The message's HTML body: its first text/html part, else its first text/plain part (or
// a message without MIME structure) turned into HTML; transfer encodings are decoded.
std::string HtmlBodyOf(std::string_view message);

// "&", "<", ">" and '"' as entities.
std::string HtmlEscape(std::string_view text);
// Escaped text with every line break as "<br>" followed by CR LF.
std::string PlainToHtml(std::string_view text);

std::string DecodeQuotedPrintable(std::string_view text);
std::string DecodeBase64(std::string_view text);
// Quoted-printable with CR LF line ends and lines of at most 76 characters.
std::string EncodeQuotedPrintable(std::string_view text);

// One header field as text ending in CR LF: control characters (CR and LF among them)
// become blanks so a value can never start a field of its own; the field is folded at
// blanks to keep lines short.
std::string HeaderLine(std::string_view name, std::string_view value);
// The same for free text (Subject): text that is not plain printable ASCII in short words
// is written as RFC 2047 encoded words in the windows-1252 charset.
std::string TextHeaderLine(std::string_view name, std::string_view value);

}  // namespace win::mail
