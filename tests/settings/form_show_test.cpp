// The main window's loading and page changes: what the first showing reads and writes back,
// the alias grid, bindings of the agent's older names, the first page, the page handlers, the
// question on leaving a page with unapplied changes, and OK.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "common/agent_binding.h"
#include "common/alias_table.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "platform/vcl.h"
#include "settings/service_control.h"
#include "settings_fixture.h"

namespace {

using vrel::TPopDlg;
using vrel::test::StoreNumber;

std::set<std::string> StoredValueNames() {
    win::TRegistry registry;
    if (!registry.OpenKeyReadOnly(vrel::kSettingsKey)) return {};
    const std::vector<std::string> names = registry.GetValueNames();
    return {names.begin(), names.end()};
}

class FormShowTest : public vrel::test::PopDlgTest {
  protected:
    TPopDlg& Open() {
        Form().show();
        QApplication::processEvents();
        return Form();
    }
};

// A clean machine: the values a first start writes back, no others; the window opens on the
// wizard's welcome step with Apply disabled.
TEST_F(FormShowTest, FirstStartWritesBackTheMissingDefaultsOnly) {
    // Without the SMTP service there is no default domain, so no PostMaster is written.
    TPopDlg& form = Open();
    EXPECT_EQ(StoredValueNames(),
              (std::set<std::string>{"EmailUsersGroup", "MailInBoxDir", "ShowSplashScreen",
                                     "UndeliverableMailStatus", "UserAuthentication"}));
    EXPECT_TRUE(vrel::GetShowSplashScreen());
    EXPECT_EQ(vrel::GetEmailUsersGroup(), "Users");
    EXPECT_EQ(vrel::GetUserAuthentication(), 0);
    EXPECT_EQ(vrel::GetUndeliverableMailStatus(), 0);
    win::TRegistry registry;
    registry.OpenKeyReadOnly(vrel::kSettingsKey);
    EXPECT_EQ(registry.ReadString("MailInBoxDir"), form.InBoxRootDirEdit->text().toStdString());
    EXPECT_EQ(form.UserAccRadioGroup->Button(0)->text().toStdString(),
              "Local Computer (" + vrel::GetLocalComputerName() + ") Users");
    EXPECT_FALSE(form.DomainEdit->isEnabled() || form.DomainBrowseButton->isEnabled());
    EXPECT_FALSE(form.LogFileEdit->isEnabled() || form.LogFilePropButton->isEnabled());
    EXPECT_FALSE(form.ApplyButton->isEnabled());
    EXPECT_FALSE(form.authChanged);
    EXPECT_TRUE(vrel::Pop3MetabaseExists()) << "the POP3 branch is made at the first showing";
    EXPECT_EQ(form.PageControl->ActivePage(), form.WizardTab);
    EXPECT_EQ(form.WizStepLabel->text(), "Welcome to the POP3 Setup Wizard");
}

// With the SMTP service's default domain the PostMaster's default is written too.
TEST_F(FormShowTest, FirstStartWithADefaultDomainWritesThePostMaster) {
    vrel::test::InstallSmtpServer({{"DefaultDomain", "mailhost.test"}});
    TPopDlg& form = Open();
    EXPECT_EQ(
        StoredValueNames(),
        (std::set<std::string>{"EmailUsersGroup", "MailInBoxDir", "PostMaster", "ShowSplashScreen",
                               "UndeliverableMailStatus", "UserAuthentication"}));
    EXPECT_EQ(form.PMEdit->text().toStdString(), vrel::GetPostMaster());
    EXPECT_NE(vrel::GetPostMaster().find("mailhost.test"), std::string::npos);
}

// Domain authentication without a logon server stores the computer's own domain; stored
// values out of range reach the controls as the getters give them.
TEST_F(FormShowTest, StoredValuesReachTheControlsAsTheGettersGiveThem) {
    StoreNumber("UserAuthentication", 1);
    StoreNumber("UndeliverableMailStatus", 7);
    StoreNumber("LoggingEnabled", 1);
    TPopDlg& form = Open();
    EXPECT_EQ(form.UserAccRadioGroup->ItemIndex(), 1);
    EXPECT_TRUE(form.DomainEdit->isEnabled());
    win::TRegistry registry;
    registry.OpenKeyReadOnly(vrel::kSettingsKey);
    EXPECT_EQ(registry.ReadString("NTDomainLogonServer"), vrel::GetLocalDomainName());
    EXPECT_EQ(form.UMRadioGroup->ItemIndex(), -1) << "7 selects no item";
    EXPECT_EQ(registry.ReadInteger("UndeliverableMailStatus"), 7) << "not rewritten";
    EXPECT_TRUE(form.LoggingCheckBox->isChecked());
    EXPECT_TRUE(form.LogFileEdit->isEnabled());
    EXPECT_EQ(registry.ReadString("LogFileLocation"), form.LogFileEdit->text().toStdString());
}

// A value stored with another type raises the registry's error, which the exception box
// shows; the window still opens on a page.
TEST_F(FormShowTest, AValueOfTheWrongTypeIsShownInTheExceptionBox) {
    {
        win::TRegistry registry;
        registry.OpenKey(vrel::kSettingsKey, true);
        registry.WriteString("UserAuthentication", "one");
    }
    const win::MessageBoxScript boxes;
    TPopDlg& form = Open();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].icon, win::MB_ICONERROR);
    EXPECT_NE(boxes.Shown()[0].text.find("UserAuthentication"), std::string::npos)
        << boxes.Shown()[0].text;
    EXPECT_TRUE(form.isVisible());
}

