// popservice: the POP3 service, which serves the mailbox folders to mail clients. Start-up creates
// the settings data module, which lives until the program ends.
#include "common/system_module.h"

int main() {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    return 0;
}
