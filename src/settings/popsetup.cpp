// popsetup: the settings program, the administrator's window and setup wizard.
//
// Start-up: the application object with COM initialised on its UI thread for the whole run
// (the settings units call COM without initialising it themselves), the forms' font, the
// settings data module and the main window, opened on its General page. Without a display
// the program says so and ends with exit code 1 instead of waiting for a window nobody sees.
#include <QApplication>
#include <exception>
#include <iostream>
#include <string>

#include "common/system_module.h"
#include "platform/com.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/message_loop.h"
#include "platform/paths.h"
#include "platform/qt_gui.h"
#include "platform/vcl.h"
#include "settings/picker_forms.h"
#include "settings/pop_dlg.h"

namespace {

constexpr const char* kApplicationTitle = "Vrel POP3 Server";

// The help file beside the program.
std::string ProgramHelpFile() {
    const std::string program = win::GetModuleFileName();
    return program.substr(0, program.rfind('\\') + 1) + "DUDARAV3.AVE";
}

int RunSettingsWindow(QApplication& application) {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    vrel::TPopDlg popDlg;
    vrel::PopDlg = &popDlg;
    const vrel::PickerForms pickerForms;
    popDlg.PageControl->setCurrentWidget(popDlg.GeneralTab);
    popDlg.show();
    const int exitCode = application.exec();
    vrel::PopDlg = nullptr;
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    if (!win::DisplayAvailable()) {
        std::cerr << "popsetup: no display to show the settings window on (set DISPLAY)"
                  << std::endl;
        return 1;
    }
    QApplication application(argc, argv);
    win::CoInitialize();
    win::SetApplicationTitle(kApplicationTitle);
    vcl::SetApplicationFont(application);
    win::InstallQtDialogs();
    win::PumpMessageQueueInQt(application);
    vcl::InstallHelp(application);
    vcl::InstallShell();
    win::SetHelpFile(ProgramHelpFile());
    int exitCode = 0;
    try {
        exitCode = RunSettingsWindow(application);
    } catch (const std::exception& error) {
        win::MessageBox(error.what(), kApplicationTitle, win::MB_OK | win::MB_ICONERROR);
    }
    vrel::SystemModule.reset();
    win::CoUninitialize();
    return exitCode;
}
