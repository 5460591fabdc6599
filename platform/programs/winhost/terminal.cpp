// Command-line words and printed text between the terminal's encoding and code page 1252
// (see terminal.h). The code page's own table is the path layer's (codepage.h); iconv only
// carries a terminal that does not speak UTF-8 to and from UTF-8.
#include "terminal.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string_view>

#include "platform/codepage.h"
#include "platform/fs.h"

namespace winhost {
namespace {

// The locale's codeset, UTF-8 for the C and POSIX locales.
const std::string& TerminalCodeset() {
    static const std::string codeset = [] {
        std::setlocale(LC_CTYPE, "");  // the character set alone: numbers stay as C reads them
        const std::string name = nl_langinfo(CODESET);
        return name == "ANSI_X3.4-1968" ? std::string("UTF-8") : name;
    }();
    return codeset;
}

bool IsUtf8(std::string_view codeset) {
    return codeset == "UTF-8" || codeset == "utf8";
}

// The text in another encoding; nothing when a character cannot be converted (a target
// ending in "//TRANSLIT" puts a stand-in there instead).
std::optional<std::string> Convert(std::string_view text, const std::string& to,
                                   const std::string& from) {
    const iconv_t converter = ::iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = ::iconv(converter, &in, &inLeft, &at, &outLeft);
    ::iconv_close(converter);
    if (done == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

std::optional<std::string> ToCodePage(std::string_view word) {
    const std::string& codeset = TerminalCodeset();
    std::optional<std::string> utf8 =
        IsUtf8(codeset) ? std::string(word) : Convert(word, "UTF-8", codeset);
    if (!utf8) return std::nullopt;
    return win::Utf8ToAnsiExactly(*utf8);
}

std::string ToTerminal(std::string_view text) {
    const std::string utf8 = win::AnsiToUtf8(text);
    const std::string& codeset = TerminalCodeset();
    if (IsUtf8(codeset)) return utf8;
    return Convert(utf8, codeset + "//TRANSLIT", "UTF-8").value_or(std::string(text));
}

int outputFd = STDOUT_FILENO;
int errorFd = STDERR_FILENO;

ssize_t WriteToTerminal(void* cookie, const char* data, std::size_t size) {
    const int fd = *static_cast<int*>(cookie);
    return win::WriteAll(fd, ToTerminal(std::string_view(data, size))) ? static_cast<ssize_t>(size)
                                                                       : -1;
}

FILE* TerminalStream(int& fd, int buffering) {
    FILE* stream = ::fopencookie(&fd, "w", {nullptr, WriteToTerminal, nullptr, nullptr});
    if (stream) std::setvbuf(stream, nullptr, buffering, BUFSIZ);
    return stream;
}

}  // namespace

std::optional<Args> ArgumentsFromTerminal(char** first, char** last, std::string& fault) {
    Args args;
    for (char** word = first; word != last; ++word) {
        std::optional<std::string> converted = ToCodePage(*word);
        if (!converted) {
            fault = "\"" + std::string(*word) +
                    "\" holds a character that the machine's code page (1252) lacks, or is no " +
                    TerminalCodeset() + " text";
            return std::nullopt;
        }
        args.push_back(std::move(*converted));
    }
    return args;
}

// glibc lets a program set its standard streams; every printing function then goes through
// the converting ones, and the exit flushes them.
void PrintInTerminalEncoding() {
    if (FILE* output = TerminalStream(outputFd, ::isatty(outputFd) ? _IOLBF : _IOFBF)) {
        stdout = output;
    }
    if (FILE* error = TerminalStream(errorFd, _IONBF)) stderr = error;
}

}  // namespace winhost
