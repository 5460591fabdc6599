// Applying the General and User Accounts pages as an administrator does it: typing, clicking,
// answering the boxes; then the settings key holds what the pages show, written in the order
// of the apply steps (checked through the registry's write recorder). Also the fill buttons,
// the folder pickers and the handlers that mark a change.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/settings_key.h"
#include "platform/accounts.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/folder_dialog.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/qt_gui.h"
#include "platform/registry.h"
#include "settings_fixture.h"

namespace {

namespace value = vrel::settings_value;
using win::RegistryWrite;

const std::string kKey = "Software\\Tavimere\\POP3 Server";
constexpr const char* kAuthQuestion =
    "Changing the Autorization method may invalidate the Alias database, continue ?";

RegistryWrite Str(const char* name) {
    return {kKey, name, win::REG_SZ};
}
RegistryWrite Int(const char* name) {
    return {kKey, name, win::REG_DWORD};
}
RegistryWrite Date(const char* name) {
    return {kKey, name, win::REG_BINARY};
}

// Sets a value of the SMTP service's virtual server 1, creating the server when missing.
void SetSmtpServerValue(const char* property, const char* text) {
    std::shared_ptr<win::IIsObject> server;
    if (win::ADsGetObject("IIS://localhost/smtpsvc/1", server) != win::S_OK) {
        std::shared_ptr<win::IIsObject> root, service;
        ASSERT_EQ(win::ADsGetObject("IIS://localhost", root), win::S_OK);
        ASSERT_EQ(root->Create("IIsSmtpService", "smtpsvc", service), win::S_OK);
        ASSERT_EQ(service->SetInfo(), win::S_OK);
        ASSERT_EQ(service->Create("IIsSmtpServer", "1", server), win::S_OK);
    }
    server->Put(property, win::VARIANT(text));
    ASSERT_EQ(server->SetInfo(), win::S_OK);
}

class ApplySettingsTest : public vrel::test::PopDlgTest {
  protected:
    void SetUp() override {
        ::setenv("VREL_FIXED_TIME", "2026-12-09T10:00:00.000", 1);
        PopDlgTest::SetUp();
        ASSERT_TRUE(settings_.OpenKey(vrel::kSettingsKey, true));
    }
    void TearDown() override {
        PopDlgTest::TearDown();
        ::unsetenv("VREL_FIXED_TIME");
    }

    // Replaces an edit's text as the user does: select all, type.
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        edit->del();
        QTest::keyClicks(edit, text);
    }
    static void Choose(vcl::TRadioGroup* group, int index) {
        QTest::mouseClick(group->Button(index), Qt::LeftButton, {}, QPoint(6, 6));
    }
    void Apply() { QTest::mouseClick(Form().ApplyButton, Qt::LeftButton); }
    std::string Stored(std::string_view name) { return settings_.ReadString(name); }

    win::TRegistry settings_;
};

