// The General page's service status list on real stand-in services (testservice playing
// SMTPSVC and vrelP3Service), the real agent registration (popagent /regserver beside "the
// program") and a real arrival binding: every row and its icon, installComplete, the enabling
// table, the actions on the selected row, and the progress bar of a wait.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QTest>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/agent_binding.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "platform/scm.h"
#include "settings/agent_install.h"
#include "settings/service_control.h"
#include "settings_fixture.h"
#include "smtp_seo.h"

namespace {

using vrel::test::ProgramImagePath;
using vrel::test::RunProgram;
using vrel::test::SaveScreenshot;
using vrel::test::WaitForState;

enum class Icon { None, Running, Cross };

class StatusListTest : public vrel::test::PopDlgTest {
  protected:
    void SetUp() override {
        PopDlgTest::SetUp();
        ShowPage(Form().GeneralTab);
    }

    static void CreateTestService(const std::string& name) {
        EXPECT_TRUE(vrel::test::CreateTestService(name, "-waithint:250"));
    }
    static void Control(const std::string& name, bool start) {
        vrel::test::ControlService(name, start);
    }
    static void RegisterAgent() { vrel::test::RegisterAgent(); }
    static void BindAgent() { vrel::test::BindAgent(); }

    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (int i = 0; i < Form().GenStatusListBox->Count(); ++i) {
            rows.push_back(Form().GenStatusListBox->ItemText(i).toStdString());
        }
        return rows;
    }

    // The icon drawn at (5, 2) of the row, told by its colours.
    Icon IconOf(int row) {
        QApplication::processEvents();  // the list lays out its new rows
        const QImage image = Form().GenStatusListBox->viewport()->grab().toImage();
        Icon icon = Icon::None;
        for (int y = row * 18 + 2; y < row * 18 + 18; ++y) {
            for (int x = 5; x < 21; ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour == QColor(0, 128, 128)) icon = Icon::Running;
                if (colour.red() > 150 && colour.green() < 60 && colour.blue() < 60) {
                    icon = Icon::Cross;
                }
            }
        }
        return icon;
    }

    void ClickRow(int row) {
        vcl::TOwnerDrawListBox& list = *Form().GenStatusListBox;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(60, row * 18 + 9));
        ASSERT_EQ(list.ItemIndex(), row);
    }

    // Start, Stop, Install, Remove as the buttons and the menu items show them.
    std::vector<bool> ButtonsEnabled() {
        const vrel::TPopDlg& form = Form();
        return {form.StatusStartButton->isEnabled(), form.StatusStopButton->isEnabled(),
                form.InstallButton->isEnabled(), form.UnInstallButton->isEnabled()};
    }
    std::vector<bool> MenuEnabled() {
        const vrel::TPopDlg& form = Form();
        return {form.StatusStart->isEnabled(), form.StatusStop->isEnabled(),
                form.StatusInstall->isEnabled(), form.StatusRemove->isEnabled()};
    }
};

// Each step changes the machine, then shows the General page again, which rebuilds the list.
TEST_F(StatusListTest, RowsFollowTheServicesTheAgentAndItsBinding) {
    const std::string smtp = vrel::kSmtpServiceName;
    const std::string pop3 = vrel::kPop3ServiceName;
    struct Step {
        const char* what;
        std::function<void()> change;
        const char* smtpRow;
        const char* pop3Row;
        Icon smtpIcon, pop3Icon;
        bool complete;
    };
    const std::vector<Step> steps = {
        {"fresh machine", [] {}, "SMTP Service (Not Installed)", "POP3 Service (Not Installed)",
         Icon::Cross, Icon::Cross, false},
        {"SMTP service installed", [&] { CreateTestService(smtp); }, "SMTP Service (Stopped)",
         "POP3 Service (Not Installed)", Icon::Cross, Icon::Cross, false},
        {"SMTP service started", [&] { Control(smtp, true); }, "SMTP Service (Running)",
         "POP3 Service (Not Installed)", Icon::Running, Icon::Cross, false},
        {"POP3 service running, agent not registered",
         [&] {
             CreateTestService(pop3);
             Control(pop3, true);
         },
         "SMTP Service (Running)", "POP3 Service (Not Installed)", Icon::Running, Icon::Cross,
         false},
        {"agent registered, binding missing", RegisterAgent, "SMTP Service (Running)",
         "POP3 Service (Not Complete)", Icon::Running, Icon::Cross, false},
        {"agent bound", BindAgent, "SMTP Service (Running)", "POP3 Service (Running)",
         Icon::Running, Icon::Running, true},
        {"POP3 service stopped", [&] { Control(pop3, false); }, "SMTP Service (Running)",
         "POP3 Service (Stopped)", Icon::Running, Icon::Cross, false},
    };
    vrel::TPopDlg& form = Form();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        form.installComplete = !step.complete;
        form.PageControl->SetActivePage(form.GeneralTab);
        EXPECT_EQ(Rows(), (std::vector<std::string>{step.smtpRow, step.pop3Row}));
        EXPECT_EQ(IconOf(0), step.smtpIcon);
        EXPECT_EQ(IconOf(1), step.pop3Icon);
        EXPECT_EQ(form.installComplete, step.complete);
        EXPECT_EQ(form.GenStatusListBox->ItemIndex(), -1);
    }
}

