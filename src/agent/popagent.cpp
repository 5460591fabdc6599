// popagent: the message agent, a COM local server whose TMessageAgentImpl objects the SMTP
// service calls for every arriving message, and a small window program when started by hand.
//
// Switches "REGSERVER", "UNREGSERVER", "AUTOMATION" and "EMBEDDING", with "/" or "-" in any
// case, anywhere on the command line; every other argument is ignored. Started by COM
// ("/Automation", or "/Embedding") it makes no window and needs no display; with
// "/Automation" it ends when its last object is released, or when no client has used it
// within the activation time-out. Started by COM, it ends with exit code 1 when its class
// object cannot be registered. Started by hand without a display it prints the start form's
// text and ends as if OK were pressed. Only a hand start with a display loads the start
// form's module and Qt with it (start_form_module.h).
#include <dlfcn.h>

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_registration.h"
#include "agent/agent_server.h"
#include "agent/start_form_module.h"
#include "common/system_module.h"
#include "platform/com_server.h"
#include "platform/dialogs.h"
#include "platform/message_loop.h"
#include "platform/text.h"

namespace {

constexpr std::string_view kApplicationTitle = "popagent";

bool FindCmdLineSwitch(const std::vector<std::string>& arguments, std::string_view name) {
    for (const std::string& argument : arguments) {
        if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-') &&
            win::SameText(std::string_view(argument).substr(1), name)) {
            return true;
        }
    }
    return false;
}

// Started by COM: no window; COM calls arrive through the platform's loop.
int RunWithoutWindow() {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    try {
        return win::RunMessageLoop();
    } catch (const std::exception& error) {
        std::cerr << kApplicationTitle << ": " << error.what() << std::endl;
        return 1;
    }
}

// The start form's entry, from the module beside the program; null when it cannot be loaded.
vrel::StartFormEntry LoadStartForm() {
    const std::filesystem::path module =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / vrel::kStartFormModule;
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = handle ? ::dlsym(handle, vrel::kStartFormEntry) : nullptr;
    if (!entry) std::cerr << kApplicationTitle << ": " << ::dlerror() << std::endl;
    return reinterpret_cast<vrel::StartFormEntry>(entry);
}

// Started by hand: the start form is the main window.
int RunWithStartForm(int argc, char** argv) {
    if (!win::DisplayAvailable()) {
        std::cout << vrel::kStartFormCaption << "\n" << vrel::kStartFormText << std::endl;
        return vrel::ComServerCanClose() ? 0 : 1;
    }
    const vrel::StartFormEntry run = LoadStartForm();
    return run ? run(argc, argv, std::string(kApplicationTitle).c_str()) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool automation = FindCmdLineSwitch(arguments, "AUTOMATION");
    const bool embedding = FindCmdLineSwitch(arguments, "EMBEDDING");
    win::SetApplicationTitle(kApplicationTitle);
    win::CoInitialize();
    win::ComServer().SetQuitOnLastRelease(automation);
    if (FindCmdLineSwitch(arguments, "REGSERVER")) {
        vrel::RegisterAgentServer();
        return 0;
    }
    if (FindCmdLineSwitch(arguments, "UNREGSERVER")) {
        vrel::UnregisterAgentServer();
        return 0;
    }
    const bool startedByCom = automation || embedding;
    if (!startedByCom) vrel::RegisterAgentServer();
    win::DWORD registration = 0;
    const bool registered = win::SUCCEEDED(vrel::RegisterMessageAgentClass(registration));
    // Started by hand, the program still runs without its class object; COM just cannot
    // reach it. Started by COM, it would wait for nobody.
    if (!registered && startedByCom) {
        std::cerr << kApplicationTitle << ": the class object cannot be registered" << std::endl;
        win::CoUninitialize();
        return 1;
    }
    const int exitCode = startedByCom ? RunWithoutWindow() : RunWithStartForm(argc, argv);
    if (registered) win::CoRevokeClassObject(registration);
    win::CoUninitialize();
    vrel::SystemModule.reset();
    return exitCode;
}
