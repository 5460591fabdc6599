// popsetup: the settings program, the administrator's window and setup wizard. Start-up creates the
// settings data module, which lives until the program ends.
#include "common/system_module.h"

int main() {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    return 0;
}
