// The message list (see message_list.h) and the building of it from the mailbox folder, or
// the list built before while the folder did not change (kept_lists.h). The folder's entries
// are trusted only as far as the file functions report them.
#include "service/message_list.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "service/kept_lists.h"
#include "service/my_server_thread.h"

namespace vrel {
namespace {

// Far beyond any 32-bit number, small enough that one more digit cannot overflow.
constexpr std::int64_t kSaturated = std::int64_t{1} << 40;

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string WithTrailingBackslash(std::string_view folder) {
    std::string path(folder);
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

}  // namespace

std::optional<std::int64_t> ScanDecimal(std::string_view& text) {
    std::size_t at = 0;
    while (at < text.size() && IsWhiteSpace(text[at])) ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    if (at == text.size() || !IsDigit(text[at])) return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        value = std::min(value * 10 + (text[at] - '0'), kSaturated);
    }
    text.remove_prefix(at);
    return negative ? -value : value;
}

const MsgRecord* MessageAt(const MessageList& list, std::int64_t number) {
    if (number < 1 || number > static_cast<std::int64_t>(list.size())) return nullptr;
    return &list[static_cast<std::size_t>(number - 1)];
}

MsgRecord* MessageAt(MessageList& list, std::int64_t number) {
    return const_cast<MsgRecord*>(MessageAt(std::as_const(list), number));
}

std::int64_t MessageNumber(std::string_view argument) {
    return ScanDecimal(argument).value_or(0);
}

MsgRecord TMyServerThread::NewMsgRecord(std::int32_t number, const win::TSearchRec& entry) {
    MsgRecord record;
    record.number = number;
    record.size = static_cast<std::int32_t>(entry.Size);
    const auto dot = entry.Name.rfind('.');
    record.uid = entry.Name.substr(0, dot);
    return record;
}

std::int32_t TMyServerThread::GetMessages(std::string_view folder, MessageList& list,
                                          std::int64_t& octetTotal) {
    if (const std::optional<std::int64_t> kept = TakeKeptList(folder, list)) {
        octetTotal += *kept;
        return static_cast<std::int32_t>(list.size());
    }
    std::unique_ptr<win::FolderChanges> changes = WatchMailbox(folder);
    const std::int64_t before = octetTotal;
    const std::string prefix = WithTrailingBackslash(folder);
    win::TSearchRec entry;
    for (int found = win::FindFirst(prefix + "*.eml", win::faAnyFile, entry); found == 0;
         found = win::FindNext(entry)) {
        // Sizes are 32-bit in the protocol's figures; a larger file cannot be described.
        if (entry.Size > std::numeric_limits<std::int32_t>::max()) continue;
        MsgRecord record = NewMsgRecord(static_cast<std::int32_t>(list.size() + 1), entry);
        record.path = prefix + entry.Name;
        octetTotal += record.size;
        list.push_back(std::move(record));
    }
    win::FindClose(entry);
    KeepList(folder, std::move(changes), list, octetTotal - before);
    return static_cast<std::int32_t>(list.size());
}

}  // namespace vrel
