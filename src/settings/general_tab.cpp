// The General page of TPopDlg: the mailbox root, logging, the service status list, the splash
// switch and the connection statistics.
#include "settings/artwork.h"
#include "settings/pop_dlg.h"

namespace vrel {

void TPopDlg::BuildGeneralTab() {
    GeneralTab = new QWidget;
    GeneralTab->setObjectName("GeneralTab");
    PageControl->AddPage(GeneralTab, "General", 11000, [this] { GeneralTabShow(); });

    GroupBox1 =
        MakeGroupBox(GeneralTab, "GroupBox1", "InBox Root Directory: ", {8, 4, 409, 52}, 11010);
    SetHint(*GroupBox1, "Root directory of the message store - where unread email is stored.");
    InBoxRootDirEdit =
        MakeEdit(GroupBox1, "InBoxRootDirEdit", "C:\\InetPub\\MailRoot\\Users", {8, 20, 233, 21});
    InBoxBrowseButton = MakeButton(GroupBox1, "InBoxBrowseButton", "Browse ...", {248, 18});
    InBoxDefaultButton = MakeButton(GroupBox1, "InBoxDefaultButton", "Default", {328, 18});

    GroupBox5 = MakeGroupBox(GeneralTab, "GroupBox5", "", {8, 60, 409, 94}, 11020);
    SetHint(*GroupBox5, "Log file location and properties.");
    LoggingCheckBox =
        MakeCheckBox(GroupBox5, "LoggingCheckBox", "Enable Logging", {10, 16, 150, 17});
    LogFilePropButton = MakeButton(GroupBox5, "LogFilePropButton", "Properties ...", {248, 12});
    LogFileDirLabel = MakeLabel(GroupBox5, "LogFileDirLabel", "Log File Directory", {10, 44});
    LogFileEdit =
        MakeEdit(GroupBox5, "LogFileEdit", "C:\\Windows\\System32\\LogFiles", {8, 62, 233, 21});
    LogFileBrowseButton = MakeButton(GroupBox5, "LogFileBrowseButton", "Browse ...", {248, 60});

    AgentGroupBox =
        MakeGroupBox(GeneralTab, "AgentGroupBox", " Server Status: ", {424, 4, 217, 134}, 11040);
    SetHint(*AgentGroupBox, "Status of the eMail Service.");
    BuildStatusList(AgentGroupBox);

    SplashCheckBox =
        MakeCheckBox(GeneralTab, "SplashCheckBox", "Show Splash Screen", {16, 162, 150, 17});
    SplashCheckBox->setChecked(true);
    vcl::SetHelpContext(*SplashCheckBox, 11030);

    BuildStatsGroup(GeneralTab);
}

void TPopDlg::BuildStatusList(QWidget* group) {
    GenStatusListBox = new vcl::TOwnerDrawListBox(group);
    GenStatusListBox->setObjectName("GenStatusListBox");
    GenStatusListBox->setGeometry(8, 20, 201, 45);
    GenStatusListBox->SetItemHeight(18);
    StatusStartButton = MakeButton(group, "StatusStartButton", "Start", {8, 72}, 97);
    StatusStopButton = MakeButton(group, "StatusStopButton", "Stop", {112, 72}, 97);
    InstallButton = MakeButton(group, "InstallButton", "Install", {8, 101}, 97);
    UnInstallButton = MakeButton(group, "UnInstallButton", "Remove", {112, 101}, 97);
    SetEnabled({StatusStartButton, StatusStopButton, InstallButton, UnInstallButton}, false);
    StatusPopupMenu = new QMenu(GenStatusListBox);
    StatusPopupMenu->setObjectName("StatusPopupMenu");
    const auto item = [this](const char* name, const char* caption) {
        QAction* action = StatusPopupMenu->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    StatusStart = item("StatusStart", "Start");
    StatusStop = item("StatusStop", "Stop");
    N2 = StatusPopupMenu->addSeparator();
    N2->setObjectName("N2");
    StatusInstall = item("StatusInstall", "Install");
    StatusRemove = item("StatusRemove", "Remove");
    N3 = StatusPopupMenu->addSeparator();
    N3->setObjectName("N3");
    StatusHelp = item("StatusHelp", "Help");
    ServerImageList = ServerImages();
    ConnectStatusList();
}

void TPopDlg::BuildStatsGroup(QWidget* page) {
    ConStatsGroupBox = MakeGroupBox(page, "ConStatsGroupBox",
                                    " Connection Statistics: ", {8, 186, 633, 124}, 11050);
    ConSMTPLabel = MakeStatsLabel(ConStatsGroupBox, "ConSMTPLabel", "SMTP Connections:", 22);
    ConPOP3Label = MakeStatsLabel(ConStatsGroupBox, "ConPOP3Label", "POP3 Connections:", 42);
    ConLogonLabel = MakeStatsLabel(ConStatsGroupBox, "ConLogonLabel", "Successful Logons:", 62);
    ConDateLabel = MakeStatsLabel(ConStatsGroupBox, "ConDateLabel", "Since:", 82);
    CountConCheckBox = MakeCheckBox(ConStatsGroupBox, "CountConCheckBox", "Count Connections ",
                                    {448, 22, 150, 17});
    ConUpdateButton =
        MakeButton(ConStatsGroupBox, "ConUpdateButton", "Update Status", {448, 50}, 89);
    ConResetButton = MakeButton(ConStatsGroupBox, "ConResetButton", "Reset Counts", {448, 82}, 89);
}

}  // namespace vrel
