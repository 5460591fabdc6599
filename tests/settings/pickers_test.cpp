// The alias options dialog and the browse list dialog with the main window's pickers, on a
// fresh machine: the stored options as the dialog loads and saves them, each list mode as the
// dialog shows it (with a screenshot), and what each picker puts into its edit.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/alias_table.h"
#include "common/settings_key.h"
#include "mail_account.h"
#include "platform/accounts.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "settings/form_controls.h"
#include "settings_fixture.h"

namespace {

using vrel::BrowseListDlg;
using vrel::OptionsDlg;
using vrel::test::AddComputerUser;
using vrel::test::SaveScreenshot;

class PickersTest : public vrel::test::PopDlgTest {
  protected:
    void SetUp() override {
        PopDlgTest::SetUp();
        vrel::CreatePop3Metabase();
        for (const char* user : {"bob", "Carol", "dave"}) AddComputerUser(user, "", true);
    }

    static std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        for (int i = 0; i < BrowseListDlg->GroupListBox->count(); ++i) {
            lines.push_back(BrowseListDlg->GroupListBox->item(i)->text().toStdString());
        }
        return lines;
    }

    // Scripts the next browse list: records its lines, caption and help topic, selects the
    // line given (none when empty), saves a screenshot when named and closes with the result.
    void Answer(vcl::ModalScript& script, const std::string& select, int result = vcl::mrOk,
                const std::string& screenshot = {}) {
        script.Then([=, this](QDialog& form) {
            EXPECT_EQ(&form, BrowseListDlg);
            shownLines_ = Lines();
            shownCaption_ = form.windowTitle().toStdString();
            shownTopic_ = BrowseListDlg->helpTopic;
            const auto found = BrowseListDlg->GroupListBox->findItems(
                QString::fromStdString(select), Qt::MatchExactly);
            if (!select.empty()) {
                EXPECT_EQ(found.size(), 1) << select;
                if (!found.isEmpty()) found.front()->setSelected(true);
            }
            if (!screenshot.empty()) {
                const QImage shot = SaveScreenshot(form, screenshot);
                EXPECT_EQ(shot.size(), form.size());
            }
            return result;
        });
    }

    std::vector<std::string> shownLines_;
    std::string shownCaption_;
    std::string shownTopic_;
};

// --- Options dialog ---

TEST_F(PickersTest, OptionsDialogControls) {
    const struct {
        QWidget* control;
        const char* name;
        const char* caption;
        const char* hint;
    } controls[] = {
        {OptionsDlg, "OptionsDlg", "Add and Import Options", "Options for importing aliases."},
        {OptionsDlg->ImportCheckBox, "ImportCheckBox", "Append imported aliases to existing",
         "How to handle Aiases"},
        {OptionsDlg->DupRadioGroup, "DupRadioGroup",
         " Alias Options: ", "What to do when a duplicate alias is found."},
        {OptionsDlg->UserRadioGroup, "UserRadioGroup",
         " User Options: ", "What to do if the user name isn't a valid email user."},
        {OptionsDlg->OKBtn, "OKBtn", "OK", "Accept options and closes the dialog."},
        {OptionsDlg->CancelBtn, "CancelBtn", "Cancel",
         "Discards the options and closes the dialog."},
        {OptionsDlg->OptHelpButton, "OptHelpButton", "Help", "Displays help for this dialog."},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.control->objectName().toStdString(), c.name);
        QString caption = c.control->windowTitle();
        if (auto* button = qobject_cast<QAbstractButton*>(c.control)) caption = button->text();
        if (auto* group = qobject_cast<QGroupBox*>(c.control)) caption = group->title();
        EXPECT_EQ(caption.toStdString(), c.caption);
        EXPECT_EQ(c.control->toolTip().toStdString(), c.hint);
    }
    EXPECT_EQ(vcl::HelpContextOf(*OptionsDlg), 10311);
    EXPECT_EQ(
        OptionsDlg->DupRadioGroup->Items(),
        (QStringList{"use first duplicate found", "use last duplicate found", "display choice"}));
    EXPECT_EQ(OptionsDlg->UserRadioGroup->Items(),
              (QStringList{"allow invalid users", "ignore invalid users", "display choice"}));
    EXPECT_TRUE(OptionsDlg->OKBtn->isDefault());
    win::HelpRecorder help;
    QTest::mouseClick(OptionsDlg->OptHelpButton, Qt::LeftButton);
    ASSERT_EQ(help.Requests().size(), 1u);
    EXPECT_EQ(help.Requests()[0].topic, "AliasesOptions");
}

