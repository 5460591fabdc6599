// The runtime library's text-mode append stream ("a+"): LF is stored as CR LF. The text is
// the caller's and is written as it is otherwise; no format processing happens in Puts.
#include <fcntl.h>

#include <cstdarg>
#include <cstdio>

#include "core/resolver.h"
#include "platform/fs.h"

namespace win {

TextAppendFile::TextAppendFile(std::string_view path)
    : file_(detail::OpenForWriting(path, O_APPEND)) {}

bool TextAppendFile::Puts(std::string_view text) {
    std::string stored;
    stored.reserve(text.size() + text.size() / 32 + 2);
    for (const char c : text) {
        if (c == '\n') stored += '\r';
        stored += c;
    }
    return file_.Write(stored);
}

bool TextAppendFile::Printf(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length >= 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, arguments);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(arguments);
    return length >= 0 && Puts(text);
}

bool TextAppendFile::Close() {
    return file_.Close();
}

}  // namespace win
