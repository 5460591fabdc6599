// The transaction commands of the POP3 session that have routines of their own: DELE,
// LIST, UIDL, TOP and RETR, and the update on QUIT (see my_server_thread.h). STAT, NOOP,
// RSET and QUIT's reply when every marked message was removed are answered by the session
// loop itself.
//
// Arguments come from the client and are read only through MessageNumber and ScanDecimal.
// Message files are read as they are now; a file that changed since the list was built is
// sent as RETR's block rule allows and never beyond its present end.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/daily_log.h"
#include "common/text_lines.h"
#include "platform/eventlog.h"
#include "service/my_server_thread.h"
#include "service/pop3_reply.h"
#include "service/session_log.h"
#include "service/vrel_p3_service.h"

namespace vrel {
namespace {

// RETR reads and sends a message in blocks of this size.
constexpr std::size_t kRetrBlock = 100000;

const std::string kNoSuchMessage = "-ERR no such message";

std::string NumberAndText(const MsgRecord& record, std::string_view text) {
    return std::to_string(record.number) + " " + std::string(text);
}

// The record a message-number argument names, or nullptr after answering the client.
// deletedText completes "-ERR message <n>" for a record marked deleted.
template <class List>
auto* ChosenMessage(std::int64_t number, List& list, win::TWinSocketStream& stream,
                    std::string_view deletedText) {
    auto* record = MessageAt(list, number);
    if (!record) {
        SendReply(stream, kNoSuchMessage);
    } else if (record->deleted) {
        SendReply(stream, "-ERR message " + NumberAndText(*record, deletedText));
        record = nullptr;
    }
    return record;
}

// The listing of LIST and UIDL: a line per message not marked deleted, then ".".
template <class Field>
void SendListing(std::string_view heading, const MessageList& list, win::TWinSocketStream& stream,
                 Field field) {
    ReplyWriter reply(stream);
    reply.Line(heading);
    for (const MsgRecord& record : list) {
        if (!record.deleted) reply.Line(NumberAndText(record, field(record)));
    }
    reply.Line(".");
    reply.Flush();
}

}  // namespace

bool TMyServerThread::DeleteMessage(std::string_view argument, MessageList& list,
                                    std::int64_t& octetTotal, win::TWinSocketStream& stream) {
    if (argument.empty()) {
        SendReply(stream, "-ERR too few arguments for [DELE] command");
        return false;
    }
    MsgRecord* record = ChosenMessage(MessageNumber(argument), list, stream, "already deleted");
    if (!record) return false;
    octetTotal -= record->size;
    record->deleted = true;
    SendReply(stream, "+OK message " + NumberAndText(*record, "deleted"));
    return true;
}

void TMyServerThread::ListMessage(std::string_view argument, const MessageList& list,
                                  win::TWinSocketStream& stream, std::int32_t messageCount) {
    const auto size = [](const MsgRecord& record) { return std::to_string(record.size); };
    if (argument.empty()) {
        SendListing("+OK " + std::to_string(messageCount) + " message(s)", list, stream, size);
    } else if (const MsgRecord* record =
                   ChosenMessage(MessageNumber(argument), list, stream, "deleted")) {
        SendReply(stream, "+OK " + NumberAndText(*record, size(*record)));
    }
}

void TMyServerThread::UIDLMessage(std::string_view argument, const MessageList& list,
                                  win::TWinSocketStream& stream) {
    const auto uid = [](const MsgRecord& record) { return record.uid; };
    if (argument.empty()) {
        SendListing("+OK Unique-ID listing follows", list, stream, uid);
    } else if (const MsgRecord* record =
                   ChosenMessage(MessageNumber(argument), list, stream, "has been deleted")) {
        SendReply(stream, "+OK " + NumberAndText(*record, record->uid));
    }
}

void TMyServerThread::TOPMessage(std::string_view argument, const MessageList& list,
                                 win::TWinSocketStream& stream) {
    if (argument.empty()) {
        SendReply(stream, "-ERR command [TOP] requires arguments");
        return;
    }
    const auto number = ScanDecimal(argument);
    const auto lineCount = ScanDecimal(argument);
    if (!number || !lineCount) {
        SendReply(stream, "-ERR wrong number of arguments for [TOP] command");
        return;
    }
    const MsgRecord* record = ChosenMessage(*number, list, stream, "deleted");
    if (!record) return;
    ReplyWriter reply(stream);
    reply.Line("+OK top of message: " + std::to_string(record->number));
    const std::optional<std::string> text = win::ReadWholeFile(record->path);
    if (!text) {
        reply.Flush();
        throw win::EFOpenError(record->path);
    }

    const std::vector<std::string_view> lines = SplitTextLines(*text);
    std::size_t end = 0;
    while (end < lines.size() && !lines[end].empty()) ++end;
    // The header with the empty line after it; a file without one goes out whole.
    end = end < lines.size() ? end + 1 : lines.size();
    if (*lineCount > 0) {
        end += static_cast<std::size_t>(
            std::min<std::int64_t>(*lineCount, static_cast<std::int64_t>(lines.size() - end)));
    }
    for (std::size_t i = 0; i < end; ++i) reply.StuffedLine(lines[i]);
    reply.Line(".");
    reply.Flush();
}

void TMyServerThread::RETRMessage(std::string_view argument, const MessageList& list,
                                  win::TWinSocketStream& stream) {
    if (argument.empty()) {
        SendReply(stream, "-ERR too few arguments for the [RETR] command");
        return;
    }
    const MsgRecord* record = ChosenMessage(MessageNumber(argument), list, stream, "deleted");
    if (!record) return;
    ReplyWriter reply(stream);
    reply.Line("+OK " + std::to_string(record->size) + " octets");
    // A file that cannot be opened goes out as an empty message.
    win::FileHandle file = win::FileOpenRead(record->path);
    // The message goes out as stored: the end line only completes a last line that lacks
    // its CR LF, so a client gets back exactly the bytes the agent stored.
    std::string tail;  // the last two bytes sent
    if (file.IsOpen()) {
        // Left unset: a read fills what is sent.
        const auto block = std::make_unique_for_overwrite<char[]>(kRetrBlock);
        std::int64_t sent = 0;
        bool lineStart = true;
        while (sent < record->size) {
            const std::ptrdiff_t received = file.Read(block.get(), kRetrBlock);
            if (received <= 0) break;
            sent += received;
            const std::string_view data(block.get(), static_cast<std::size_t>(received));
            reply.Stuffed(data, lineStart);
            tail.append(data.substr(data.size() > 2 ? data.size() - 2 : 0));
            if (tail.size() > 2) tail.erase(0, tail.size() - 2);
        }
    }
    reply.Line(tail.empty() || tail == "\r\n" ? "." : "\r\n.");
    reply.Flush();
}

std::int32_t TMyServerThread::UpdateMailbox(MessageList& list) {
    std::int32_t kept = 0;
    for (auto record = list.rbegin(); record != list.rend(); ++record) {
        if (record->deleted && !win::DeleteFile(record->path) &&
            (win::FileExists(record->path) || win::DirectoryExists(record->path))) {
            ++kept;
        }
    }
    list.clear();
    return kept;
}

void TMyServerThread::ReportKeptMessages(win::TWinSocketStream& stream, std::string_view userName,
                                         std::string_view folder, std::int32_t kept) {
    SendReply(stream, "-ERR some deleted messages not removed");
    const std::string count = std::to_string(kept) + " message(s) marked deleted";
    WriteLog(ClientLogLine(kLogoutEvent, userName, *ClientSocket(),
                           "failed: " + count + " not removed\r\n"));
    win::ReportEvent(kServiceName, win::EVENTLOG_ERROR_TYPE, 0, 0,
                     count + " in the mailbox " + std::string(folder) +
                         " could not be removed; they stay for its user's next session.");
}

}  // namespace vrel