TEST_F(ApplySettingsTest, ApplyWritesEveryStepInOrder) {
    vrel::TPopDlg& form = Form();
    settings_.WriteInteger(value::LoginEventLogOption, 21);
    settings_.WriteInteger(value::LogoutEventLogOption, 3);
    settings_.WriteInteger(value::MessageEventLogOption, 5);
    Type(form.InBoxRootDirEdit, "D:\\Mail\\Users");
    Type(form.PMEdit, "boss@example.test");
    form.LoggingCheckBox->click();
    Type(form.LogFileEdit, "D:\\Logs");
    form.SplashCheckBox->click();
    form.CountConCheckBox->click();
    Choose(form.UserAccRadioGroup, 1);
    Type(form.DomainEdit, "corp");
    Type(form.eMailUsersGroupEdit, "Mailers");
    Choose(form.UMRadioGroup, 2);
    form.CountMsgCheckBox->click();
    ASSERT_TRUE(form.ApplyButton->isEnabled());

    win::MessageBoxScript boxes({win::IDYES});
    win::RegistryWriteRecorder writes;
    Apply();

    EXPECT_EQ(writes.Writes(), (std::vector<RegistryWrite>{Str("MailInBoxDir"),
                                                           Str("PostMaster"),
                                                           Int("LoggingEnabled"),
                                                           Str("LogFileLocation"),
                                                           Int("LoginEventLogOption"),
                                                           Int("LogoutEventLogOption"),
                                                           Int("MessageEventLogOption"),
                                                           Int("ShowSplashScreen"),
                                                           Int("CountConnections"),
                                                           Date("ConnectionCountStarted"),
                                                           Int("SMTPConnections"),
                                                           Int("POP3Connections"),
                                                           Int("POP3Logons"),
                                                           Int("UserAuthentication"),
                                                           Str("NTDomainLogonServer"),
                                                           Str("EmailUsersGroup"),
                                                           Int("UndeliverableMailStatus"),
                                                           Int("CountMessages"),
                                                           Date("MessageCountStarted"),
                                                           Int("MessagesReceived"),
                                                           Int("MessagesDelivered")}));
    EXPECT_EQ(Stored(value::MailInBoxDir), "D:\\Mail\\Users");
    EXPECT_EQ(Stored(value::PostMaster), "boss@example.test");
    EXPECT_TRUE(settings_.ReadBool(value::LoggingEnabled));
    EXPECT_EQ(Stored(value::LogFileLocation), "D:\\Logs");
    EXPECT_EQ(settings_.ReadInteger(value::LoginEventLogOption), 21);
    EXPECT_EQ(settings_.ReadInteger(value::LogoutEventLogOption), 3);
    EXPECT_EQ(settings_.ReadInteger(value::MessageEventLogOption), 5);
    EXPECT_FALSE(settings_.ReadBool(value::ShowSplashScreen));
    EXPECT_TRUE(settings_.ReadBool(value::CountConnections));
    EXPECT_DOUBLE_EQ(settings_.ReadDateTime(value::ConnectionCountStarted), win::Now());
    EXPECT_EQ(settings_.ReadInteger(value::POP3Logons), 0);
    EXPECT_EQ(settings_.ReadInteger(value::UserAuthentication), 1);
    EXPECT_EQ(Stored(value::NTDomainLogonServer), "corp");
    EXPECT_EQ(Stored(value::EmailUsersGroup), "Mailers");
    EXPECT_EQ(settings_.ReadInteger(value::UndeliverableMailStatus), 2);
    EXPECT_TRUE(settings_.ReadBool(value::CountMessages));
    EXPECT_EQ(settings_.ReadInteger(value::MessagesDelivered), 0);
    // The counters started show at once; the unknown domain's servers cannot be reached.
    EXPECT_EQ(form.ConSMTPLabel->text(), "SMTP Connections: 0     Average: 0/hour");
    EXPECT_EQ(form.MsgRecvLabel->text(), "Received: 0     Average: 0/hour");
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, kAuthQuestion);
    EXPECT_EQ(boxes.Shown()[0].buttons, (std::vector<int>{win::IDYES, win::IDNO}));
    EXPECT_EQ(boxes.Shown()[1].text, "Logon Server(s) for CORP are NOT reachable.");
    EXPECT_EQ(boxes.Shown()[1].caption, win::ApplicationTitle());
    EXPECT_FALSE(form.ApplyButton->isEnabled());
    EXPECT_FALSE(form.authChanged);
}

TEST_F(ApplySettingsTest, ApplyWithNothingChangedWritesThePagesAgain) {
    vrel::TPopDlg& form = Form();
    form.SplashCheckBox->click();
    form.SplashCheckBox->click();
    win::MessageBoxScript boxes;
    win::RegistryWriteRecorder writes;
    Apply();
    EXPECT_EQ(writes.Writes(), (std::vector<RegistryWrite>{
                                   Str("MailInBoxDir"), Str("PostMaster"), Int("LoggingEnabled"),
                                   Int("ShowSplashScreen"), Int("CountConnections"),
                                   Int("UndeliverableMailStatus"), Int("CountMessages")}));
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(Stored(value::MailInBoxDir), "C:\\InetPub\\MailRoot\\Users");
    EXPECT_EQ(Stored(value::PostMaster), "PostMaster@localhost");
    EXPECT_TRUE(settings_.ReadBool(value::ShowSplashScreen));
    EXPECT_FALSE(form.ApplyButton->isEnabled());
}

TEST_F(ApplySettingsTest, CountersStartOnceAndContinueAfterCountingWasOff) {
    vrel::TPopDlg& form = Form();
    form.CountConCheckBox->click();
    Apply();
    ASSERT_EQ(settings_.ReadInteger(value::SMTPConnections), 0);
    settings_.WriteInteger(value::SMTPConnections, 9);

    form.CountConCheckBox->click();  // off
    Apply();
    form.CountConCheckBox->click();  // on again
    win::RegistryWriteRecorder writes;
    Apply();
    for (const RegistryWrite& write : writes.Writes()) {
        EXPECT_NE(write.name, "ConnectionCountStarted");
        EXPECT_NE(write.name, "SMTPConnections");
    }
    EXPECT_EQ(settings_.ReadInteger(value::SMTPConnections), 9);
    EXPECT_TRUE(settings_.ReadBool(value::CountConnections));
    EXPECT_EQ(form.ConSMTPLabel->text(), "SMTP Connections: 9     Average: 9/hour");
}

