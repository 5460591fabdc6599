// The main window off-screen: every control's name, caption, hint and help context; the
// window's frame and pages; the page control's rules; Esc and Enter; the About page, Cancel,
// Help and the web-page link. Each page is saved as a screenshot.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <string>
#include <vector>

#include "common/system_module.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "settings_fixture.h"

namespace {

using vrel::TPopDlg;
using vrel::test::SaveScreenshot;

struct Control {
    const char* name;
    QString caption;
    const char* hint;
    int help;
};

// The caption as the control shows it: a window's title, a page's tab, a group's title,
// a button's, label's or menu item's text, an edit's text.
QString CaptionOf(TPopDlg& form, QObject* control) {
    if (control == &form) return form.windowTitle();
    if (auto* page = qobject_cast<QWidget*>(control);
        page && form.PageControl->indexOf(page) >= 0) {
        return form.PageControl->tabText(form.PageControl->indexOf(page));
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
    if (auto* action = qobject_cast<QAction*>(control)) return action->text();
    return {};
}

const std::vector<Control>& Controls() {
    static const std::vector<Control> controls = {
        {"PopDlg", "Vrel POP3 Server Properties", "Configures the POP3 Server.", 10000},
        {"GeneralTab", "General", "", 11000},
        {"UserAccTab", "User Accounts", "", 12000},
        {"AliasTab", "Aliases", "", 13000},
        {"WizardTab", "Setup Wizard", "", 14000},
        {"AboutTab", "About", "", 15000},
        {"OKBtn", "OK", "Saves the current settings and closes the dialog.", 0},
        {"CancelBtn", "Cancel", "Discards any changes and closes the dialog.", 0},
        {"HelpBtn", "Help", "Brings up help.", 0},
        {"ApplyButton", "Apply", "Applies the current settings.", 0},
        {"Image1", "", "", 0},
        // General page
        {"GroupBox1", "InBox Root Directory: ",
         "Root directory of the message store - where unread email is stored.", 11010},
        {"InBoxRootDirEdit", "C:\\InetPub\\MailRoot\\Users", "", 0},
        {"InBoxBrowseButton", "Browse ...", "", 0},
        {"InBoxDefaultButton", "Default", "", 0},
        {"GroupBox5", "", "Log file location and properties.", 11020},
        {"LogFileDirLabel", "Log File Directory", "", 0},
        {"LogFileEdit", "C:\\Windows\\System32\\LogFiles", "", 0},
        {"LoggingCheckBox", "Enable Logging", "", 0},
        {"LogFilePropButton", "Properties ...", "", 0},
        {"LogFileBrowseButton", "Browse ...", "", 0},
        {"AgentGroupBox", " Server Status: ", "Status of the eMail Service.", 11040},
        {"GenStatusListBox", "", "", 0},
        {"InstallButton", "Install", "", 0},
        {"UnInstallButton", "Remove", "", 0},
        {"StatusStartButton", "Start", "", 0},
        {"StatusStopButton", "Stop", "", 0},
        {"StatusStart", "Start", "", 0},
        {"StatusStop", "Stop", "", 0},
        {"StatusInstall", "Install", "", 0},
        {"StatusRemove", "Remove", "", 0},
        {"StatusHelp", "Help", "", 0},
        {"SplashCheckBox", "Show Splash Screen", "", 11030},
        {"ConStatsGroupBox", " Connection Statistics: ", "", 11050},
        {"ConSMTPLabel", "SMTP Connections:", "", 0},
        {"ConPOP3Label", "POP3 Connections:", "", 0},
        {"ConLogonLabel", "Successful Logons:", "", 0},
        {"ConDateLabel", "Since:", "", 0},
        {"ConResetButton", "Reset Counts", "", 0},
        {"ConUpdateButton", "Update Status", "", 0},
        {"CountConCheckBox", "Count Connections ", "", 0},
        // User Accounts page
        {"UserAccRadioGroup", " Authentication  ", "This is where email user logons are verified.",
         12010},
        {"DomainEdit", "", "", 12010},
        {"DomainBrowseButton", "Browse ...", "", 12010},
        {"GroupBox", " eMail Users Group ", "Email users must belong to this group.", 12020},
        {"GroupLabel", "eMail Group:", "", 0},
        {"eMailUsersGroupEdit", "Users", "", 0},
        {"GroupBrowseButton", "Browse ...", "", 0},
        {"GroupBox2", " PostMaster ",
         "The email address of the person responsible for this service.", 12030},
        {"PMEdit", "PostMaster@localhost", "", 0},
        {"DefaultPMButton", "Default", "", 0},
        {"PMBrowseButton", "Browse ...", "", 0},
        {"UMRadioGroup", " Undeliverable Mail ", "What is done with undeliverable messages.",
         12040},
        {"MsgStatsGroupBox", " Message Statistics: ", "", 12050},
        {"MsgRecvLabel", "Received:", "", 0},
        {"MsgUndelLabel", "Undeliverable:", "", 0},
        {"MsgDelLabel", "Delivered:", "", 0},
        {"MsgDateLabel", "Since:", "", 0},
        {"MsgResetButton", "Reset Counts", "", 0},
        {"MsgUpdateButton", "Update Status", "", 0},
        {"CountMsgCheckBox", "Count Messages  ", "", 0},
        // Aliases page
        {"AliasGroupBox", " Alias Database: ", "", 0},
        {"AliasStringGrid", "", "A table of aliases and where they are redirected.", 0},
        {"AliasLabel", "Alias:", "", 0},
        {"AliasEdit", "", "Type in the alias.", 13070},
        {"AliasMapToLabel", "Map To User:", "", 0},
        {"AliasMapToEdit", "", "Type in the user account the alias is sent to.", 13070},
        {"AliasAddButton", "Add", "Add the alias in the Alias text box to the Alias database.",
         13050},
        {"AliasRemoveButton", "Remove", "Remove the currently selected alias.", 13060},
        {"AliasEditButton", "Edit", "Places the selected alias in the Alias text box for editing.",
         13070},
        {"AliasClearButton", "Clear", "Clears the Alias and Map To User text boxes.", 13080},
        {"BrowseUserButton", "Browse ...", "Brings up a list of email uses.", 13070},
        {"AliasImportButton", "Import ...", "Imports an alias (csv) file. ", 13010},
        {"AliasExportButton", "Export ...",
         "Exports the current alias database to a (csv) format file.", 13020},
        {"OptionsButton", "Options ...", "Sets the options for importing aliases. ", 13030},
        {"CheckAliasButton", "Check", "Checks the alias database and displays the status.", 13040},
        // Setup Wizard page
        {"WizPanel", "", "", 0},
        {"WizStepLabel", "Step: ", "", 0},
        {"WizMemo", "", "", 0},
        {"WizDomainEdit", "", "", 0},
        {"WizDomainAddButton", "Add", "", 0},
        {"WizNextLabel", "Click the Next button to continue.", "", 0},
        {"WizStartButton", "Start SMTP Server", "", 0},
        {"WizPrevButton", "Previous", "", 0},
        {"WizNextButton", "Next", "", 0},
        {"WizFinishButton", "Finish", "", 0},
        // About page
        {"LogoPanel", "", "", 0},
        {"Image2", "", "Just a picture. Click to go to the web page.", 0},
        {"ProductName", "POP3 Server", "", 0},
        {"Label8", QString::fromUtf8("for Windows\u00AE 2000/XP"), "", 0},
        {"VersionLabel", "", "", 0},
        {"CopyRight", "", "", 0},
        {"Label1", "Web Page:", "", 0},
        {"WebSiteLabel", "Tavimere", "Click to go to the POP3 Server web page.", 0},
    };
    return controls;
}

class PopDlgFormTest : public vrel::test::PopDlgTest {};

TEST_F(PopDlgFormTest, EveryControlHasItsNameCaptionHintAndHelpContext) {
    TPopDlg& form = Form();
    for (const Control& expected : Controls()) {
        SCOPED_TRACE(expected.name);
        QObject* control =
            form.objectName() == expected.name ? &form : form.findChild<QObject*>(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(CaptionOf(form, control), expected.caption);
        if (qobject_cast<QAction*>(control)) continue;
        auto* widget = static_cast<QWidget*>(control);
        EXPECT_EQ(widget->toolTip(), QString(expected.hint));
        EXPECT_EQ(vcl::HelpContextOf(*widget), expected.help);
    }
    EXPECT_EQ(form.UserAccRadioGroup->Items(), QStringList({"Local Computer", "NT Domain"}));
    EXPECT_EQ(form.UMRadioGroup->Items(),
              QStringList({"Move to Bad Mail Folder", "Return to Sender", "Forward to Postmaster",
                           "Silently Discard"}));
    EXPECT_EQ(form.UserAccRadioGroup->ItemIndex(), 0);
    EXPECT_EQ(form.UMRadioGroup->ItemIndex(), 0);
    const QList<QAction*> menu = form.StatusPopupMenu->actions();
    ASSERT_EQ(menu.size(), 7);
    EXPECT_EQ((std::vector<QAction*>(menu.begin(), menu.end())),
              (std::vector<QAction*>{form.StatusStart, form.StatusStop, form.N2, form.StatusInstall,
                                     form.StatusRemove, form.N3, form.StatusHelp}));
    EXPECT_TRUE(form.N2->isSeparator() && form.N3->isSeparator());
}

TEST_F(PopDlgFormTest, WindowStartsAsTheFormDefinesIt) {
    TPopDlg& form = Form();
    EXPECT_EQ(form.size(), QSize(667, 396));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    const std::vector<QWidget*> pages = {form.GeneralTab, form.UserAccTab, form.AliasTab,
                                         form.WizardTab, form.AboutTab};
    ASSERT_EQ(form.PageControl->count(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(form.PageControl->widget(i), pages[i]);
    EXPECT_EQ(form.PageControl->ActivePage(), form.WizardTab);
    EXPECT_EQ(form.GenStatusListBox->size(), QSize(201, 45));
    EXPECT_EQ(form.GenStatusListBox->ItemHeight(), 18);
    for (QPushButton* button : {form.StatusStartButton, form.StatusStopButton, form.InstallButton,
                                form.UnInstallButton, form.ApplyButton}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
    EXPECT_TRUE(form.OKBtn->isDefault());
    EXPECT_TRUE(form.SplashCheckBox->isChecked());
    EXPECT_FALSE(form.LoggingCheckBox->isChecked() || form.CountConCheckBox->isChecked() ||
                 form.CountMsgCheckBox->isChecked());
    EXPECT_FALSE(form.sortAscending || form.authChanged || form.installComplete);
    EXPECT_EQ(form.wizardStep, 0);
    EXPECT_EQ(form.progressOffset, 0);
    EXPECT_FALSE(form.WizDomainEdit->isVisibleTo(&form));
    EXPECT_FALSE(form.WizStartButton->isVisibleTo(&form));
    EXPECT_FALSE(form.WizDomainAddButton->isEnabled());
}

// A page change asked for by a click runs OnChanging on the old page, then the new page's show
// handler; a disabled page is still reachable and its handler runs.
TEST_F(PopDlgFormTest, PageChangesRunChangingThenTheShowHandler) {
    TPopDlg& form = Form();
    std::vector<std::string> order;
    form.PageControl->OnChanging = [&] {
        order.push_back("changing from " +
                        form.PageControl->ActivePage()->objectName().toStdString());
    };
    form.AboutTab->setEnabled(false);
    form.wizardStep = 3;
    ShowPage(form.AboutTab);
    EXPECT_EQ(order, std::vector<std::string>{"changing from WizardTab"});
    EXPECT_EQ(form.PageControl->ActivePage(), form.AboutTab);
    EXPECT_EQ(form.wizardStep, 0) << "AboutTabShow ran on the disabled page";
    EXPECT_EQ(form.ProductName->text(), "Vrel POP3 Server");

    form.wizardStep = 2;
    form.PageControl->SetActivePage(form.AboutTab);  // already active: its handler runs again
    EXPECT_EQ(form.wizardStep, 0);
    EXPECT_EQ(order.size(), 1u) << "making a page active by program asks nothing";
}

// The first showing runs the show handler of the page that is active then, and no other.
TEST_F(PopDlgFormTest, FirstShowingRunsTheActivePagesHandlerOnce) {
    TPopDlg& form = Form();
    form.PageControl->setCurrentWidget(form.AboutTab);
    form.PageControl->setCurrentWidget(form.GeneralTab);
    EXPECT_EQ(form.GenStatusListBox->Count(), 0) << "no handler runs while the window is hidden";
    form.wizardStep = 5;
    form.show();
    EXPECT_EQ(form.GenStatusListBox->Count(), 2) << "GeneralTabShow ran";
    EXPECT_EQ(form.wizardStep, 0);
    EXPECT_EQ(form.ProductName->text(), "POP3 Server") << "AboutTabShow did not run";
    form.hide();
    form.GenStatusListBox->clear();
    form.show();
    EXPECT_EQ(form.GenStatusListBox->Count(), 0) << "only the first showing";
}

TEST_F(PopDlgFormTest, EscClicksTheVisibleCancelButtonAndEnterTheDefault) {
    TPopDlg& form = Form();
    form.show();
    form.wizardStep = 4;  // a step whose Finish button is enabled
    vrel::ShowWizardPage();
    QSignalSpy finish(form.WizFinishButton, &QPushButton::clicked);
    QSignalSpy ok(form.OKBtn, &QPushButton::clicked);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(finish.count(), 1) << "the wizard page's Finish button is its cancel button";
    EXPECT_TRUE(form.isVisible());

    form.OKBtn->setEnabled(true);
    {
        const win::MessageBoxScript boxes;
        form.OKBtn->setFocus();
        QTest::keyClick(&form, Qt::Key_Return);
    }
    EXPECT_EQ(ok.count(), 1);
    EXPECT_FALSE(form.isVisible()) << "OK closes the window";
    form.show();
    ASSERT_FALSE(form.WizFinishButton->isEnabled()) << "the final page's Finish is disabled";
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible()) << "with Finish disabled, Esc clicks Cancel";
}

// Whatever was edited, Cancel writes nothing beyond what the window's loading wrote back.
TEST_F(PopDlgFormTest, CancelClosesWithoutWritingAnything) {
    TPopDlg& form = Form();
    ShowPage(form.GeneralTab);
    form.InBoxRootDirEdit->setText("D:\\Mail");
    form.LoggingCheckBox->setChecked(true);
    form.CancelBtn->click();
    EXPECT_FALSE(form.isVisible());
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Tavimere\\POP3 Server", false));
    EXPECT_NE(registry.ReadString("MailInBoxDir"), "D:\\Mail");
    EXPECT_FALSE(registry.ValueExists("LoggingEnabled"));
}

TEST_F(PopDlgFormTest, HelpOpensTheActivePagesContext) {
    TPopDlg& form = Form();
    form.show();
    win::SetHelpFile("C:\\WINDOWS\\Help\\DUDARAV3.AVE");
    const win::HelpRecorder help;
    for (QWidget* page :
         {form.GeneralTab, form.UserAccTab, form.AliasTab, form.AboutTab, form.WizardTab}) {
        ShowPage(page);
        form.HelpBtn->click();
    }
    form.wizardStep = 4;
    form.HelpBtn->click();
    std::vector<int> contexts;
    for (const win::HelpRequest& request : help.Requests()) {
        EXPECT_EQ(request.file, "C:\\WINDOWS\\Help\\DUDARAV3.AVE");
        contexts.push_back(request.context);
    }
    EXPECT_EQ(contexts, (std::vector<int>{11000, 12000, 13000, 15000, 14000, 14000}));
}

TEST_F(PopDlgFormTest, TheLogosAndTheLinkOpenTheWebPage) {
    TPopDlg& form = Form();
    ShowPage(form.AboutTab);
    {
        const win::ShellRecorder shell;
        const win::MessageBoxScript boxes;
        QTest::mouseClick(form.WebSiteLabel, Qt::LeftButton);
        QTest::mouseClick(form.Image2, Qt::LeftButton);
        QTest::mouseClick(form.Image1, Qt::LeftButton);
        ASSERT_EQ(shell.Requests().size(), 3u);
        for (const win::ShellRequest& request : shell.Requests()) {
            EXPECT_EQ(request.operation, "open");
            EXPECT_EQ(request.file, vrel::kWebPageAddress);
            EXPECT_EQ(request.parameters, "");
            EXPECT_EQ(request.showCmd, win::SW_SHOWNORMAL);
        }
        EXPECT_TRUE(boxes.Shown().empty());
    }
    const win::ShellRecorder failing(win::SE_ERR_NOASSOC);
    const win::MessageBoxScript boxes;
    QTest::mouseClick(form.WebSiteLabel, Qt::LeftButton);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "Could not open Internet Browser.");
    EXPECT_EQ(boxes.Shown()[0].buttons, std::vector<int>{win::IDOK});
}

TEST_F(PopDlgFormTest, AboutPageShowsTheProgramsVersionBlock) {
    TPopDlg& form = Form();
    ShowPage(form.AboutTab);
    EXPECT_EQ(form.ProductName->text(), "Vrel POP3 Server");
    EXPECT_EQ(form.VersionLabel->text().toStdString(), vrel::GetVersionText());
    EXPECT_EQ(form.VersionLabel->text(), "Version: 1.5.3 Build (24)");
    EXPECT_EQ(form.CopyRight->text(), "Copyright (C) Tavimere");
    EXPECT_TRUE(form.AboutTab->isVisible());
    EXPECT_EQ(form.WebSiteLabel->cursor().shape(), Qt::PointingHandCursor);
    SaveScreenshot(form, "popsetup_PopDlg-AboutTab");
}

TEST_F(PopDlgFormTest, PageScreenshots) {
    TPopDlg& form = Form();
    ShowPage(form.GeneralTab);
    EXPECT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Not Installed)");
    EXPECT_EQ(form.GenStatusListBox->ItemText(1), "POP3 Service (Not Installed)");
    EXPECT_TRUE(form.InBoxRootDirEdit->isVisible());
    SaveScreenshot(form, "popsetup_PopDlg-GeneralTab");

    ShowPage(form.UserAccTab);
    EXPECT_TRUE(form.UMRadioGroup->isVisible());
    EXPECT_TRUE(form.UserAccRadioGroup->Button(0)->isChecked());
    SaveScreenshot(form, "popsetup_PopDlg-UserAccTab");

    ShowPage(form.AliasTab);
    EXPECT_TRUE(form.AliasStringGrid->isVisible());
    EXPECT_EQ(form.AliasStringGrid->RowCount(), 2);
    SaveScreenshot(form, "popsetup_PopDlg-AliasTab");

    ShowPage(form.WizardTab);
    EXPECT_TRUE(form.WizFinishButton->isVisible());
    EXPECT_FALSE(form.WizStartButton->isVisible());
    // The buttons keep their distance to the panel's bottom right corner.
    EXPECT_EQ(form.WizPanel->width() - form.WizFinishButton->geometry().right(),
              651 - (568 + 75 - 1));
    EXPECT_EQ(form.WizPanel->height() - form.WizFinishButton->geometry().bottom(),
              328 - (295 + 25 - 1));
    SaveScreenshot(form, "popsetup_PopDlg-WizardTab");
}

}  // namespace
