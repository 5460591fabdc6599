// MailboxLock: the file "LockFile.$$$" in a user's mailbox folder, held by one POP3 session
// while it serves that mailbox. Two sessions of one user are kept apart by this file alone:
// of sessions starting together exactly one holds it.
//
// Owned by the session for as long as it serves the mailbox; the file is removed when the
// owner goes, however the session ends. The hold belongs to the service process: when that
// process dies (killed, or the machine stopped), the file it leaves behind is held by nobody,
// and the next session takes it over instead of finding the mailbox busy for good.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fs.h"

namespace vrel {

inline constexpr std::string_view kLockFileName = "LockFile.$$$";

class MailboxLock {
  public:
    enum class Status {
        Taken,   // this object holds the mailbox
        Busy,    // another session holds it
        Failed,  // the file could not be made (no folder, no rights)
    };

    // Tries to take the mailbox of the folder; an empty folder is no mailbox.
    explicit MailboxLock(std::string_view folder);

    Status status() const { return status_; }

  private:
    std::optional<win::HeldFile> file_;
    Status status_ = Status::Failed;
};

}  // namespace vrel
