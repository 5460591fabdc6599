// MailboxFolder: the one folder per mail user below the configured mailbox root, found by
// popagent when it stores a message and by popservice when a session opens a mailbox (both
// link this unit).
//
// The user name is the caller's (a mail user's account name, possibly as a client typed
// it); the folder is matched by its long name without regard to letter case (the machine's
// rule), never through the 8.3 alias of another folder, so a folder belongs to one user. A name
// that could leave the mailbox root (a path separator, a drive colon, or nothing but dots and
// blanks) is no account name and gets no folder.
#pragma once

#include <string>

namespace vrel {

// The user's folder path, the folder created with every missing folder above it when
// missing (a failure to create shows later, when the caller writes). Empty for an empty
// user name; then nothing is created.
std::string GetUserMailDir(const std::string& user);

}  // namespace vrel