TEST_F(ApplySettingsTest, LoggingSwitchedOffKeepsTheStoredFolderAndMasks) {
    settings_.WriteBool(value::LoggingEnabled, true);
    settings_.WriteString(value::LogFileLocation, "C:\\OldLogs");
    settings_.WriteInteger(value::MessageEventLogOption, 7);
    vrel::TPopDlg& form = Form();
    form.LoggingCheckBox->click();  // on: loads the folder and masks
    EXPECT_EQ(form.LogFileEdit->text(), "C:\\OldLogs");
    Type(form.LogFileEdit, "C:\\NewLogs");
    LogOptions().messageMask = 1;
    form.LoggingCheckBox->click();  // off
    EXPECT_FALSE(form.LogFileEdit->isEnabled());
    EXPECT_FALSE(form.LogFilePropButton->isEnabled());
    EXPECT_FALSE(form.LogFileBrowseButton->isEnabled());
    EXPECT_FALSE(form.LogFileDirLabel->isEnabled());
    Apply();
    EXPECT_FALSE(settings_.ReadBool(value::LoggingEnabled));
    EXPECT_EQ(Stored(value::LogFileLocation), "C:\\OldLogs");
    EXPECT_EQ(settings_.ReadInteger(value::MessageEventLogOption), 7);
}

TEST_F(ApplySettingsTest, OddValuesAreStoredAsTyped) {
    vrel::TPopDlg& form = Form();
    form.LoggingCheckBox->click();
    Type(form.LogFileEdit, "Q:\\No\\Such\\Folder");
    Type(form.PMEdit, "postmaster");
    Type(form.InBoxRootDirEdit, "");
    win::MessageBoxScript boxes;
    Apply();
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(Stored(value::LogFileLocation), "Q:\\No\\Such\\Folder");
    EXPECT_EQ(Stored(value::PostMaster), "postmaster");
    EXPECT_EQ(Stored(value::MailInBoxDir), "");
}

TEST_F(ApplySettingsTest, DomainChosenWithAnEmptyNameAndYes) {
    settings_.WriteString(value::NTDomainLogonServer, "STORED");
    vrel::TPopDlg& form = Form();
    Choose(form.UserAccRadioGroup, 1);
    EXPECT_TRUE(form.authChanged);
    EXPECT_TRUE(form.DomainEdit->isEnabled());
    win::MessageBoxScript boxes({win::IDYES});
    Apply();
    EXPECT_EQ(settings_.ReadInteger(value::UserAuthentication), 1);
    EXPECT_EQ(Stored(value::NTDomainLogonServer), "STORED");
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[1].text, "Logon Server(s) for  are NOT reachable.");
}

TEST_F(ApplySettingsTest, ReachableDomainIsAppliedWithoutAMessage) {
    win::AccountDirectory().AddDomain("CORP", "CORPDC");
    vrel::TPopDlg& form = Form();
    Choose(form.UserAccRadioGroup, 1);
    Type(form.DomainEdit, "corp");
    win::MessageBoxScript boxes({win::IDYES});
    Apply();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kAuthQuestion);
    EXPECT_EQ(Stored(value::NTDomainLogonServer), "corp");
}

TEST_F(ApplySettingsTest, AuthenticationChangeRefusedShowsTheStoredValuesAgain) {
    settings_.WriteInteger(value::UserAuthentication, 0);
    settings_.WriteString(value::EmailUsersGroup, "Mail Users");
    vrel::TPopDlg& form = Form();
    Choose(form.UserAccRadioGroup, 1);
    Type(form.DomainEdit, "corp");
    Type(form.eMailUsersGroupEdit, "Others");
    win::MessageBoxScript boxes({win::IDNO});
    win::RegistryWriteRecorder writes;
    Apply();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kAuthQuestion);
    for (const RegistryWrite& write : writes.Writes()) {
        EXPECT_NE(write.name, "UserAuthentication");
        EXPECT_NE(write.name, "NTDomainLogonServer");
        EXPECT_NE(write.name, "EmailUsersGroup");
    }
    EXPECT_EQ(form.UserAccRadioGroup->ItemIndex(), 0);
    EXPECT_FALSE(form.DomainEdit->isEnabled());
    EXPECT_FALSE(form.DomainBrowseButton->isEnabled());
    EXPECT_EQ(form.DomainEdit->text(), "corp");
    EXPECT_EQ(form.eMailUsersGroupEdit->text(), "Mail Users");
    EXPECT_FALSE(form.authChanged);
    EXPECT_FALSE(form.ApplyButton->isEnabled());
}

