// Applying the General and User Accounts pages to the settings key, and the small handlers of
// those pages that record unapplied changes (an enabled Apply button; authChanged for the
// authentication settings) or fill a field.
#include <string>

#include "common/settings_key.h"
#include "common/smtp_config.h"
#include "platform/dialogs.h"
#include "platform/folder_dialog.h"
#include "platform/logon.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/winerror.h"
#include "settings/log_file_options_form.h"
#include "settings/pop_dlg.h"
#include "settings/statistics.h"

namespace vrel {
namespace {

// A group's counters start the first time counting is applied (or after the start date was
// removed); switched off and on again, the old counts continue.
bool StartCounters(win::TRegistry& registry, const QCheckBox& countBox, CounterGroup group) {
    if (!countBox.isChecked() || registry.ValueExists(CountStartedName(group))) return false;
    RestartCounters(registry, group);
    return true;
}

// Puts the chosen folder into the edit when the user picked one that differs from its text.
void BrowseInto(std::string_view caption, QLineEdit& edit) {
    const std::optional<std::string> folder = win::BrowseForFolder(caption);
    if (folder && !folder->empty() && *folder != EditText(edit)) edit.setText(Ansi(*folder));
}

}  // namespace

void TPopDlg::ApplyButtonClick() {
    {
        win::TRegistry registry;
        if (registry.OpenKey(kSettingsKey, true)) {
            using namespace settings_value;
            registry.WriteString(MailInBoxDir, EditText(*InBoxRootDirEdit));
            registry.WriteString(PostMaster, EditText(*PMEdit));
            registry.WriteBool(LoggingEnabled, LoggingCheckBox->isChecked());
            if (LoggingCheckBox->isChecked()) {
                registry.WriteString(LogFileLocation, EditText(*LogFileEdit));
                registry.WriteInteger(LoginEventLogOption, LogFileOptionsForm->loginMask);
                registry.WriteInteger(LogoutEventLogOption, LogFileOptionsForm->logoutMask);
                registry.WriteInteger(MessageEventLogOption, LogFileOptionsForm->messageMask);
            }
            registry.WriteBool(ShowSplashScreen, SplashCheckBox->isChecked());
            registry.WriteBool(CountConnections, CountConCheckBox->isChecked());
            if (StartCounters(registry, *CountConCheckBox, CounterGroup::Connections)) {
                ConUpdateButtonClick();
            }
            if (authChanged) ApplyAuthentication(registry);
            registry.WriteInteger(UndeliverableMailStatus, UMRadioGroup->ItemIndex());
            registry.WriteBool(CountMessages, CountMsgCheckBox->isChecked());
            if (StartCounters(registry, *CountMsgCheckBox, CounterGroup::Messages)) {
                MsgUpdateButtonClick();
            }
            registry.CloseKey();
        }
    }
    ApplyButton->setEnabled(false);
}

// Asked first, as another method may leave the aliases pointing at unknown users; a refusal
// shows the stored method and group again (the domain text stays as typed).
void TPopDlg::ApplyAuthentication(win::TRegistry& registry) {
    using namespace settings_value;
    const int answer = win::MessageDlg(
        "Changing the Autorization method may invalidate the Alias database, continue ?",
        win::mtConfirmation, win::mbYes | win::mbNo, 0);
    if (answer == win::mrYes) {
        registry.WriteInteger(UserAuthentication, UserAccRadioGroup->ItemIndex());
        if (UserAccRadioGroup->ItemIndex() == 1 && !DomainEdit->text().isEmpty()) {
            registry.WriteString(NTDomainLogonServer, EditText(*DomainEdit));
        }
        registry.WriteString(EmailUsersGroup, EditText(*eMailUsersGroupEdit));
    } else {
        SetEnabled({DomainEdit, DomainBrowseButton}, false);
        UserAccRadioGroup->SetItemIndex(0);
        if (registry.ValueExists(UserAuthentication)) {
            UserAccRadioGroup->SetItemIndex(registry.ReadInteger(UserAuthentication));
            if (UserAccRadioGroup->ItemIndex() == 1)
                SetEnabled({DomainEdit, DomainBrowseButton}, true);
        }
        if (registry.ValueExists(EmailUsersGroup)) {
            eMailUsersGroupEdit->setText(Ansi(registry.ReadString(EmailUsersGroup)));
        }
    }
    // Also after the restore above, whose change handlers set it again.
    authChanged = false;
    if (UserAccRadioGroup->ItemIndex() == 1 && !IsLogonServerReachable(EditText(*DomainEdit))) {
        win::ShowMessage("Logon Server(s) for " + win::UpperCase(EditText(*DomainEdit)) +
                         " are NOT reachable.");
    }
}

bool TPopDlg::IsLogonServerReachable(const std::string& domain) {
    const vcl::THourGlass hourGlass;
    std::string controller;
    return win::NetGetDCName("", domain, controller) == win::ERROR_SUCCESS;
}

void TPopDlg::InBoxRootDirEditChange() {
    ApplyButton->setEnabled(true);
}

void TPopDlg::DomainEditChange() {
    authChanged = true;
    ApplyButton->setEnabled(true);
}

void TPopDlg::UserAccRadioGroupClick() {
    const int index = UserAccRadioGroup->ItemIndex();
    SetEnabled({DomainEdit, DomainBrowseButton}, index == 1);
    if (index == GetUserAuthentication()) {
        authChanged = false;
        return;
    }
    authChanged = true;
    ApplyButton->setEnabled(true);
}

void TPopDlg::LoggingCheckBoxClick() {
    const bool checked = LoggingCheckBox->isChecked();
    SetEnabled({LogFileEdit, LogFilePropButton, LogFileBrowseButton, LogFileDirLabel}, checked);
    if (checked) {
        LogFileOptionsForm->LoadStoredMasks();
        LogFileEdit->setText(Ansi(GetLogFileLocation()));
    }
    ApplyButton->setEnabled(true);
}

void TPopDlg::InBoxBrowseButtonClick() {
    BrowseInto("Select the InBox Root Directory:", *InBoxRootDirEdit);
}

void TPopDlg::LogFileBrowseButtonClick() {
    BrowseInto("Select the Log File Root Directory:", *LogFileEdit);
}

void TPopDlg::InBoxDefaultButtonClick() {
    InBoxRootDirEdit->setText(Ansi(GetMailInBoxDir()));
}

void TPopDlg::DefaultPMButtonClick() {
    const std::string address = GetSmtpSendNdrTo();
    if (!address.empty() && address.find('@') != std::string::npos) {
        PMEdit->setText(Ansi(address));
        return;
    }
    if (win::MessageDlg(
            "No default PostMaster, do you want to use Administrator@" + GetSmtpDefaultDomain(),
            win::mtConfirmation, win::mbYes | win::mbCancel, 0) == win::mrYes) {
        PMEdit->setText(Ansi("Administrator@" + GetSmtpDefaultDomain()));
    }
}

void TPopDlg::ConnectApplyHandlers() {
    Bind(ApplyButton, &QPushButton::clicked, this, &TPopDlg::ApplyButtonClick);
    for (QLineEdit* edit : {InBoxRootDirEdit, LogFileEdit, PMEdit}) {
        Bind(edit, &QLineEdit::textChanged, this, &TPopDlg::InBoxRootDirEditChange);
    }
    Bind(SplashCheckBox, &QCheckBox::toggled, this, &TPopDlg::InBoxRootDirEditChange);
    UMRadioGroup->OnClick = [this] { vcl::Guarded([this] { InBoxRootDirEditChange(); }); };
    for (QLineEdit* edit : {DomainEdit, eMailUsersGroupEdit}) {
        Bind(edit, &QLineEdit::textChanged, this, &TPopDlg::DomainEditChange);
    }
    UserAccRadioGroup->OnClick = [this] { vcl::Guarded([this] { UserAccRadioGroupClick(); }); };
    Bind(LoggingCheckBox, &QCheckBox::toggled, this, &TPopDlg::LoggingCheckBoxClick);
    Bind(InBoxBrowseButton, &QPushButton::clicked, this, &TPopDlg::InBoxBrowseButtonClick);
    Bind(LogFileBrowseButton, &QPushButton::clicked, this, &TPopDlg::LogFileBrowseButtonClick);
    Bind(InBoxDefaultButton, &QPushButton::clicked, this, &TPopDlg::InBoxDefaultButtonClick);
    Bind(DefaultPMButton, &QPushButton::clicked, this, &TPopDlg::DefaultPMButtonClick);
    Bind(LogFilePropButton, &QPushButton::clicked, this, &TPopDlg::LogFilePropButtonClick);
}

}  // namespace vrel
