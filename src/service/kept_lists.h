// The message lists that this process built from mailbox folders, each kept with a watch of
// its folder (platform/folder_changes.h), so that the next session of a mailbox whose folder
// did not change takes the same list (same records, order and sizes) without searching the
// folder again. Any change of the folder's entries but its lock file, by any process, makes
// the next session build its list afresh.
//
// Shared by the session threads. Lists are kept by the folder's text as the session gave it,
// at most kKeptRecords records in all (some 200 bytes each; an empty list counts as one, for
// its folder's watch; the least recently taken list goes first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/folder_changes.h"
#include "service/message_list.h"

namespace vrel {

inline constexpr std::size_t kKeptRecords = 50000;

// A watch of the folder to start before its search, so that a change during it counts.
std::unique_ptr<win::FolderChanges> WatchMailbox(std::string_view folder);

// Appends the kept list of the folder to `list` and gives its octet total, when the folder did
// not change since the list was built.
std::optional<std::int64_t> TakeKeptList(std::string_view folder, MessageList& list);

// Keeps the list just built from the folder, watched by `changes` since before its search.
void KeepList(std::string_view folder, std::unique_ptr<win::FolderChanges> changes,
              const MessageList& list, std::int64_t octetTotal);

}  // namespace vrel