TEST_F(ApplySettingsTest, OnlyThePostMasterEditedAsksNothing) {
    vrel::TPopDlg& form = Form();
    Type(form.PMEdit, "admin@example.test");
    EXPECT_FALSE(form.authChanged);
    win::MessageBoxScript boxes;
    win::RegistryWriteRecorder writes;
    Apply();
    EXPECT_TRUE(boxes.Shown().empty());
    for (const RegistryWrite& write : writes.Writes()) EXPECT_NE(write.name, "EmailUsersGroup");
}

TEST_F(ApplySettingsTest, GroupEditedAloneAsksTheQuestion) {
    vrel::TPopDlg& form = Form();
    Type(form.eMailUsersGroupEdit, "Mailers");
    EXPECT_TRUE(form.authChanged);
    win::MessageBoxScript boxes({win::IDYES});
    win::RegistryWriteRecorder writes;
    Apply();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, kAuthQuestion);
    EXPECT_EQ(Stored(value::EmailUsersGroup), "Mailers");
    EXPECT_EQ(settings_.ReadInteger(value::UserAuthentication), 0);
    EXPECT_FALSE(settings_.ValueExists(value::NTDomainLogonServer));
}

TEST_F(ApplySettingsTest, RadioBackToTheStoredMethodClearsTheChange) {
    settings_.WriteInteger(value::UserAuthentication, 1);
    vrel::TPopDlg& form = Form();
    Choose(form.UserAccRadioGroup, 1);
    EXPECT_FALSE(form.authChanged);
    EXPECT_FALSE(form.ApplyButton->isEnabled());
    Choose(form.UserAccRadioGroup, 0);
    EXPECT_TRUE(form.authChanged);
    EXPECT_TRUE(form.ApplyButton->isEnabled());
    EXPECT_FALSE(form.DomainEdit->isEnabled());
}

TEST_F(ApplySettingsTest, RegistryTypeErrorEndsApplyInTheExceptionBox) {
    settings_.WriteString(value::UserAuthentication, "one");
    vrel::TPopDlg& form = Form();
    Type(form.eMailUsersGroupEdit, "Mailers");
    Type(form.PMEdit, "new@example.test");
    win::MessageBoxScript boxes({win::IDNO});
    win::RegistryWriteRecorder writes;
    Apply();
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, kAuthQuestion);
    EXPECT_EQ(boxes.Shown()[1].icon, win::MB_ICONERROR);
    EXPECT_NE(boxes.Shown()[1].text.find("UserAuthentication"), std::string::npos)
        << boxes.Shown()[1].text;
    EXPECT_EQ(Stored(value::PostMaster), "new@example.test");
    EXPECT_EQ(writes.Names().back(), "CountConnections");
    EXPECT_TRUE(form.ApplyButton->isEnabled());
}

TEST_F(ApplySettingsTest, FolderPickersFillTheirEdits) {
    vrel::TPopDlg& form = Form();
    form.LoggingCheckBox->click();
    form.ApplyButton->setEnabled(false);
    win::FolderDialogScript folders(
        {std::nullopt, "C:\\InetPub\\MailRoot\\Users", "E:\\Store", "E:\\Logs"});
    QTest::mouseClick(form.InBoxBrowseButton, Qt::LeftButton);  // cancelled
    QTest::mouseClick(form.InBoxBrowseButton, Qt::LeftButton);  // the same folder
    EXPECT_FALSE(form.ApplyButton->isEnabled());
    QTest::mouseClick(form.InBoxBrowseButton, Qt::LeftButton);
    EXPECT_EQ(form.InBoxRootDirEdit->text(), "E:\\Store");
    EXPECT_TRUE(form.ApplyButton->isEnabled());
    QTest::mouseClick(form.LogFileBrowseButton, Qt::LeftButton);
    EXPECT_EQ(form.LogFileEdit->text(), "E:\\Logs");
    EXPECT_EQ(folders.Shown(),
              (std::vector<std::string>{
                  "Select the InBox Root Directory:", "Select the InBox Root Directory:",
                  "Select the InBox Root Directory:", "Select the Log File Root Directory:"}));
}