// With nothing stored the dialog shows item 0 in both groups and the append box unchecked,
// from its creation on (Add and Import read the controls); OK then stores all three values.
TEST_F(PickersTest, OptionsWithNothingStoredShowTheFirstItemsAndOkStoresAllThree) {
    EXPECT_EQ(OptionsDlg->DupRadioGroup->ItemIndex(), 0);
    EXPECT_EQ(OptionsDlg->UserRadioGroup->ItemIndex(), 0);
    EXPECT_FALSE(OptionsDlg->ImportCheckBox->isChecked());
    vcl::ModalScript script;
    script.Then([](QDialog& form) {
        EXPECT_EQ(OptionsDlg->DupRadioGroup->ItemIndex(), 0);
        EXPECT_EQ(OptionsDlg->UserRadioGroup->ItemIndex(), 0);
        EXPECT_FALSE(OptionsDlg->ImportCheckBox->isChecked());
        const QImage shot = SaveScreenshot(form, "popsetup_OptionsDlg");
        EXPECT_EQ(shot.size(), form.size());
        EXPECT_TRUE(OptionsDlg->DupRadioGroup->Button(0)->isChecked());
        OptionsDlg->UserRadioGroup->Button(2)->click();
        QTest::mouseClick(OptionsDlg->OKBtn, Qt::LeftButton);
        return vcl::mrNone;
    });
    QTest::mouseClick(Form().OptionsButton, Qt::LeftButton);
    EXPECT_EQ(script.Shown(), std::vector<std::string>{"OptionsDlg"});
    win::TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly(vrel::kSettingsKey));
    ASSERT_TRUE(registry.ValueExists("AppendAliases"));
    EXPECT_FALSE(registry.ReadBool("AppendAliases"));
    EXPECT_EQ(registry.ReadInteger("DuplicateAliasOptions"), 0);
    EXPECT_EQ(registry.ReadInteger("InvalidUserOptions"), 2);
}

// Stored choices are in the controls as soon as the dialog exists; Cancel (button or Esc)
// brings them back after an edit, and nothing is written.
TEST_F(PickersTest, StoredOptionsLoadAtCreationAndCancelBringsThemBack) {
    {
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, true));
        registry.WriteBool("AppendAliases", true);
        registry.WriteInteger("DuplicateAliasOptions", 1);
        registry.WriteInteger("InvalidUserOptions", 2);
    }
    vrel::TOptionsDlg fresh;
    EXPECT_TRUE(fresh.ImportCheckBox->isChecked());
    EXPECT_EQ(fresh.DupRadioGroup->ItemIndex(), 1);
    EXPECT_EQ(fresh.UserRadioGroup->ItemIndex(), 2);
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Esc" : "Cancel");
        vcl::ModalScript script;
        script.Then([byEscape](QDialog&) {
            EXPECT_EQ(OptionsDlg->DupRadioGroup->ItemIndex(), 1);  // loaded again on showing
            OptionsDlg->DupRadioGroup->SetItemIndex(2);
            OptionsDlg->ImportCheckBox->setChecked(false);
            if (byEscape) {
                QTest::keyClick(OptionsDlg, Qt::Key_Escape);
            } else {
                QTest::mouseClick(OptionsDlg->CancelBtn, Qt::LeftButton);
            }
            return vcl::mrNone;
        });
        Form().OptionsButtonClick();
        EXPECT_EQ(OptionsDlg->DupRadioGroup->ItemIndex(), 1);
        EXPECT_TRUE(OptionsDlg->ImportCheckBox->isChecked());
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKeyReadOnly(vrel::kSettingsKey));
        EXPECT_EQ(registry.ReadInteger("DuplicateAliasOptions"), 1);
    }
}

// --- Browse list dialog ---

TEST_F(PickersTest, BrowseListDialogControls) {
    EXPECT_EQ(BrowseListDlg->objectName(), "BrowseListDlg");
    EXPECT_EQ(BrowseListDlg->windowTitle(), "Dialog");
    EXPECT_EQ(BrowseListDlg->GroupListBox->objectName(), "GroupListBox");
    EXPECT_EQ(BrowseListDlg->OKBtn->text(), "OK");
    EXPECT_TRUE(BrowseListDlg->OKBtn->isDefault());
    EXPECT_EQ(BrowseListDlg->CancelBtn->text(), "Cancel");
    EXPECT_EQ(BrowseListDlg->ListHelpButton->text(), "Help");
    EXPECT_TRUE(BrowseListDlg->helpTopic.empty());
    BrowseListDlg->helpTopic = "UA_UserAccounts";
    win::HelpRecorder help;
    QTest::mouseClick(BrowseListDlg->ListHelpButton, Qt::LeftButton);
    ASSERT_EQ(help.Requests().size(), 1u);
    EXPECT_EQ(help.Requests()[0].topic, "UA_UserAccounts");
}

