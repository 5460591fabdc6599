#include "settings_fixture.h"

#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "common/agent_binding.h"
#include "common/system_module.h"
#include "platform/com.h"
#include "platform/scm.h"
#include "platform/vcl.h"
#include "smtp_seo.h"

namespace vrel::test {
namespace fs = std::filesystem;

namespace {

QApplication* application = nullptr;

// Makes the application before any test's fixture (which may hold widgets) and ends it after
// the last test, before the program's exit: Qt's input devices, which test clicks create, must
// go while Qt's own statics still live.
class ApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { Application(); }
    void TearDown() override {
        delete application;
        application = nullptr;
    }
};

[[maybe_unused]] const auto* environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace

QApplication& Application() {
    static int argc = 1;
    static char name[] = "settings_test";
    static char* argv[] = {name, nullptr};
    if (!application) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        application = new QApplication(argc, argv);
        vcl::SetApplicationFont(*application);
        vcl::ModalScript::SetDefaultFailure(
            [](const std::string& form) { ADD_FAILURE() << "unscripted modal form " << form; });
    }
    return *application;
}

QImage SaveScreenshot(QWidget& widget, const std::string& name) {
    widget.show();
    QApplication::processEvents();
    const fs::path folder = fs::absolute(BinFolder()).parent_path() / "screenshots";
    fs::create_directories(folder);
    const QImage image = widget.grab().toImage();
    EXPECT_TRUE(image.save(QString::fromStdString((folder / (name + ".png")).string()))) << name;
    return image;
}

std::string ProgramModulePath(const std::string& program) {
    return win::ToWindowsPath(fs::absolute(BinFolder()) / program) + ".exe";
}

void ControlService(const std::string& name, bool start) {
    win::SC_HANDLE manager = win::OpenSCManager(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    win::SC_HANDLE service = win::OpenService(manager, name, win::SERVICE_ALL_ACCESS);
    win::SERVICE_STATUS status;
    EXPECT_TRUE(start ? win::StartService(service)
                      : win::ControlService(service, win::SERVICE_CONTROL_STOP, status));
    const win::DWORD state = start ? win::SERVICE_RUNNING : win::SERVICE_STOPPED;
    EXPECT_EQ(WaitForState(name, state).dwCurrentState, state);
    win::CloseServiceHandle(service);
    win::CloseServiceHandle(manager);
}

void RegisterAgent() {
    ASSERT_EQ(RunProgram("popagent", "/regserver").exitCode, 0);
}

void BindAgent() {
    RegisterSmtpWithSeo();
    RegisterAgentBinding("Message Agent for POP3 Service", kAgentSinkClass,
                         "{6A5F1E2B-0C3D-4E5F-8091-A2B3C4D5E6F7}");
}

void PopDlgTest::SetUp() {
    Application();
    program_.emplace(ProgramModulePath("popsetup"));
    SystemModule = std::make_unique<TSystemModule>();
    win::CoInitialize();
    form_ = std::make_unique<TPopDlg>();
    PopDlg = form_.get();
    pickerForms_.emplace();
    logOptions_ = std::make_unique<TLogFileOptionsForm>(form_.get());
    LogFileOptionsForm = logOptions_.get();
}

void PopDlgTest::TearDown() {
    LogFileOptionsForm = nullptr;
    logOptions_.reset();
    pickerForms_.reset();
    PopDlg = nullptr;
    form_.reset();
    win::CoUninitialize();
    SystemModule.reset();
    program_.reset();
    ServiceTest::TearDown();
}

void PopDlgTest::ShowPage(QWidget* page) {
    form_->show();
    QTabBar* tabs = form_->PageControl->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {},
                      tabs->tabRect(form_->PageControl->indexOf(page)).center());
    QApplication::processEvents();
}

}  // namespace vrel::test
