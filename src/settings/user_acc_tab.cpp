// The User Accounts page of TPopDlg: authentication, the e-mail users group, the PostMaster,
// the undeliverable-mail choice and the message statistics.
#include "settings/pop_dlg.h"

namespace vrel {

void TPopDlg::BuildUserAccTab() {
    UserAccTab = new QWidget;
    UserAccTab->setObjectName("UserAccTab");
    PageControl->AddPage(UserAccTab, "User Accounts", 12000, [this] { UserAccTabShow(); });

    UserAccRadioGroup = MakeRadioGroup(UserAccTab, "UserAccRadioGroup", " Authentication  ",
                                       {8, 4, 409, 76}, {"Local Computer", "NT Domain"});
    SetHint(*UserAccRadioGroup, "This is where email user logons are verified.");
    vcl::SetHelpContext(*UserAccRadioGroup, 12010);
    // Beside the "NT Domain" item, on the page above the group.
    DomainEdit = MakeEdit(UserAccTab, "DomainEdit", "", {108, 50, 208, 21});
    DomainBrowseButton = MakeButton(UserAccTab, "DomainBrowseButton", "Browse ...", {334, 48});
    vcl::SetHelpContext(*DomainEdit, 12010);
    vcl::SetHelpContext(*DomainBrowseButton, 12010);

    GroupBox = MakeGroupBox(UserAccTab, "GroupBox", " eMail Users Group ", {8, 86, 409, 52}, 12020);
    SetHint(*GroupBox, "Email users must belong to this group.");
    GroupLabel = MakeLabel(GroupBox, "GroupLabel", "eMail Group:", {10, 24});
    eMailUsersGroupEdit = MakeEdit(GroupBox, "eMailUsersGroupEdit", "Users", {100, 20, 208, 21});
    GroupBrowseButton = MakeButton(GroupBox, "GroupBrowseButton", "Browse ...", {326, 18});

    GroupBox2 = MakeGroupBox(UserAccTab, "GroupBox2", " PostMaster ", {8, 144, 409, 52}, 12030);
    SetHint(*GroupBox2, "The email address of the person responsible for this service.");
    PMEdit = MakeEdit(GroupBox2, "PMEdit", "PostMaster@localhost", {8, 20, 233, 21});
    DefaultPMButton = MakeButton(GroupBox2, "DefaultPMButton", "Default", {248, 18});
    PMBrowseButton = MakeButton(GroupBox2, "PMBrowseButton", "Browse ...", {326, 18});

    UMRadioGroup =
        MakeRadioGroup(UserAccTab, "UMRadioGroup", " Undeliverable Mail ", {424, 4, 217, 134},
                       {"Move to Bad Mail Folder", "Return to Sender", "Forward to Postmaster",
                        "Silently Discard"});
    SetHint(*UMRadioGroup, "What is done with undeliverable messages.");
    vcl::SetHelpContext(*UMRadioGroup, 12040);

    BuildMsgStatsGroup(UserAccTab);
}

void TPopDlg::BuildMsgStatsGroup(QWidget* page) {
    MsgStatsGroupBox =
        MakeGroupBox(page, "MsgStatsGroupBox", " Message Statistics: ", {8, 202, 633, 108}, 12050);
    MsgRecvLabel = MakeStatsLabel(MsgStatsGroupBox, "MsgRecvLabel", "Received:", 22);
    MsgUndelLabel = MakeStatsLabel(MsgStatsGroupBox, "MsgUndelLabel", "Undeliverable:", 42);
    MsgDelLabel = MakeStatsLabel(MsgStatsGroupBox, "MsgDelLabel", "Delivered:", 62);
    MsgDateLabel = MakeStatsLabel(MsgStatsGroupBox, "MsgDateLabel", "Since:", 82);
    CountMsgCheckBox =
        MakeCheckBox(MsgStatsGroupBox, "CountMsgCheckBox", "Count Messages  ", {448, 22, 150, 17});
    MsgUpdateButton =
        MakeButton(MsgStatsGroupBox, "MsgUpdateButton", "Update Status", {448, 46}, 89);
    MsgResetButton = MakeButton(MsgStatsGroupBox, "MsgResetButton", "Reset Counts", {448, 76}, 89);
}

}  // namespace vrel
