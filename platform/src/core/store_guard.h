// The file layer's guard of the machine's store: the store's files are opened by the store
// alone (see store/held_files.h for why), and changed by nobody else.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>

namespace win::detail {

enum class StoreUse {
    Read,    // opened for reading
    Change,  // opened for writing, replaced, moved or deleted
};

// False, with the last error ERROR_SHARING_VIOLATION, when the host entry is a file of the
// store, as Windows refuses an open registry hive: a file of a database the process holds
// (opening and closing it would drop the process's locks), or, for a change by a process
// that holds none, a file of the machine's store. Files are compared by device and inode, whatever
// path names them. Costs nothing while the process holds no database, one stat otherwise,
// none when the caller gives the entry's status it has just taken.
bool MayUse(const std::filesystem::path& host, StoreUse use,
            const std::optional<struct stat>& status = std::nullopt);

}  // namespace win::detail