// A click on a row enables the four buttons and menu items by the row's state; the menu's own
// handler sets the items alike; with no row selected both leave the enabling as it was.
TEST_F(StatusListTest, EnablingFollowsTheSelectedRowsState) {
    struct Case {
        const char* row;
        std::vector<bool> enabled;  // Start, Stop, Install, Remove
    };
    const Case cases[] = {
        {"SMTP Service (Not Installed)", {false, false, true, false}},
        {"POP3 Service (Not Complete)", {false, false, true, true}},
        {"POP3 Service (Stopped)", {true, false, false, true}},
        {"SMTP Service (Running)", {false, true, false, true}},
        {"POP3 Service (Not Installed)", {false, false, true, false}},
    };
    vrel::TPopDlg& form = Form();
    vcl::TOwnerDrawListBox& list = *form.GenStatusListBox;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        list.clear();
        list.AddItem(c.row);
        ClickRow(0);
        EXPECT_EQ(ButtonsEnabled(), c.enabled);
        EXPECT_EQ(MenuEnabled(), c.enabled);
        for (QAction* item :
             {form.StatusStart, form.StatusStop, form.StatusInstall, form.StatusRemove}) {
            item->setEnabled(true);
        }
        form.StatusPopupMenuPopup();
        EXPECT_EQ(MenuEnabled(), c.enabled);
        EXPECT_TRUE(form.StatusHelp->isEnabled());
    }
    list.SetItemIndex(-1);
    form.StatusStart->setEnabled(true);
    form.StatusPopupMenuPopup();
    form.GenStatusListBoxClick();
    EXPECT_EQ(MenuEnabled(), (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(ButtonsEnabled(), (std::vector<bool>{false, false, true, false}));
}

// The right button opens the menu over the selected row without selecting the one under it.
TEST_F(StatusListTest, RightClickOpensTheMenuForTheSelectedRow) {
    vrel::TPopDlg& form = Form();
    ClickRow(0);  // "SMTP Service (Not Installed)"
    form.StatusInstall->setEnabled(false);
    vcl::TOwnerDrawListBox& list = *form.GenStatusListBox;
    const QPoint row1(60, 18 + 9);
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, row1);
    QContextMenuEvent menuKey(QContextMenuEvent::Mouse, row1, list.viewport()->mapToGlobal(row1));
    QApplication::sendEvent(list.viewport(), &menuKey);
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_TRUE(form.StatusPopupMenu->isVisible());
    EXPECT_EQ(MenuEnabled(), (std::vector<bool>{false, false, true, false}));
    form.StatusPopupMenu->hide();
}

// Start and Stop act on the selected row with the progress bar over it; afterwards the list
// has no selection and the buttons keep the enabling of the row that was selected, so a
// second press only rebuilds the list.
TEST_F(StatusListTest, StartAndStopActOnTheSelectedRow) {
    vrel::TPopDlg& form = Form();
    CreateTestService(vrel::kPop3ServiceName);
    RegisterAgent();
    BindAgent();
    form.PageControl->SetActivePage(form.GeneralTab);
    ASSERT_EQ(Rows()[1], "POP3 Service (Stopped)");
    ClickRow(1);
    form.StatusStartButton->click();
    EXPECT_EQ(Rows()[1], "POP3 Service (Running)");
    EXPECT_EQ(form.GenStatusListBox->ItemIndex(), -1);
    EXPECT_GT(form.progressOffset, 0) << "the wait drew its bar";
    EXPECT_EQ(ButtonsEnabled(), (std::vector<bool>{true, false, false, true}));

    Control(vrel::kPop3ServiceName, false);
    form.StatusStartButton->click();  // no row selected: only the rebuild
    EXPECT_EQ(Rows()[1], "POP3 Service (Stopped)");

    Control(vrel::kPop3ServiceName, true);
    form.PageControl->SetActivePage(form.GeneralTab);
    EXPECT_EQ(form.progressOffset, 0) << "showing the General page resets the bar";
    ClickRow(1);
    form.StatusStop->trigger();
    EXPECT_EQ(Rows()[1], "POP3 Service (Stopped)");
}

TEST_F(StatusListTest, InstallOnThePop3RowNeedsTheSmtpServiceFirst) {
    vrel::TPopDlg& form = Form();
    ClickRow(1);
    const win::MessageBoxScript boxes;
    form.InstallButton->click();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "The SMTP service needs to be installed first.");
    EXPECT_EQ(boxes.Shown()[0].caption, win::ApplicationTitle());
    EXPECT_EQ(boxes.Shown()[0].buttons, std::vector<int>{win::IDOK});
    EXPECT_FALSE(vrel::IsServiceInstalled(vrel::kPop3ServiceName));
    win::TRegistry registry;
    registry.RootKey = win::HKEY_CLASSES_ROOT;
    EXPECT_FALSE(registry.KeyExists("\\vrelPOP3Service.MessageAgent"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"SMTP Service (Not Installed)",
                                                "POP3 Service (Not Installed)"}));
}

