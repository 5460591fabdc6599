// The browse list dialog is not part of this build yet: every browse ends as Cancel would.
#include "settings/pop_dlg.h"

namespace vrel {

bool BrowseMailUsersAndAliases(const std::string&, const std::string&, std::string&) {
    return false;
}

}  // namespace vrel
