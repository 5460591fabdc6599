// popagent: the message agent, a COM local server whose TMessageAgentImpl objects the SMTP
// service calls for every arriving message, and a small window program when started by hand.
//
// Switches "REGSERVER", "UNREGSERVER", "AUTOMATION" and "EMBEDDING", with "/" or "-" in any
// case, anywhere on the command line; every other argument is ignored. Started by COM
// ("/Automation", or "/Embedding") it makes no window and needs no display; with
// "/Automation" it ends when its last object is released, or when no client has used it
// within the activation time-out. Started by COM, it ends with exit code 1 when its class
// object cannot be registered. Started by hand without a display it prints the start form's
// text and ends as if OK were pressed.
#include <QApplication>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_registration.h"
#include "agent/agent_server.h"
#include "agent/start_form.h"
#include "common/system_module.h"
#include "platform/com_server.h"
#include "platform/message_loop.h"
#include "platform/qt_gui.h"
#include "platform/text.h"
#include "platform/vcl.h"

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

// Started by hand: the start form is the main window; Qt's loop also delivers COM calls.
int RunWithStartForm(int argc, char** argv) {
    if (!win::DisplayAvailable()) {
        std::cout << vrel::kStartFormCaption << "\n" << vrel::kStartFormText << std::endl;
        return vrel::ComServerCanClose() ? 0 : 1;
    }
    QApplication application(argc, argv);
    vcl::SetApplicationFont(application);
    win::InstallQtDialogs();
    win::PumpMessageQueueInQt(application);
    try {
        vrel::TStartForm StartForm;
        vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
        StartForm.show();
        return application.exec();
    } catch (const std::exception& error) {
        win::MessageBox(error.what(), kApplicationTitle, win::MB_OK | win::MB_ICONERROR);
        return 1;
    }
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
