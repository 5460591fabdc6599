// The mailbox lock file (see mailbox_lock.h).
#include "service/mailbox_lock.h"

#include "platform/fs.h"

namespace vrel {

MailboxLock::MailboxLock(std::string_view folder) {
    if (folder.empty()) return;
    path_ = std::string(folder) + "\\LockFile.$$$";
    win::NewFile file = win::CreateNewFile(path_);
    switch (file.status) {
        case win::CreateStatus::Created:
            status_ = Status::Taken;
            break;
        case win::CreateStatus::Exists:
            status_ = Status::Busy;
            break;
        case win::CreateStatus::Failed:
            status_ = Status::Failed;
            break;
    }
    // No handle stays open: the file's presence is the lock.
    file.file.Close();
}

MailboxLock::~MailboxLock() {
    if (status_ == Status::Taken) win::DeleteFile(path_);
}

}  // namespace vrel
