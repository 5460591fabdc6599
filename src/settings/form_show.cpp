// TPopDlg's loading and page changes: the first showing (every setting loaded into its
// control, the missing ones written back with their defaults, the alias grid filled, bindings
// of the agent's older names removed, the first page chosen), the General and User Accounts
// pages' show handlers, the question when a page with unapplied changes is left, and OK.
#include <QRadioButton>
#include <QShowEvent>

#include "common/agent_binding.h"
#include "common/alias_table.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "settings/log_file_options_form.h"
#include "settings/os_version.h"
#include "settings/pop_dlg.h"
#include "settings/service_control.h"

namespace vrel {
namespace {

namespace value = settings_value;

// Sink names the agent had in earlier releases, whose bindings would deliver twice.
constexpr const char* kOlderSinkClasses[] = {"popagent.MessageAgent", "vrelP3Service.MessageAgent"};
constexpr int kNarrowScreen = 650;
constexpr int kNarrowWidth = 640;

// Runs the handler with the Apply button's enabled state kept as it was.
template <typename Handler>
void KeepingApply(TPopDlg& form, Handler handler) {
    const bool applyEnabled = form.ApplyButton->isEnabled();
    handler();
    form.ApplyButton->setEnabled(applyEnabled);
}

}  // namespace

void TPopDlg::FormShow() {
    const vcl::THourGlass hourGlass;
    if (IsXPHome() || IsNT4OrOlder()) {
        wizardStep = 1;
        PageControl->SelectPage(WizardTab);
        return;
    }
    if (vcl::ScreenWidth() < kNarrowScreen) {
        setFixedWidth(kNarrowWidth);
        CentreOnScreen();
    }
    win::TRegistry registry;
    if (registry.OpenKey(kSettingsKey, true)) {
        LoadSettings(registry);
        registry.CloseKey();
    }
    AliasStringGrid->SetRow(1);
    ApplyButton->setEnabled(false);
    if (IsServiceInstalled(kSmtpServiceName)) {
        for (const char* sinkClass : kOlderSinkClasses) {
            if (const std::string id = FindAgentBinding(sinkClass); !id.empty()) {
                RemoveAgentBinding(id);
            }
        }
    }
    StatusButtonClick();
    if (!installComplete) wizardStep = 0;
    PageControl->SelectPage(installComplete ? AboutTab : WizardTab);
}

// Every setting into its control; a value that is missing is written back as the control
// shows it (the getter's default), so the other programs read the same.
void TPopDlg::LoadSettings(win::TRegistry& registry) {
    const auto missing = [&registry](std::string_view name) { return !registry.ValueExists(name); };
    if (missing(value::ShowSplashScreen)) registry.WriteBool(value::ShowSplashScreen, true);
    InBoxRootDirEdit->setText(Ansi(GetMailInBoxDir()));
    if (missing(value::MailInBoxDir)) {
        registry.WriteString(value::MailInBoxDir, AnsiText(InBoxRootDirEdit->text()));
    }
    LogFileEdit->setText(Ansi(GetLogFileLocation()));
    if (GetLoggingEnabled()) {
        LoggingCheckBox->setChecked(true);
        if (!missing(value::LoggingEnabled)) registry.WriteBool(value::LoggingEnabled, true);
        SetEnabled({LogFileEdit, LogFilePropButton, LogFileBrowseButton}, true);
        if (missing(value::LogFileLocation)) {
            registry.WriteString(value::LogFileLocation, AnsiText(LogFileEdit->text()));
        }
        LogFileOptionsForm->LoadStoredMasks();
    } else {
        SetEnabled({LogFileEdit, LogFilePropButton, LogFileBrowseButton}, false);
    }
    UserAccRadioGroup->Button(0)->setText(
        Ansi("Local Computer (" + GetLocalComputerName() + ") Users"));
    DomainEdit->setText(Ansi(GetLocalDomainName()));
    UserAccRadioGroup->SetItemIndex(GetUserAuthentication());
    if (missing(value::UserAuthentication)) {
        registry.WriteInteger(value::UserAuthentication, UserAccRadioGroup->ItemIndex());
    }
    const bool domain = UserAccRadioGroup->ItemIndex() == 1;
    SetEnabled({DomainEdit, DomainBrowseButton}, domain);
    if (domain && missing(value::NTDomainLogonServer)) {
        registry.WriteString(value::NTDomainLogonServer, AnsiText(DomainEdit->text()));
    }
    eMailUsersGroupEdit->setText(Ansi(GetEmailUsersGroup()));
    if (missing(value::EmailUsersGroup)) {
        registry.WriteString(value::EmailUsersGroup, AnsiText(eMailUsersGroupEdit->text()));
    }
    PMEdit->setText(Ansi(GetPostMaster()));
    if (!PMEdit->text().isEmpty() && missing(value::PostMaster)) {
        registry.WriteString(value::PostMaster, AnsiText(PMEdit->text()));
    }
    UMRadioGroup->SetItemIndex(GetUndeliverableMailStatus());
    if (missing(value::UndeliverableMailStatus)) {
        registry.WriteInteger(value::UndeliverableMailStatus, UMRadioGroup->ItemIndex());
    }
    authChanged = false;
    if (!Pop3MetabaseExists()) CreatePop3Metabase();
    LoadAliasGrid();
}

void TPopDlg::GeneralTabShow() {
    KeepingApply(*this, [this] {
        const bool usable = GeneralTab->isEnabled();
        if (!usable) {
            LoggingCheckBox->setChecked(false);
            SetEnabled({InBoxRootDirEdit, InBoxBrowseButton, InBoxDefaultButton, LoggingCheckBox,
                        LogFileEdit, LogFilePropButton, LogFileBrowseButton, GenStatusListBox,
                        StatusStartButton, StatusStopButton, InstallButton, UnInstallButton,
                        SplashCheckBox, ConSMTPLabel, ConPOP3Label, ConLogonLabel, ConDateLabel,
                        ConResetButton, ConUpdateButton},
                       false);
            return;
        }
        wizardStep = 0;
        progressOffset = 0;
        SetEnabled({InBoxRootDirEdit, InBoxBrowseButton, InBoxDefaultButton}, true);
        LoggingCheckBoxClick();
        SplashCheckBox->setChecked(GetShowSplashScreen());
        StatusButtonClick();
        CountConCheckBox->setChecked(GetCountConnections());
        ConUpdateButtonClick();
    });
}

void TPopDlg::UserAccTabShow() {
    KeepingApply(*this, [this] {
        if (!UserAccTab->isEnabled()) {
            SetEnabled({UserAccRadioGroup, DomainEdit, DomainBrowseButton, eMailUsersGroupEdit,
                        GroupBrowseButton, PMEdit, PMBrowseButton, DefaultPMButton, UMRadioGroup},
                       false);
            return;
        }
        wizardStep = 0;
        CountMsgCheckBox->setChecked(GetCountMessages());
        MsgUpdateButtonClick();
    });
}

void TPopDlg::PageControlChanging() {
    if (!ApplyButton->isEnabled()) return;
    if (win::MessageDlg("Do you want to apply the changes ?", win::mtConfirmation,
                        win::mbYes | win::mbNo, 0) == win::mrYes) {
        ApplyButtonClick();
    } else {
        ApplyButton->setEnabled(false);
    }
}

void TPopDlg::OKBtnClick() {
    ApplyButtonClick();
    close();
}

void TPopDlg::ConnectLoading() {
    PageControl->OnChanging = [this] { PageControlChanging(); };
    Bind(OKBtn, &QPushButton::clicked, this, &TPopDlg::OKBtnClick);
}

// The first showing loads the window, then runs the show handler of the page active after
// loading, once.
void TPopDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    vcl::Guarded([this] { FormShow(); });
    PageControl->RunShowHandler(PageControl->ActivePage());
}

}  // namespace vrel
