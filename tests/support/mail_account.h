// Accounts for POP3 logons in tests, fuzz targets and benchmarks: a user of the local
// computer, with the group "Users" (the default e-mail users group) when it is to be a mail
// user. Needs a machine (TestMachine).
#pragma once

#include <string_view>

namespace vrel::test {

void AddComputerUser(std::string_view name, std::string_view password, bool mailUser);

}  // namespace vrel::test
