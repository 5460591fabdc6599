#include "core/store_guard.h"

#include <sys/stat.h>

#include <string>

#include "platform/fs.h"
#include "platform/winerror.h"
#include "store/held_files.h"
#include "store/machine.h"

namespace win {
namespace {

bool IsMachineStoreFile(const struct stat& entry) {
    const std::string database = MachineDbPath().string();
    for (const std::string_view suffix : store::kDatabaseFileSuffixes) {
        struct stat file;
        if (::stat((database + std::string(suffix)).c_str(), &file) == 0 &&
            file.st_dev == entry.st_dev && file.st_ino == entry.st_ino) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsStoreFile(const std::filesystem::path& host) {
    struct stat entry;
    if (::stat(host.c_str(), &entry) != 0) return false;
    return store::IsHeldDatabaseFile(entry) || IsMachineStoreFile(entry);
}

namespace detail {

bool MayUse(const std::filesystem::path& host, StoreUse use,
            const std::optional<struct stat>& status) {
    const bool held = store::HoldsDatabases();
    if (!held && use == StoreUse::Read) return true;
    struct stat entry;
    if (status) {
        entry = *status;
    } else if (::stat(host.c_str(), &entry) != 0) {
        return true;  // nothing there: the open or change fails by itself
    }
    const bool refused = held ? store::IsHeldDatabaseFile(entry) : IsMachineStoreFile(entry);
    if (refused) SetLastError(ERROR_SHARING_VIOLATION);
    return !refused;
}

}  // namespace detail
}  // namespace win