// The alias grid holds one row per alias and the empty last row; the agent's bindings under
// older names go, the current one stays; the narrow screen narrows the window.
TEST_F(FormShowTest, AliasesOlderBindingsAndANarrowScreen) {
    vrel::CreatePop3Metabase();
    vrel::WriteAlias("sales", "ann");
    vrel::WriteAlias("info", "bob");
    EXPECT_TRUE(vrel::test::CreateTestService(vrel::kSmtpServiceName, "-waithint:250"));
    vrel::test::BindAgent();
    vrel::RegisterAgentBinding("old", "popagent.MessageAgent",
                               "{11111111-2222-3333-4444-555555555555}");
    vrel::RegisterAgentBinding("older", "vrelP3Service.MessageAgent",
                               "{11111111-2222-3333-4444-666666666666}");
    vcl::SetScreenWidth(640);
    TPopDlg& form = Open();
    vcl::SetScreenWidth(0);
    EXPECT_EQ(form.width(), 640);
    EXPECT_EQ(form.x(), 0) << "centred on the narrow screen after narrowing";
    EXPECT_EQ(form.PageControl->geometry().right(), 640 - 5 - 1);
    for (QWidget* button : std::initializer_list<QWidget*>{form.HelpBtn, form.WizFinishButton}) {
        const QRect inWindow(button->mapTo(&form, QPoint()), button->size());
        EXPECT_TRUE(form.rect().contains(inWindow)) << button->objectName().toStdString();
    }
    vrel::test::SaveScreenshot(form, "popsetup_PopDlg-narrow");
    EXPECT_EQ(form.AliasStringGrid->RowCount(), 4);
    EXPECT_EQ(form.AliasStringGrid->Cell(1, 0), "Alias");
    EXPECT_EQ(form.AliasStringGrid->Cell(2, 0), "Map To User");
    std::set<std::string> rows;
    for (int row = 1; row <= 2; ++row) {
        rows.insert(form.AliasStringGrid->Cell(1, row) + "=" + form.AliasStringGrid->Cell(2, row));
    }
    EXPECT_EQ(rows, (std::set<std::string>{"sales=ann", "info=bob"}));
    EXPECT_EQ(form.AliasGroupBox->title(), " Alias Database: (2) items");
    EXPECT_EQ(vrel::FindAgentBinding("popagent.MessageAgent"), "");
    EXPECT_EQ(vrel::FindAgentBinding("vrelP3Service.MessageAgent"), "");
    EXPECT_NE(vrel::FindAgentBinding(vrel::kAgentSinkClass), "");
}

// Leaving a page with unapplied changes asks; No writes nothing and disables Apply, and the
// General page's return reloads the splash box from the registry.
TEST_F(FormShowTest, LeavingWithUnappliedChangesAnsweredNoWritesNothing) {
    TPopDlg& form = Open();
    ShowPage(form.GeneralTab);
    EXPECT_EQ(form.wizardStep, 0);
    const std::set<std::string> before = StoredValueNames();
    form.SplashCheckBox->setChecked(false);
    form.ApplyButton->setEnabled(true);
    {
        const win::MessageBoxScript boxes({win::IDNO});
        ShowPage(form.UserAccTab);
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, "Do you want to apply the changes ?");
        EXPECT_EQ(boxes.Shown()[0].buttons, (std::vector<int>{win::IDYES, win::IDNO}));
    }
    EXPECT_EQ(form.PageControl->ActivePage(), form.UserAccTab);
    EXPECT_FALSE(form.ApplyButton->isEnabled());
    EXPECT_TRUE(vrel::GetShowSplashScreen());
    EXPECT_EQ(StoredValueNames(), before);
    {
        const win::MessageBoxScript boxes;
        ShowPage(form.GeneralTab);
        EXPECT_TRUE(boxes.Shown().empty()) << "nothing left to apply";
    }
    EXPECT_TRUE(form.SplashCheckBox->isChecked()) << "reloaded";
}

// The page handlers keep Apply as it was; the User Accounts page's reads the counter switch.
TEST_F(FormShowTest, PageHandlersKeepApplyAndReadTheirSwitches) {
    StoreNumber("CountMessages", 1);
    StoreNumber("CountConnections", 1);
    TPopDlg& form = Open();
    form.ApplyButton->setEnabled(true);
    form.PageControl->SetActivePage(form.UserAccTab);
    EXPECT_TRUE(form.CountMsgCheckBox->isChecked());
    EXPECT_TRUE(form.ApplyButton->isEnabled());
    form.PageControl->SetActivePage(form.GeneralTab);
    EXPECT_TRUE(form.CountConCheckBox->isChecked());
    EXPECT_TRUE(form.ApplyButton->isEnabled());
}

}  // namespace
