// MailboxLock: the empty file "LockFile.$$$" in a user's mailbox folder, present exactly
// while one POP3 session holds that mailbox. Two sessions of one user are kept apart by
// this file alone: it is created only when absent, test and creation in one step, so of
// sessions starting together exactly one takes it.
//
// Owned by the session for as long as it serves the mailbox; the file is removed when the
// owner goes, however the session ends. A lock left behind by a process that died keeps
// the mailbox busy until an administrator removes the file.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

class MailboxLock {
  public:
    enum class Status {
        Taken,   // this object holds the mailbox
        Busy,    // another session holds it
        Failed,  // the file could not be made (no folder, no rights)
    };

    // Tries to take the mailbox of the folder; an empty folder is no mailbox.
    explicit MailboxLock(std::string_view folder);
    MailboxLock(const MailboxLock&) = delete;
    MailboxLock& operator=(const MailboxLock&) = delete;
    ~MailboxLock();

    Status status() const { return status_; }

  private:
    std::string path_;
    Status status_ = Status::Failed;
};

}  // namespace vrel
