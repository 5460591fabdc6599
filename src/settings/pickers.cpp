// The main window's four pickers: the mail users group, the NT domain and the PostMaster on
// the User Accounts page, the alias target on the Aliases page. Each shows the browse list
// dialog in its mode and copies the line chosen into its edit, whose change handler then
// does its own work (authentication changed, Apply enabled, Add and Clear updated).
#include <optional>

#include "common/smtp_config.h"
#include "platform/vcl.h"
#include "settings/browse_list_dlg.h"
#include "settings/form_controls.h"
#include "settings/options_dlg.h"
#include "settings/picker_forms.h"
#include "settings/pop_dlg.h"

namespace vrel {
namespace {

// Shows the browse list; the line chosen, or nothing after Cancel or OK without a selection.
// The list is emptied afterwards either way.
std::optional<std::string> Pick(const char* helpTopic, std::string_view caption,
                                unsigned char listMode) {
    TBrowseListDlg& dialog = *BrowseListDlg;
    dialog.helpTopic = helpTopic;
    dialog.setWindowTitle(Ansi(caption));
    dialog.listMode = listMode;
    std::optional<std::string> chosen;
    if (vcl::ShowModal(dialog) == vcl::mrOk) chosen = dialog.SelectedLine();
    dialog.GroupListBox->clear();
    return chosen;
}

}  // namespace

bool BrowseMailUsersAndAliases(const std::string& helpTopic, const std::string& caption,
                               std::string& entry) {
    const auto line = Pick(helpTopic.c_str(), caption, kListUsersAndAliases);
    if (line) entry = *line;
    return line.has_value();
}

// An alias line ("name (alias)") names the alias: the text before the blank before the mark.
std::string PostMasterAddress(const std::string& line) {
    const std::size_t mark = line.find("(alias)");
    const std::string name =
        mark == std::string::npos ? line : line.substr(0, mark > 0 ? mark - 1 : 0);
    return name + "@" + GetSmtpDefaultDomain();
}

PickerForms::PickerForms()
    : browseList_(std::make_unique<TBrowseListDlg>()), options_(std::make_unique<TOptionsDlg>()) {
    BrowseListDlg = browseList_.get();
    OptionsDlg = options_.get();
}

PickerForms::~PickerForms() {
    OptionsDlg = nullptr;
    BrowseListDlg = nullptr;
}

void TPopDlg::ConnectPickers() {
    Bind(GroupBrowseButton, &QPushButton::clicked, this, &TPopDlg::GroupBrowseButtonClick);
    Bind(BrowseUserButton, &QPushButton::clicked, this, &TPopDlg::BrowseUserButtonClick);
    Bind(DomainBrowseButton, &QPushButton::clicked, this, &TPopDlg::DomainBrowseButtonClick);
    Bind(PMBrowseButton, &QPushButton::clicked, this, &TPopDlg::PMBrowseButtonClick);
    Bind(OptionsButton, &QPushButton::clicked, this, &TPopDlg::OptionsButtonClick);
}

// Pending settings are applied first (with the Apply button's own questions), so the groups
// are listed for the authority in force; an apply that raises ends the picker with it.
void TPopDlg::GroupBrowseButtonClick() {
    const vcl::THourGlass hourGlass;
    if (ApplyButton->isEnabled()) ApplyButtonClick();
    if (const auto line = Pick("UA_UsersGroup", "Select eMail Users Group", kListAccountGroups)) {
        SetEditText(*eMailUsersGroupEdit, *line);
    }
}

void TPopDlg::BrowseUserButtonClick() {
    const vcl::THourGlass hourGlass;
    if (const auto line = Pick("AddAliases", "Select eMail User", kListEmailUsers)) {
        SetEditText(*AliasMapToEdit, *line);
    }
}

void TPopDlg::DomainBrowseButtonClick() {
    if (const auto line = Pick("UA_Authentication", "Select Domains", kListNetworkDomains)) {
        SetEditText(*DomainEdit, *line);
    }
}

void TPopDlg::PMBrowseButtonClick() {
    std::string line;
    if (BrowseMailUsersAndAliases("UA_PostMaster", "Select PostMaster", line)) {
        SetEditText(*PMEdit, PostMasterAddress(line));
    }
}

}  // namespace vrel
