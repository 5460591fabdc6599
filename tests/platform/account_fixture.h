// A machine whose computer is named MAILHOST, with helpers that make accounts and domains.
#pragma once

#include <string>
#include <string_view>

#include "platform/accounts.h"
#include "platform/registry.h"
#include "test_machine.h"

namespace vrel::test {

class AccountTest : public MachineTest {
  protected:
    AccountTest() {
        win::TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
        registry.WriteString("ComputerName", "MAILHOST");
    }

    win::Authority Computer() { return *directory_.FindAuthority("MAILHOST"); }

    win::Authority Domain(std::string_view name, std::string_view controller) {
        directory_.AddDomain(name, controller);
        return *directory_.FindAuthority(name);
    }

    win::Account User(const win::Authority& authority, std::string_view name,
                      std::string_view password) {
        directory_.AddUser(authority, name, password);
        return *directory_.FindAccount(authority, name);
    }

    win::Account Group(const win::Authority& authority, std::string_view name) {
        directory_.AddGroup(authority, name);
        return *directory_.FindAccount(authority, name);
    }

    win::Account Find(const win::Authority& authority, std::string_view name) {
        return *directory_.FindAccount(authority, name);
    }

    win::AccountDirectory directory_;
};

}  // namespace vrel::test