// The users picker lists the mail users sorted without case and puts the line chosen into
// the alias target edit, whose change handler enables Clear.
TEST_F(PickersTest, UserPickerListsMailUsersIntoTheAliasTarget) {
    AddComputerUser("Jos\xE9", "", true);  // the list shows it as Qt text
    vcl::ModalScript script;
    Answer(script, "Carol", vcl::mrOk, "popsetup_BrowseListDlg-users");
    QTest::mouseClick(Form().BrowseUserButton, Qt::LeftButton);
    EXPECT_EQ(shownLines_, (std::vector<std::string>{"bob", "Carol", "dave", "Jos\xC3\xA9"}));
    EXPECT_EQ(shownCaption_, "Select eMail User");
    EXPECT_EQ(shownTopic_, "AddAliases");
    EXPECT_EQ(Form().AliasMapToEdit->text(), "Carol");
    EXPECT_EQ(BrowseListDlg->GroupListBox->count(), 0);  // emptied after closing
}

// The PostMaster picker lists users and aliases together, sorted; an alias line gives the
// alias name, a user line the user, each with "@" and the SMTP service's default domain.
TEST_F(PickersTest, PostMasterPickerTakesAnAliasOrAUserWithTheDefaultDomain) {
    ASSERT_TRUE(vrel::WriteAlias("sales", "bob"));
    ASSERT_TRUE(vrel::WriteAlias("Admin", "carol"));
    vrel::test::InstallSmtpServer({{"DefaultDomain", "mail.example.com"}});
    const struct {
        const char* line;
        const char* postMaster;
    } cases[] = {{"sales (alias)", "sales@mail.example.com"}, {"dave", "dave@mail.example.com"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Form().ApplyButton->setEnabled(false);
        vcl::ModalScript script;
        Answer(script, c.line, vcl::mrOk,
               std::string(c.line) == "dave" ? "popsetup_BrowseListDlg-postmaster" : "");
        QTest::mouseClick(Form().PMBrowseButton, Qt::LeftButton);
        EXPECT_EQ(shownLines_, (std::vector<std::string>{"Admin (alias)", "bob", "Carol", "dave",
                                                         "sales (alias)"}));
        EXPECT_EQ(shownCaption_, "Select PostMaster");
        EXPECT_EQ(shownTopic_, "UA_PostMaster");
        EXPECT_EQ(Form().PMEdit->text().toStdString(), c.postMaster);
    }
}

TEST_F(PickersTest, PostMasterWithoutDefaultDomainEndsInTheAtSign) {
    vcl::ModalScript script;
    Answer(script, "bob");
    QTest::mouseClick(Form().PMBrowseButton, Qt::LeftButton);
    EXPECT_EQ(Form().PMEdit->text(), "bob@");
}

// Cancel, and OK without a selected line, leave every edit as it was.
TEST_F(PickersTest, CancelOrNoSelectionChangesNothing) {
    Form().PMEdit->setText("postmaster@x");
    Form().eMailUsersGroupEdit->setText("Users");
    Form().ApplyButton->setEnabled(false);
    vcl::ModalScript script;
    Answer(script, "bob", vcl::mrCancel);
    Answer(script, "");
    Answer(script, "Administrators", vcl::mrCancel);
    QTest::mouseClick(Form().PMBrowseButton, Qt::LeftButton);
    QTest::mouseClick(Form().PMBrowseButton, Qt::LeftButton);
    QTest::mouseClick(Form().GroupBrowseButton, Qt::LeftButton);
    EXPECT_EQ(script.Shown().size(), 3u);
    EXPECT_EQ(Form().PMEdit->text(), "postmaster@x");
    EXPECT_EQ(Form().eMailUsersGroupEdit->text(), "Users");
    EXPECT_FALSE(Form().ApplyButton->isEnabled());
}

// The group picker lists the authority's groups; the group already in the edit leaves Apply
// as it was, another one goes into the edit and enables Apply.
TEST_F(PickersTest, GroupPickerEnablesApplyOnlyForAnotherGroup) {
    Form().eMailUsersGroupEdit->setText("Users");
    Form().ApplyButton->setEnabled(false);
    vcl::ModalScript script;
    Answer(script, "Users");
    Answer(script, "Administrators", vcl::mrOk, "popsetup_BrowseListDlg-groups");
    QTest::mouseClick(Form().GroupBrowseButton, Qt::LeftButton);
    EXPECT_FALSE(Form().ApplyButton->isEnabled());
    EXPECT_EQ(shownCaption_, "Select eMail Users Group");
    EXPECT_EQ(shownTopic_, "UA_UsersGroup");
    EXPECT_NE(std::find(shownLines_.begin(), shownLines_.end(), "Users"), shownLines_.end());
    QTest::mouseClick(Form().GroupBrowseButton, Qt::LeftButton);
    EXPECT_EQ(Form().eMailUsersGroupEdit->text(), "Administrators");
    EXPECT_TRUE(Form().ApplyButton->isEnabled());
    EXPECT_TRUE(std::is_sorted(shownLines_.begin(), shownLines_.end(),
                               [](const std::string& a, const std::string& b) {
                                   return QString::fromStdString(a).compare(
                                              QString::fromStdString(b), Qt::CaseInsensitive) < 0;
                               }));
}

// Pending changes are applied before the list is built; with nothing pending nothing is.
TEST_F(PickersTest, GroupPickerAppliesPendingChangesFirst) {
    vrel::SetEditText(*Form().PMEdit, "boss@example.test");
    ASSERT_TRUE(Form().ApplyButton->isEnabled());
    std::string storedWhenListed;
    bool applyWhenListed = true;
    int linesListed = 0;
    vcl::ModalScript script;
    script.Then([&](QDialog&) {
        storedWhenListed = vrel::GetPostMaster();
        applyWhenListed = Form().ApplyButton->isEnabled();
        linesListed = BrowseListDlg->GroupListBox->count();
        return vcl::mrCancel;
    });
    QTest::mouseClick(Form().GroupBrowseButton, Qt::LeftButton);
    EXPECT_EQ(storedWhenListed, "boss@example.test");
    EXPECT_FALSE(applyWhenListed);
    EXPECT_GT(linesListed, 0);

    vrel::SetEditText(*Form().PMEdit, "other@example.test");
    Form().ApplyButton->setEnabled(false);
    script.Then([&](QDialog&) {
        storedWhenListed = vrel::GetPostMaster();
        return vcl::mrCancel;
    });
    QTest::mouseClick(Form().GroupBrowseButton, Qt::LeftButton);
    EXPECT_EQ(storedWhenListed, "boss@example.test") << "nothing pending: no apply";
}

// An apply that raises ends the picker: its error is shown, the list is never built and the
// changes stay pending.
TEST_F(PickersTest, AFailingApplyEndsTheGroupPicker) {
    {
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(vrel::kSettingsKey, true));
        registry.WriteString("UserAuthentication", "one");
    }
    vrel::SetEditText(*Form().eMailUsersGroupEdit, "Mailers");
    win::MessageBoxScript boxes({win::IDNO});
    vcl::ModalScript script([](const std::string&) {});
    QTest::mouseClick(Form().GroupBrowseButton, Qt::LeftButton);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text,
              "Changing the Autorization method may invalidate the Alias database, continue ?");
    EXPECT_EQ(boxes.Shown()[1].icon, win::MB_ICONERROR);
    EXPECT_NE(boxes.Shown()[1].text.find("UserAuthentication"), std::string::npos);
    EXPECT_TRUE(script.Shown().empty()) << "the list was shown";
    EXPECT_TRUE(Form().ApplyButton->isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the hourglass is gone";
}

