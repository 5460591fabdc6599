// The agent's start form and the COM server's closing question, drawn off-screen; each test
// saves a screenshot under the build's screenshots folder. Also: COM work posted to the
// message queue runs while Qt's loop runs.
#include "agent/start_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "agent/agent_server.h"
#include "platform/com_server.h"
#include "platform/message_loop.h"
#include "platform/qt_gui.h"
#include "test_machine.h"

namespace {

namespace fs = std::filesystem;

QApplication& Application() {
    static int argc = 1;
    static char name[] = "start_form_test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication application(argc, argv);
    static const bool pumped = (win::PumpMessageQueueInQt(application), true);
    (void)pumped;
    return application;
}

// Shows the widget first, so a box lays out its text as it would on screen.
void SaveScreenshot(QWidget& widget, const std::string& name) {
    widget.show();
    QApplication::processEvents();
    const fs::path folder = vrel::test::BinFolder().parent_path() / "screenshots";
    fs::create_directories(folder);
    const QString file = QString::fromStdString((folder / (name + ".png")).string());
    EXPECT_TRUE(widget.grab().save(file)) << name;
}

class StartFormTest : public vrel::test::MachineTest {
  protected:
    void SetUp() override { Application(); }
};

TEST_F(StartFormTest, ShowsItsTextsAndClosesOnOk) {
    vrel::TStartForm form;
    form.show();
    EXPECT_EQ(form.objectName(), "StartForm");
    EXPECT_EQ(form.windowTitle(), "Initialize Message Agent");
    EXPECT_EQ(form.size(), QSize(186, 88));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.Label1->text(), "Message Agent is installed.");
    EXPECT_EQ(form.Label1->pos(), QPoint(24, 24));
    EXPECT_EQ(form.OKButton->text(), "OK");
    EXPECT_EQ(form.OKButton->geometry(), QRect(56, 56, 75, 25));
    SaveScreenshot(form, "popagent_StartForm");

    win::MessageBoxScript script;
    form.OKButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(script.Shown().empty());
}

TEST_F(StartFormTest, ClosingWithLiveObjectsAsksFirst) {
    vrel::TStartForm form;
    form.show();
    win::ComServer().Lock();  // a client's object is alive
    win::MessageBoxScript script({win::IDNO});
    form.OKButton->click();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(script.Shown().size(), 1u);
    const win::MessageBoxRecord& box = script.Shown().front();
    EXPECT_EQ(box.caption, "COM Server Warning");
    EXPECT_EQ(box.text,
              "There are still active COM objects in this application.  One or more clients may "
              "have references to these objects, so manually closing this application may cause "
              "those client application(s) to fail.\n\nAre you sure you want to close this "
              "application?");
    EXPECT_EQ(box.icon, win::MB_ICONWARNING);
    EXPECT_EQ(box.buttons, (std::vector<int>{win::IDYES, win::IDNO}));
    EXPECT_EQ(box.defaultButton, win::IDNO);
    const std::unique_ptr<QMessageBox> shown = win::MakeMessageBox(box);
    SaveScreenshot(*shown, "popagent_ComServerWarning");

    form.close();  // the close box asks the same
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(script.Shown().size(), 2u);

    script.Answer(win::IDYES);
    form.OKButton->click();
    EXPECT_FALSE(form.isVisible());
    win::ComServer().Unlock();
}

TEST_F(StartFormTest, QueuedComWorkRunsWhileQtRuns) {
    QApplication& application = Application();
    bool ran = false;
    QTimer::singleShot(0, [&ran] {
        win::PostThreadTask([&ran] { ran = true; });
        win::PostQuitMessage(3);
    });
    EXPECT_EQ(application.exec(), 3);
    EXPECT_TRUE(ran);
}

}  // namespace
