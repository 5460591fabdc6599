// TBrowseListDlg: the small list dialog with which the settings program lets the administrator
// pick a name instead of typing it: a mail user, a group of the account authority, a network
// domain, or a mail user or alias. The caller sets the caption, the help topic and the list
// mode, shows the dialog modally and copies the chosen line into its own edit.
//
// The list keeps its lines sorted as the locale sorts without case, as a sorted list box does;
// equal lines stay (a domain named twice is listed twice). Lists come from the account
// directory, the alias table and the network enumeration, read afresh at each showing.
//
// Created once by the program's start-up as the global BrowseListDlg; GUI thread only.
#pragma once

#include <QListWidget>
#include <optional>
#include <string>
#include <vector>

#include "platform/wnet.h"
#include "settings/dialog_form.h"

namespace vrel {

// The list modes.
enum : unsigned char {
    kListEmailUsers = 0,
    kListAccountGroups = 1,
    kListNetworkDomains = 2,
    kListUsersAndAliases = 3,
};

class TBrowseListDlg : public TDialogForm {
  public:
    TBrowseListDlg();

    QListWidget* GroupListBox;
    QPushButton* ListHelpButton;

    std::string helpTopic;
    unsigned char listMode = kListEmailUsers;

    // Fills the list by listMode.
    void FormShow() override;
    void ListHelpButtonClick();

    // The selected line as 8-bit text; nothing when none is selected.
    std::optional<std::string> SelectedLine() const;
    // Replaces the lines with the given ones, sorted.
    void SetItems(std::vector<std::string> lines);
};

// The names of the network's domains, one level below the given container (or below each
// provider when there is none), added to the list. Failures show their messages and keep what
// was found.
void EnumNetworkDomains(std::vector<std::string>& list, const win::NETRESOURCE* container);

// The browse list dialog, set by the program's start-up.
extern TBrowseListDlg* BrowseListDlg;

}  // namespace vrel