// Remove on the POP3 row takes the agent's binding away, then (only when there was one) the
// agent's registration, then stops and deletes the service; the SMTP row is left alone.
TEST_F(StatusListTest, RemoveOnThePop3RowUnbindsUnregistersThenDeletesTheService) {
    const std::string pop3 = vrel::kPop3ServiceName;
    struct AtStop {
        bool bound, registered, installed;
    };
    std::vector<AtStop> atStop;
    vrel::TPopDlg& form = Form();
    vrel::SetServiceProgressDisplay([&](const std::string& service, std::uint32_t waitTime) {
        if (service == pop3) {
            atStop.push_back({!vrel::FindAgentBinding(vrel::kAgentSinkClass).empty(),
                              vrel::IsMessageAgentRegistered(), vrel::IsServiceInstalled(pop3)});
        }
        form.DrawServiceProgress(service, waitTime);
    });
    CreateTestService(vrel::kSmtpServiceName);
    const auto runningPop3 = [&] {
        EXPECT_TRUE(vrel::test::CreateTestService(pop3, "-waithint:250 -stopdelay:500"));
        Control(pop3, true);
        form.PageControl->SetActivePage(form.GeneralTab);
    };

    // Registered but not bound: the registration stays.
    RegisterAgent();
    runningPop3();
    ASSERT_EQ(Rows()[1], "POP3 Service (Not Complete)");
    ClickRow(1);
    form.UnInstallButton->click();
    EXPECT_FALSE(vrel::IsServiceInstalled(pop3));
    EXPECT_TRUE(vrel::IsMessageAgentRegistered());

    // Registered and bound: everything goes, the service last.
    BindAgent();
    runningPop3();
    ASSERT_EQ(Rows()[1], "POP3 Service (Running)");
    atStop.clear();
    ClickRow(1);
    form.UnInstallButton->click();
    ASSERT_FALSE(atStop.empty()) << "the service was stopped with its wait";
    EXPECT_FALSE(atStop.front().bound);
    EXPECT_FALSE(atStop.front().registered);
    EXPECT_TRUE(atStop.front().installed);
    EXPECT_FALSE(vrel::IsServiceInstalled(pop3));
    EXPECT_EQ(vrel::FindAgentBinding(vrel::kAgentSinkClass), "");
    EXPECT_FALSE(vrel::IsMessageAgentRegistered());
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"SMTP Service (Stopped)", "POP3 Service (Not Installed)"}));
}

// Remove on the SMTP row has the component installer take the SMTP service away; the POP3
// service stays.
TEST_F(StatusListTest, RemoveOnTheSmtpRowTakesTheComponentAway) {
    CreateTestService(vrel::kSmtpServiceName);
    CreateTestService(vrel::kPop3ServiceName);
    vrel::TPopDlg& form = Form();
    form.PageControl->SetActivePage(form.GeneralTab);
    ASSERT_EQ(Rows()[0], "SMTP Service (Stopped)");
    ClickRow(0);
    const win::MessageBoxScript boxes;
    form.StatusRemove->trigger();
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_FALSE(vrel::IsServiceInstalled(vrel::kSmtpServiceName));
    EXPECT_TRUE(vrel::IsServiceInstalled(vrel::kPop3ServiceName));
    EXPECT_EQ(Rows()[0], "SMTP Service (Not Installed)");
}

// The bar during a wait: a black frame with a silver shadow over the POP3 row and blue
// segments inside it, kept in the list's picture until the rows change.
TEST_F(StatusListTest, ProgressFrameIsDrawnOverTheServicesRow) {
    vrel::TPopDlg& form = Form();
    form.PageControl->SetActivePage(form.GeneralTab);
    form.progressOffset = 60;
    form.DrawServiceProgress(vrel::kPop3ServiceName, 300);
    EXPECT_EQ(form.progressOffset, 72);
    ASSERT_TRUE(form.GenStatusListBox->HasOverlay());
    EXPECT_EQ(IconOf(0), Icon::Cross) << "row 0 keeps its icon";
    const QImage list = form.GenStatusListBox->viewport()->grab().toImage();
    EXPECT_EQ(list.pixelColor(30, 19), QColor(Qt::black));
    EXPECT_EQ(list.pixelColor(190, 20), QColor(192, 192, 192));
    EXPECT_EQ(list.pixelColor(80, 25), QColor(0, 0, 255));
    EXPECT_EQ(list.pixelColor(30 + 72 - 36 + 10, 25), vcl::WindowColor());  // a gap
    SaveScreenshot(form, "popsetup_PopDlg-StatusProgress");

    form.StatusButtonClick();
    EXPECT_FALSE(form.GenStatusListBox->HasOverlay());
}

}  // namespace
