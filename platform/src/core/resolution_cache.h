// Internal: what the path lookups of this process found in each host folder, kept while the
// folder's entries did not change, so that resolving a path again reads no folder and looks
// up no name. Used by resolver.cpp, which gives the lookup of a name that is not known.
//
// A folder is known from its first lookup on. Each answer (the host entry that an 8-bit name
// designates, or none) is kept until a notice (folder_notices.h) says that an entry of the
// folder was created, removed, renamed or had its attributes changed: any such notice ends
// the answers found without case or as aliases, the absent ones, and the answer that names
// the entry itself; an exact match stands otherwise, as no other entry can outrank it. The
// notices are read before every answer, so an answer is what a fresh lookup would give. A
// notice for a subfolder's name forgets that subfolder and all below it; a folder moved or
// removed is forgotten. The drive's host folder is compared with the one known at every
// resolution, as the folders above it are not watched. A symbolic link to a folder, or a
// folder that cannot be watched, ends what is known along a path: the rest of it is looked
// up afresh. At most kKnownFolders folders are known (the least recently used one without
// known subfolders goes) and kKnownAnswers answers per folder.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/resolver.h"

namespace win::detail {

inline constexpr std::size_t kKnownFolders = 4096;
inline constexpr std::size_t kKnownAnswers = 65536;

// The host entry of the folder that the 8-bit name designates.
using EntryLookup =
    std::function<std::optional<std::string>(const std::filesystem::path&, std::string_view)>;

// The resolution of the names below the root, each looked up in its folder by `find` unless
// the answer is known; nullopt when the root cannot be watched.
std::optional<Resolution> ResolveKnown(const std::filesystem::path& root,
                                       const std::vector<std::string>& names,
                                       const EntryLookup& find);

// Whether what was last known of the path's folders, before any notice is read, has a name of
// it missing or found otherwise than as written: the path as written is then not worth a
// lookup of its own. A stale answer costs only that lookup, as ResolveKnown reads the notices.
bool KnownToDiffer(const std::filesystem::path& root, const std::vector<std::string>& names);

}  // namespace win::detail
