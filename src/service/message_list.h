// The message list of a POP3 session: one MsgRecord per message file found in the user's
// mailbox folder when the session took the mailbox, and the one routine that reads a
// message number from a client's argument.
//
// Used by the session thread only; the list is private to it. The argument text comes from
// the network: ScanDecimal reads it without trusting its length or its digits, and every
// number is checked against the list before a record is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

struct MsgRecord {
    std::int32_t number = 0;  // 1 for the first file found, then 2, 3, ...
    std::int32_t size = 0;    // bytes when the list was built; the octets told to the client
    bool deleted = false;     // set by DELE, cleared by RSET
    std::string uid;          // the file name without its extension
    std::string path;         // the folder, "\" and the file name
};

// Record n is entry n - 1; deleted records stay until the session ends, so numbers never
// shift.
using MessageList = std::vector<MsgRecord>;

// Reads one decimal integer from the front of `text` as the runtime library's scanners do:
// leading white space skipped, an optional sign, then the digits up to the first other
// character. Consumes what it read. Empty when no digit follows; a value beyond the 32-bit
// range stays beyond it (saturated), so it can never wrap into a valid message number.
std::optional<std::int64_t> ScanDecimal(std::string_view& text);

// The record of message `number`, or nullptr when the number is below 1 or above the count
// of records (deleted ones counted).
MsgRecord* MessageAt(MessageList& list, std::int64_t number);
const MsgRecord* MessageAt(const MessageList& list, std::int64_t number);

// The message-number argument of DELE, LIST, UIDL and RETR: an argument without digits at
// its front reads as 0, which names no message.
std::int64_t MessageNumber(std::string_view argument);

}  // namespace vrel
