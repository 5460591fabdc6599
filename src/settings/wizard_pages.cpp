// ShowWizardPage: the Setup Wizard page laid out for the current step from the system's live
// state (services, the agent's registration and binding, local domains, the PostMaster). It
// moves no step and runs no action; the handlers in wizard_tab.cpp do, and rebuild the page.
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/agent_binding.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "common/smtp_config.h"
#include "settings/agent_install.h"
#include "settings/os_version.h"
#include "settings/pop_dlg.h"
#include "settings/service_control.h"

namespace vrel {
namespace {

constexpr const char* kContinue = "Click the Next button to continue.";
constexpr const char* kFinishToExit = "Click the Finish button to Exit.";
void SetNextLabel(TPopDlg& form, std::string_view text) {
    form.WizNextLabel->setText(Ansi(text));
    form.WizNextLabel->adjustSize();
}

// What every step page sets on entry: help context, Prev and Finish, the memo emptied and
// the heading.
void BeginStep(TPopDlg& form, int helpContext, bool previous, bool finish,
               std::string_view heading) {
    vcl::SetHelpContext(*form.WizPanel, helpContext);
    form.WizPrevButton->setEnabled(previous);
    form.WizFinishButton->setEnabled(finish);
    form.WizMemo->clear();
    form.WizStepLabel->setText(Ansi(heading));
}

std::string StepHeading(int step, std::string_view title) {
    return "Step " + std::to_string(step) + std::string(title);
}

// The action button in place of Prev, Next and Finish, while a step waits for an action.
void OfferAction(TPopDlg& form, std::string_view caption) {
    SetNextLabel(form, "");
    form.WizPrevButton->setEnabled(false);
    form.WizNextButton->setEnabled(false);
    form.WizFinishButton->setEnabled(false);
    form.WizStartButton->setText(Ansi(caption));
    form.WizStartButton->show();
    form.WizStartButton->setFocus();
}

// A Windows edition that cannot run the services: only the wizard's Finish is left.
void LockWindow(TPopDlg& form) {
    form.WizFinishButton->setEnabled(true);
    form.WizNextButton->setEnabled(false);
    form.WizPrevButton->setEnabled(false);
    form.OKBtn->setEnabled(false);
    form.OKBtn->setDefault(false);
    form.CancelBtn->setDefault(true);
    form.ApplyButton->setEnabled(false);
    SetEnabled({form.GeneralTab, form.UserAccTab, form.AliasTab}, false);
    form.SplashCheckBox->setEnabled(false);
    form.WizFinishButton->setFocus();
    form.wizardStep = kWizardFinalStep;
}

void ShowWelcome(TPopDlg& form) {
    BeginStep(form, 14000, false, false, "Welcome to the POP3 Setup Wizard");
    if (!form.installComplete)
        AddWizardLines(form, {"   **** The POP3 installation is not complete. ****"});
    AddWizardLines(
        form,
        {"This wizard will help setup your POP3 Server using the following steps.", " ",
         "   1. Gather and display system information.",
         "   2. Install and start the SMTP service.", "   3. Install and start the POP3 service.",
         "   4. Add local domains.", "   5. Setup the PostMaster account.", " ",
         "This wizard can be run any number of times to change the configuration. When "
         "the Finish button is available, you can use it to exit the Wizard without "
         "completing the remaining steps."});
    SetNextLabel(form, kContinue);
}

void ShowSystemInformation(TPopDlg& form) {
    BeginStep(form, 14010, true, false, StepHeading(1, ": System Information"));
    AddWizardLines(form, {"The wizard has detected the following information:", " ",
                          "   Computer Name: " + GetLocalComputerName(),
                          "   Operating System: " + GetOSVersionText()});
    if (IsXPHome() || IsNT4OrOlder()) {
        AddWizardLines(form, {" ", " *** Problem ***", " "});
        AddWizardLines(
            form, {IsNT4OrOlder()
                       ? "This is Windows NT 4.0. It does not support eMail Services. The POP3 "
                         "service cannot be installed on this version of Windows."
                       : "This is the Windows XP Home Edition. It does not support eMail "
                         "Services. The POP3 service cannot be installed on this version of "
                         "Windows."});
        SetNextLabel(form, kFinishToExit);
        LockWindow(form);
    } else if (IsWinNT()) {
        AddWizardLines(form, {" ", "Your computer is ready to setup the SMTP Services."});
        SetNextLabel(form, kContinue);
    } else {
        AddWizardLines(form, {" ", " *** Problem ***", " ",
                              "The SMTP Services are not available on your computer."});
        SetNextLabel(form, kFinishToExit);
        LockWindow(form);
    }
}

void ShowSmtpService(TPopDlg& form) {
    BeginStep(form, 14020, true, false, StepHeading(2, ": SMTP Service Information"));
    AddWizardLines(form, {"The wizard has detected the following information:", " "});
    if (!IsServiceInstalled(kSmtpServiceName)) {
        AddWizardLines(
            form,
            {"The SMTP server is NOT installed. You will have to install the SMTP server "
             "before you can install the POP3 Service. Click the Install SMTP Server button "
             "to install the SMTP server now or the Finish button to exit.",
             " ",
             "Note: You will require the Windows Installation CDROM to install the SMTP service.",
             " ",
             "The SMTP Server is part of the Internet Information Services (IIS). You also "
             "can use the Windows Add/Remove Programs to install the SMTP service and then "
             "return to this wizard to complete the POP3 setup."});
        OfferAction(form, "Install SMTP Server");
        form.WizFinishButton->setEnabled(true);
    } else if (IsServiceRunning(kSmtpServiceName)) {
        AddWizardLines(form, {"   SMTP Server is INSTALLED and RUNNING", " ",
                              "Your computer is ready to setup the POP3 Services."});
        SetNextLabel(form, kContinue);
    } else {
        AddWizardLines(form, {"   SMTP Server is installed but NOT running.",
                              "   Click the Start SMTP Service button to start the SMTP service."});
        OfferAction(form, "Start SMTP Server");
    }
}

void ShowPop3Service(TPopDlg& form) {
    BeginStep(form, 14030, true, false, StepHeading(3, ": POP3 Service Information"));
    AddWizardLines(form, {"The wizard has detected the following information:", " "});
    const bool installed = IsServiceInstalled(kPop3ServiceName);
    const bool running = installed && IsServiceRunning(kPop3ServiceName);
    if (running && IsMessageAgentRegistered() && !FindAgentBinding(kAgentSinkClass).empty()) {
        AddWizardLines(form, {"   POP3 Server is INSTALLED and RUNNING", " ",
                              "Your computer is ready to accept POP3 client connections."});
        SetNextLabel(form, kContinue);
        form.WizFinishButton->setEnabled(true);
        form.installComplete = true;
    } else if (running) {
        AddWizardLines(form,
                       {"POP3 Server service is NOT complete. Click the Install POP3 Server button "
                        "to complete the install and start the POP3 service."});
        OfferAction(form, "Install POP3 Server");
    } else if (installed) {
        AddWizardLines(form,
                       {"POP3 Server is installed but NOT running. Click the Start POP3 Service "
                        "button to start the POP3 service."});
        OfferAction(form, "Start POP3 Server");
    } else {
        AddWizardLines(form, {"POP3 Server service is NOT installed. Click the Install POP3 Server "
                              "button to install and start the POP3 service."});
        OfferAction(form, "Install POP3 Server");
    }
}

void ShowLocalDomains(TPopDlg& form) {
    BeginStep(form, 14040, true, true, StepHeading(4, ": Local Domains"));
    form.WizDomainAddButton->setText("Add");
    AddWizardLines(
        form, {"The SMTP Server will accept messages for users in the following domains:", " "});
    const std::vector<std::string> domains = GetLocalDomains();
    for (std::size_t i = 0; i < domains.size(); ++i) {
        AddWizardLines(form, {"   " + std::to_string(i + 1) + ": " + domains[i] +
                              (i == 0 ? " (default)" : "")});
    }
    if (domains.size() > 7) form.WizMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    AddWizardLines(form,
                   {" ",
                    "Domains can be edited with the Internet Information Services (IIS) Manager. "
                    "To add a domain here, type it in the edit box below and click the Add "
                    "button."});
    form.WizDomainAddButton->show();
    form.WizDomainAddButton->setEnabled(false);
    form.WizDomainEdit->show();
    form.WizDomainEdit->clear();
    SetNextLabel(form, kContinue);
}

void ShowPostMaster(TPopDlg& form) {
    BeginStep(form, 14050, true, true, StepHeading(5, ": Setup PostMaster Account"));
    AddWizardLines(form,
                   {"The current PostMaster account is shown below.", " ",
                    "The PostMaster account is where non deliverable reports (NDR) and other "
                    "problems are reported. You can specify any email user account as the "
                    "PostMaster account. Use the Browse button to select an account from the list "
                    "of users or enter an email address in the edit below.",
                    " "});
    form.WizDomainAddButton->setText("Browse");
    form.WizDomainAddButton->show();
    form.WizDomainAddButton->setEnabled(false);
    form.WizDomainEdit->show();
    form.WizDomainEdit->clear();
    form.WizDomainEdit->setText(Ansi(GetPostMaster()));
    SetNextLabel(form, kContinue);
}

void ShowFinal(TPopDlg& form) {
    vcl::SetHelpContext(*form.WizPanel, 14099);
    form.WizMemo->resize(form.WizMemo->width(), 200);
    form.WizPrevButton->setEnabled(false);
    form.WizMemo->clear();
    if (!form.installComplete) {
        form.WizNextButton->setText("ReStart");
        form.WizStepLabel->setText("POP3 Setup Wizard NOT complete.");
        AddWizardLines(form,
                       {"The wizard failed to complete the POP3 installation. Restart the wizard "
                        "to add the missing components.",
                        " "});
        SetNextLabel(form, "Click the ReStart button to start the wizard again.");
        return;
    }
    form.WizNextButton->setEnabled(false);
    form.WizFinishButton->setEnabled(false);
    form.WizStepLabel->setText("POP3 Setup Wizard Completed");
    const std::string kind = form.UserAccRadioGroup->ItemIndex() != 0
                                 ? "NT Domain or Active Directory"
                                 : "Local Computer";
    AddWizardLines(form,
                   {"Congratulations, the wizard has completed the eMail service and is accepting "
                    "user logons.",
                    " ", "   The computer name for the POP3 server is: " + GetLocalComputerName(),
                    "   The default domain is: " + GetSmtpDefaultDomain(), " ", " "});
    form.WizMemo->appendPlainText(
        Ansi("Valid users are members of the \"") + form.eMailUsersGroupEdit->text() +
        Ansi("\" group on " + GetAccountAuthority() + ". This is a " + kind +
             ". To see a list of valid users, click the List User Accounts button."));
    form.WizStartButton->setText("List User Accounts");
    form.WizStartButton->show();
    form.WizStartButton->setFocus();
    SetNextLabel(form, "");
}

}  // namespace

void AddWizardLines(TPopDlg& form, std::initializer_list<std::string_view> lines) {
    for (const std::string_view line : lines) form.WizMemo->appendPlainText(Ansi(line));
}

void ShowWizardPage() {
    TPopDlg& form = *PopDlg;
    form.WizNextButton->setText("Next");
    form.WizNextButton->setEnabled(true);
    form.WizFinishButton->setEnabled(false);
    for (QWidget* hidden : {static_cast<QWidget*>(form.WizStartButton),
                            static_cast<QWidget*>(form.WizDomainAddButton),
                            static_cast<QWidget*>(form.WizDomainEdit)}) {
        hidden->hide();
    }
    form.WizMemo->setGeometry(16, form.WizMemo->y(), 560, 170);
    form.WizMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    form.WizMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    form.WizNextButton->setFocus();
    if (IsXPHome() || IsNT4OrOlder()) form.wizardStep = 1;
    switch (form.wizardStep) {
        case 0:
            ShowWelcome(form);
            break;
        case 1:
            ShowSystemInformation(form);
            break;
        case 2:
            ShowSmtpService(form);
            break;
        case 3:
            ShowPop3Service(form);
            break;
        case 4:
            ShowLocalDomains(form);
            break;
        case 5:
            ShowPostMaster(form);
            break;
        default:
            ShowFinal(form);
    }
}

}  // namespace vrel