// Both folder choosers open on the machine's drives (C: first, then Z:), wherever the
// program was started.
TEST_F(ApplySettingsTest, FolderPickersOpenOnTheMachinesDrives) {
    struct Shown {
        std::string caption;
        std::string folder;
        std::vector<std::string> sidebar;
    };
    std::vector<Shown> shown;
    const auto answerNextChooser = [&shown] {
        QTimer::singleShot(0, [&shown] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (chooser == nullptr) {
                ADD_FAILURE() << "no folder chooser";
                return;
            }
            Shown& seen = shown.emplace_back();
            seen.caption = chooser->windowTitle().toStdString();
            seen.folder = chooser->directory().absolutePath().toStdString();
            for (const QUrl& place : chooser->sidebarUrls()) {
                seen.sidebar.push_back(place.toLocalFile().toStdString());
            }
            chooser->reject();
        });
    };
    const std::string started = win::GetCurrentDirectory();
    ASSERT_TRUE(win::SetCurrentDirectory("C:\\WINDOWS"));
    win::InstallQtFolderDialog();
    vrel::TPopDlg& form = Form();
    form.LoggingCheckBox->click();
    for (QPushButton* browse : {form.InBoxBrowseButton, form.LogFileBrowseButton}) {
        answerNextChooser();
        QTest::mouseClick(browse, Qt::LeftButton);
    }
    win::SetFolderDialogPresenter({});
    win::SetCurrentDirectory(started);

    const auto host = [](const char* root) {
        return QDir(QString::fromStdString(win::ToHostPath(root).string()))
            .absolutePath()
            .toStdString();
    };
    const std::vector<std::string> drives = {host("C:\\"), host("Z:\\")};
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "Select the InBox Root Directory:");
    EXPECT_EQ(shown[1].caption, "Select the Log File Root Directory:");
    for (const Shown& chooser : shown) {
        EXPECT_EQ(chooser.folder, drives.front());
        EXPECT_EQ(chooser.sidebar, drives);
    }
}

TEST_F(ApplySettingsTest, InBoxDefaultTakesTheStoredFolderOrTheBuiltInOne) {
    vrel::TPopDlg& form = Form();
    Type(form.InBoxRootDirEdit, "X:\\typed");
    QTest::mouseClick(form.InBoxDefaultButton, Qt::LeftButton);
    EXPECT_EQ(form.InBoxRootDirEdit->text(), "C:\\InetPub\\MailRoot\\Users");
    settings_.WriteString(value::MailInBoxDir, "D:\\Stored");
    QTest::mouseClick(form.InBoxDefaultButton, Qt::LeftButton);
    EXPECT_EQ(form.InBoxRootDirEdit->text(), "D:\\Stored");
}

TEST_F(ApplySettingsTest, DefaultPostMasterComesFromTheSmtpService) {
    vrel::TPopDlg& form = Form();
    SetSmtpServerValue("DefaultDomain", "mail.example.test");
    win::MessageBoxScript boxes({win::IDCANCEL, win::IDYES});
    QTest::mouseClick(form.DefaultPMButton, Qt::LeftButton);
    EXPECT_EQ(form.PMEdit->text(), "PostMaster@localhost");
    QTest::mouseClick(form.DefaultPMButton, Qt::LeftButton);
    EXPECT_EQ(form.PMEdit->text(), "Administrator@mail.example.test");
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text,
              "No default PostMaster, do you want to use Administrator@mail.example.test");
    EXPECT_EQ(boxes.Shown()[0].buttons, (std::vector<int>{win::IDYES, win::IDCANCEL}));

    SetSmtpServerValue("SendNdrTo", "ndr@example.test");
    QTest::mouseClick(form.DefaultPMButton, Qt::LeftButton);
    EXPECT_EQ(form.PMEdit->text(), "ndr@example.test");
    EXPECT_EQ(boxes.Shown().size(), 2u);
}

TEST_F(ApplySettingsTest, UserAccountsScreenshotWithDomainAuthentication) {
    vrel::TPopDlg& form = Form();
    ShowPage(form.UserAccTab);
    Choose(form.UserAccRadioGroup, 1);
    Type(form.DomainEdit, "CORP");
    const QImage image = vrel::test::SaveScreenshot(form, "popsetup_PopDlg-UserAccTab-domain");
    EXPECT_EQ(image.size(), form.size() * form.devicePixelRatio());
    EXPECT_TRUE(form.UserAccRadioGroup->Button(1)->isChecked());
    EXPECT_TRUE(form.DomainEdit->isEnabled() && form.DomainBrowseButton->isEnabled());
    EXPECT_EQ(form.DomainEdit->text(), "CORP");
    EXPECT_TRUE(form.ApplyButton->isEnabled());
    EXPECT_TRUE(form.authChanged);
}

}  // namespace
