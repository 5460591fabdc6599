// The start form module's entry; see start_form_module.h.
#include <QApplication>
#include <exception>
#include <memory>

#include "agent/start_form.h"
#include "common/system_module.h"
#include "platform/dialogs.h"
#include "platform/qt_gui.h"
#include "platform/vcl.h"

// Qt's loop also delivers the COM calls the program's class object receives.
extern "C" int vrelRunStartForm(int argc, char** argv, const char* applicationTitle) {
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
        win::MessageBox(error.what(), applicationTitle, win::MB_OK | win::MB_ICONERROR);
        return 1;
    }
}
