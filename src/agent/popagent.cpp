// popagent: the message agent, which sorts the mail the SMTP service receives into mailbox folders.
// Start-up creates the settings data module, which lives until the program ends.
#include "common/system_module.h"

int main() {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    return 0;
}
