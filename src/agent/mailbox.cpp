#include "agent/mailbox.h"

#include "common/settings_key.h"
#include "platform/fs.h"

namespace vrel {
namespace {

// Account names never hold these, so refusing them costs no mail user anything while
// keeping an address's local part from naming a folder outside the root.
bool CanNameFolder(const std::string& user) {
    if (user.find_first_of("\\/:") != std::string::npos) return false;
    return user.find_first_not_of(". ") != std::string::npos;
}

}  // namespace

std::string GetUserMailDir(const std::string& user) {
    if (user.empty() || !CanNameFolder(user)) return std::string();
    std::string path = GetMailInBoxDir();
    if (!path.ends_with('\\')) path += '\\';
    path += user;
    // Never another folder's 8.3 alias: a user named like one must not get that mailbox.
    win::ForceOwnDirectory(path);
    return path;
}

}  // namespace vrel
