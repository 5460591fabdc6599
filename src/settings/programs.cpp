// The settings program's folder and the programs it waits for; see programs.h.
#include "settings/programs.h"

#include "platform/paths.h"
#include "platform/process.h"

namespace vrel {

std::string ProgramFolder() {
    const std::string program = win::GetModuleFileName();
    return program.substr(0, program.find_last_of('\\') + 1);
}

bool RunAndWait(const std::string& commandLine) {
    win::PROCESS_INFORMATION process;
    if (!win::CreateProcessA(nullptr, commandLine, false, 0, nullptr, win::STARTUPINFO{},
                             process)) {
        return false;
    }
    win::WaitForSingleObject(process.hProcess, win::INFINITE);
    win::CloseHandle(process.hProcess);
    win::CloseHandle(process.hThread);
    return true;
}

}  // namespace vrel
