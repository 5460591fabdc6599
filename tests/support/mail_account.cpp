#include "mail_account.h"

#include "platform/accounts.h"

namespace vrel::test {

void AddComputerUser(std::string_view name, std::string_view password, bool mailUser) {
    win::AccountDirectory directory;
    const win::Authority computer = *directory.FindAuthority(directory.ComputerName());
    directory.AddUser(computer, name, password);
    if (mailUser) {
        directory.AddMember(*directory.FindAccount(computer, "Users"),
                            *directory.FindAccount(computer, name));
    }
}

}  // namespace vrel::test
