// The mailbox lock file (see mailbox_lock.h).
#include "service/mailbox_lock.h"

#include <string>

namespace vrel {

MailboxLock::MailboxLock(std::string_view folder) {
    if (folder.empty()) return;
    file_.emplace(std::string(folder) + "\\" + std::string(kLockFileName));
    switch (file_->Status()) {
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
}

}  // namespace vrel
