// Folder change watches (see platform/folder_changes.h), over the process's change notices.
#include "platform/folder_changes.h"

#include <sys/stat.h>

#include <optional>

#include "core/folder_notices.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace win {
namespace fs = std::filesystem;
namespace {

constexpr std::uint32_t kChangeNotices = detail::kNameNotices | IN_MODIFY;

struct Identity {
    fs::path host;
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

// The folder the path names now.
std::optional<Identity> FolderAt(std::string_view folder) {
    fs::path host = ToHostPath(folder);
    struct stat st;
    if (host.empty() || ::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return Identity{std::move(host), st.st_dev, st.st_ino};
}

}  // namespace

FolderChanges::FolderChanges(std::string_view folder, Ignored ignored)
    : folder_(folder), ignored_(std::move(ignored)) {
    const std::optional<Identity> before = FolderAt(folder_);
    if (!before) {
        changed_ = true;
        return;
    }
    detail::FolderNotices& notices = detail::FolderNotices::Process();
    {
        const auto lock = notices.Lock();
        watch_ = notices.Watch(
            before->host, kChangeNotices, true,
            [this](std::uint32_t mask, std::string_view name) { OnNotice(mask, name); });
    }
    // The folder watched must be the one the path named before: else it was replaced between.
    // Resolving reads notices, so a change may be heard meanwhile; it must not be overwritten.
    const bool replaced = FolderAt(folder_) != before;
    {
        const auto lock = notices.Lock();
        changed_ = changed_ || !watch_ || replaced;
    }
    host_ = before->host;
    device_ = before->device;
    inode_ = before->inode;
}

FolderChanges::~FolderChanges() {
    detail::FolderNotices& notices = detail::FolderNotices::Process();
    const auto lock = notices.Lock();
    notices.Unwatch(watch_);
}

bool FolderChanges::Changed() {
    // Resolving takes the notices' lock itself.
    const std::optional<Identity> now = FolderAt(folder_);
    detail::FolderNotices& notices = detail::FolderNotices::Process();
    const auto lock = notices.Lock();
    notices.Read();
    if (!now || *now != Identity{host_, device_, inode_}) changed_ = true;
    return changed_;
}

void FolderChanges::OnNotice(std::uint32_t mask, std::string_view name) {
    if (!(mask & detail::kWatchEnded) && !name.empty() && ignored_(Utf8ToAnsi(name))) return;
    changed_ = true;
    detail::FolderNotices::Process().Unwatch(watch_);
}

}  // namespace win
