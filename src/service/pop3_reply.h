// Replies of the POP3 session: single reply lines, and multi-line replies gathered into
// as few writes as they need (a listing or a message top in one, a message body in blocks)
// with the dot-stuffing that keeps a stored line made of "." from ending the reply early.
//
// Used by every phase of the session. Writes go through the session's socket stream, whose
// errors (ESocketError) pass on to the caller; nothing here looks at what the bytes mean.
#pragma once

#include <string>
#include <string_view>

#include "platform/sockets.h"

namespace vrel {

// Sends one reply line with its CR LF.
void SendReply(win::TWinSocketStream& stream, std::string_view text);

class ReplyWriter {
  public:
    explicit ReplyWriter(win::TWinSocketStream& stream) : stream_(stream) {}

    // One line and its CR LF, unchanged; lines wait for Flush, however many.
    void Line(std::string_view text);
    // One stored line (holding no line end) and its CR LF, a leading "." doubled.
    void StuffedLine(std::string_view text);
    // Stored bytes with their own line ends; a "." that starts a line is doubled.
    // lineStart tells whether the bytes begin a line, and is left telling whether the next
    // bytes will. What is gathered goes out once it passes a block's size, so a large
    // message needs no more memory than a block.
    void Stuffed(std::string_view bytes, bool& lineStart);
    // Sends what is gathered.
    void Flush();

  private:
    void FlushWhenFull();

    win::TWinSocketStream& stream_;
    std::string pending_;
};

}  // namespace vrel