// The domain picker lists the network's domains (the computer's workgroup and the known NT
// domains); the domain chosen goes into the domain edit and enables Apply.
TEST_F(PickersTest, DomainPickerListsTheNetworksDomains) {
    {
        win::AccountDirectory directory;
        directory.AddDomain("CORP", "CORPDC");
        directory.AddDomain("Branch", "BRANCHDC");
    }
    Form().ApplyButton->setEnabled(false);
    win::MessageBoxScript boxes;
    vcl::ModalScript script;
    Answer(script, "CORP", vcl::mrOk, "popsetup_BrowseListDlg-domains");
    QTest::mouseClick(Form().DomainBrowseButton, Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(shownLines_, (std::vector<std::string>{"Branch", "CORP", "WORKGROUP"}));
    EXPECT_EQ(shownCaption_, "Select Domains");
    EXPECT_EQ(shownTopic_, "UA_Authentication");
    EXPECT_EQ(Form().DomainEdit->text(), "CORP");
    EXPECT_TRUE(Form().ApplyButton->isEnabled());
}

TEST_F(PickersTest, DomainPickerWithoutNetworkSaysSoAndListsNothing) {
    {
        win::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true));
        registry.WriteInteger("NetworkPresent", 0);
    }
    win::MessageBoxScript boxes;
    vcl::ModalScript script;
    Answer(script, "");
    QTest::mouseClick(Form().DomainBrowseButton, Qt::LeftButton);
    EXPECT_TRUE(shownLines_.empty());
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "No Network Found.");
    EXPECT_EQ(boxes.Shown()[0].buttons, std::vector<int>{win::IDOK});
}

}  // namespace
