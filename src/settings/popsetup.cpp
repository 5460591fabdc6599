// popsetup: the settings program, the administrator's window and setup wizard.
//
// Start-up, in its order: the application object with COM on its UI thread for the whole run
// (the settings units call COM without initialising it themselves) and its title, the splash
// window unless switched off, the help file, the administrator test (a refusal ends the
// program with exit code 0 before any window is made), the windows and the data module, the
// message loop. Without a display the program says so and ends with exit code 1 instead of
// waiting for a window nobody sees.
#include <QApplication>
#include <exception>
#include <iostream>
#include <memory>

#include "common/system_module.h"
#include "platform/com.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/message_loop.h"
#include "platform/qt_gui.h"
#include "platform/vcl.h"
#include "settings/log_file_options_form.h"
#include "settings/picker_forms.h"
#include "settings/pop_dlg.h"
#include "settings/splash_unit.h"
#include "settings/start_up.h"

namespace {

void InitialiseApplication(QApplication& application) {
    win::CoInitialize();
    win::SetApplicationTitle(vrel::kApplicationTitle);
    vcl::SetApplicationFont(application);
    win::InstallQtDialogs();
    win::InstallQtFolderDialog();
    win::PumpMessageQueueInQt(application);
    vcl::InstallHelp(application);
    vcl::InstallShell();
    // Closing the splash before the main window shows must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
}

// The windows in their creation order, the main window first; the loop runs until the main
// window closes.
void RunWindows(QApplication& application) {
    vrel::TPopDlg popDlg;
    vrel::PopDlg = &popDlg;
    const vrel::PickerForms pickerForms;
    vrel::TLogFileOptionsForm logFileOptionsForm(&popDlg);
    vrel::LogFileOptionsForm = &logFileOptionsForm;
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    QObject::connect(&popDlg, &QDialog::finished, &application, &QApplication::quit);
    popDlg.show();
    QApplication::setQuitOnLastWindowClosed(true);
    application.exec();
    vrel::LogFileOptionsForm = nullptr;
    vrel::PopDlg = nullptr;
}

void WinMain(QApplication& application) {
    InitialiseApplication(application);
    if (vrel::PrepareStart()) RunWindows(application);
}

}  // namespace

int main(int argc, char** argv) {
    if (!win::DisplayAvailable()) {
        std::cerr << "popsetup: no display to show the settings window on (set DISPLAY)"
                  << std::endl;
        return 1;
    }
    QApplication application(argc, argv);
    try {
        WinMain(application);
    } catch (const std::exception& error) {
        win::MessageBox(error.what(), vrel::kApplicationTitle, win::MB_OK | win::MB_ICONERROR);
    }
    delete vrel::SplashScnForm;
    vrel::SystemModule.reset();
    win::CoUninitialize();
    return 0;
}
