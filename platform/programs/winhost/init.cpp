#include <cstdio>

#include "commands.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "store/machine.h"

namespace winhost {

int Init(const Args&) {
    const bool created = win::InitMachine();
    win::TRegistry registry;
    registry.OpenKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName");
    const win::DefaultPorts ports = win::DefaultServicePorts();
    // A host path (UTF-8), printed as the machine's other text is.
    std::printf("machine %s: %s\n", created ? "created" : "exists",
                win::Utf8ToAnsi(win::MachineFolder().string()).c_str());
    std::printf("computer name: %s\n", registry.ReadString("ComputerName").c_str());
    if (created) {
        std::printf("services file: smtp %d/tcp, pop3 %d/tcp%s\n", ports.smtp, ports.pop3,
                    ports.pop3 == 110 ? "" : " (not root: unprivileged ports)");
    }
    return 0;
}

}  // namespace winhost
