// Reply lines and multi-line replies of the POP3 session (see pop3_reply.h).
#include "service/pop3_reply.h"

namespace vrel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Gathered message bytes go out once they pass this size: few system calls, bounded memory.
constexpr std::size_t kFlushSize = 64 * 1024;

}  // namespace

void SendReply(win::TWinSocketStream& stream, std::string_view text) {
    std::string line;
    line.reserve(text.size() + kLineEnd.size());
    line.append(text).append(kLineEnd);
    stream.Write(line);
}

void ReplyWriter::Line(std::string_view text) {
    pending_.append(text).append(kLineEnd);
}

void ReplyWriter::StuffedLine(std::string_view text) {
    if (text.starts_with('.')) pending_ += '.';
    pending_.append(text).append(kLineEnd);
}

void ReplyWriter::Stuffed(std::string_view bytes, bool& lineStart) {
    pending_.reserve(pending_.size() + bytes.size());  // room for all but the doubled dots
    while (!bytes.empty()) {
        if (lineStart && bytes.front() == '.') pending_ += '.';
        const auto lf = bytes.find('\n');
        const std::size_t length = lf == std::string_view::npos ? bytes.size() : lf + 1;
        pending_.append(bytes.substr(0, length));
        lineStart = lf != std::string_view::npos;
        bytes.remove_prefix(length);
    }
    FlushWhenFull();
}

void ReplyWriter::Flush() {
    if (pending_.empty()) return;
    stream_.Write(pending_);
    pending_.clear();
}

void ReplyWriter::FlushWhenFull() {
    if (pending_.size() >= kFlushSize) Flush();
}

}  // namespace vrel
