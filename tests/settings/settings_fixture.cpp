#include "settings_fixture.h"

#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "common/system_module.h"
#include "platform/com.h"
#include "platform/vcl.h"

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

void PopDlgTest::SetUp() {
    Application();
    program_.emplace(ProgramModulePath("popsetup"));
    SystemModule = std::make_unique<TSystemModule>();
    win::CoInitialize();
    form_ = std::make_unique<TPopDlg>();
    PopDlg = form_.get();
    pickerForms_.emplace();
}

void PopDlgTest::TearDown() {
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
