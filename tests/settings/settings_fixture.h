// The settings program's main window in a test's own process, off-screen: one QApplication
// with the forms' font, a fresh machine per test, "the program" redirected to popsetup in
// build/bin (so its version block and the agent and service programs beside it are the real
// ones), COM initialised as the program's start-up does, and the window as the global PopDlg
// (with the log options dialog as LogFileOptionsForm).
// Services the test started are stopped at teardown.
#pragma once

#include <QApplication>
#include <QImage>
#include <memory>
#include <optional>
#include <string>

#include "platform/paths.h"
#include "settings/log_file_options_form.h"
#include "settings/picker_forms.h"
#include "settings/pop_dlg.h"
#include "stored_settings.h"
#include "test_services.h"

namespace vrel::test {

QApplication& Application();

// Shows the widget, saves its grab() as build/screenshots/NAME.png and returns the image.
QImage SaveScreenshot(QWidget& widget, const std::string& name);

// The Windows path of a program of build/bin, as the program's own file names it.
std::string ProgramModulePath(const std::string& program);

// Starts or stops the service by hand, as another program would, and waits for it.
void ControlService(const std::string& name, bool start);
// The agent registered by its own /regserver, and its arrival binding made.
void RegisterAgent();
void BindAgent();

class PopDlgTest : public ServiceTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    TPopDlg& Form() { return *form_; }
    TLogFileOptionsForm& LogOptions() { return *logOptions_; }
    // Shows the window on the given page, as a click on its tab would.
    void ShowPage(QWidget* page);

  private:
    std::optional<win::ModuleFileNameOverride> program_;
    std::unique_ptr<TPopDlg> form_;
    std::optional<PickerForms> pickerForms_;
    std::unique_ptr<TLogFileOptionsForm> logOptions_;
};

}  // namespace vrel::test
