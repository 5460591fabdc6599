// Internal: the names of large folders, read once and then kept current from the kernel's
// change notices (inotify), so that a name which misses its exact lookup does not make the
// resolver read a folder of thousands of entries again. Used by resolver.cpp.
//
// Only folders of at least kIndexedEntries entries get an index, and at most kIndexedFolders
// of them per process (the least recently used goes). The notices are read before every
// answer, so an index answers as a fresh listing would: whatever a create, rename or delete
// that returned before the lookup did is in it, by this process or any other. A folder whose
// notices were lost (queue overflow), or that was removed or replaced, is read again. Without
// inotify every lookup reads the folder.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/resolver.h"

namespace win::detail {

inline constexpr std::size_t kIndexedEntries = 256;
inline constexpr std::size_t kIndexedFolders = 16;

struct IndexAnswer {
    bool indexed;                     // the folder has an index; `host` is its answer
    std::optional<std::string> host;  // the entry whose 8-bit name is the name, ignoring case
    std::vector<Entry> listing;       // otherwise: the folder as it was just read
};

IndexAnswer LookUpIgnoringCase(const std::filesystem::path& folder, std::string_view name);

}  // namespace win::detail
