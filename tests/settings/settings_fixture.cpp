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

QApplication& Application() {
    static int argc = 1;
    static char name[] = "settings_test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: Qt's test input devices outlive any static application object.
    static QApplication* application = new QApplication(argc, argv);
    static const bool prepared = [] {
        vcl::SetApplicationFont(*application);
        vcl::ModalScript::SetDefaultFailure(
            [](const std::string& form) { ADD_FAILURE() << "unscripted modal form " << form; });
        return true;
    }();
    (void)prepared;
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
}

void PopDlgTest::TearDown() {
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
