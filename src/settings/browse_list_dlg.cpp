// The browse list dialog: its form, the filling by list mode and the network domain search.
#include "settings/browse_list_dlg.h"

#include <algorithm>

#include "common/alias_table.h"
#include "common/mail_users.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/text.h"
#include "platform/vcl.h"
#include "settings/form_controls.h"

namespace vrel {
namespace {

std::vector<std::string> Names(const SortedStringList& list) {
    return std::vector<std::string>(list.begin(), list.end());
}

// Mail users, then each alias with " (alias)".
std::vector<std::string> UsersAndAliases() {
    std::vector<std::string> lines = Names(GetEmailUsers());
    for (const std::string& line : GetAliasList()) {
        lines.push_back(std::string(AliasName(line)) + " (alias)");
    }
    return lines;
}

void ShowNetworkError(win::DWORD result) {
    switch (result) {
        case win::ERROR_INVALID_PARAMETER:
        case win::ERROR_NOT_CONTAINER:
            win::ShowMessage("I blew it here - tell me about the problem.");
            break;
        case win::ERROR_NO_NETWORK:
            win::ShowMessage("No Network Found.");
            break;
        default:
            win::ShowMessage("Network Error()");
    }
}

// One batch of entries: the providers' domains at the top level are searched one level down;
// one level down, the domains are the names sought.
void TakeEntries(const std::vector<win::NETRESOURCE>& entries, std::vector<std::string>& list,
                 bool topLevel) {
    for (const win::NETRESOURCE& entry : entries) {
        if (!(entry.dwUsage & win::RESOURCEUSAGE_CONTAINER)) continue;
        if (topLevel) {
            EnumNetworkDomains(list, &entry);
        } else if (entry.dwDisplayType == win::RESOURCEDISPLAYTYPE_DOMAIN) {
            list.push_back(entry.lpRemoteName);
        }
    }
}

}  // namespace

TBrowseListDlg* BrowseListDlg = nullptr;

TBrowseListDlg::TBrowseListDlg()
    : TDialogForm("BrowseListDlg", "Dialog", {313, 217}, {230, 8}, {230, 38}) {
    GroupListBox = new QListWidget(this);
    GroupListBox->setObjectName("GroupListBox");
    GroupListBox->setGeometry(8, 8, 213, 201);
    GroupListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ListHelpButton = MakeButton(this, "ListHelpButton", "Help", {230, 68});
    Bind(ListHelpButton, &QPushButton::clicked, this, &TBrowseListDlg::ListHelpButtonClick);
}

void TBrowseListDlg::FormShow() {
    const vcl::THourGlass hourGlass;
    GroupListBox->clear();
    switch (listMode) {
        case kListEmailUsers:
            SetItems(Names(GetEmailUsers()));
            break;
        case kListAccountGroups:
            SetItems(Names(GetAccountGroups()));
            break;
        case kListNetworkDomains: {
            std::vector<std::string> domains;
            EnumNetworkDomains(domains, nullptr);
            SetItems(std::move(domains));
            break;
        }
        case kListUsersAndAliases:
            SetItems(UsersAndAliases());
            break;
        default:
            break;
    }
}

void TBrowseListDlg::ListHelpButtonClick() {
    win::HelpJump(helpTopic);
}

std::optional<std::string> TBrowseListDlg::SelectedLine() const {
    const QList<QListWidgetItem*> selected = GroupListBox->selectedItems();
    if (selected.isEmpty()) return std::nullopt;
    return AnsiText(selected.front()->text());
}

// One sort of the whole list, stable so that equal lines keep their order.
void TBrowseListDlg::SetItems(std::vector<std::string> lines) {
    std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return win::AnsiCompareText(a, b) < 0;
    });
    QStringList items;
    items.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) items << Ansi(line);
    GroupListBox->clear();
    GroupListBox->addItems(items);
}

void EnumNetworkDomains(std::vector<std::string>& list, const win::NETRESOURCE* container) {
    const vcl::THourGlass hourGlass;
    std::unique_ptr<win::NetEnumeration> handle;
    const win::DWORD opened =
        win::WNetOpenEnum(win::RESOURCE_GLOBALNET, win::RESOURCETYPE_ANY, 0, container, handle);
    if (opened != win::ERROR_SUCCESS) {
        ShowNetworkError(opened);
        return;
    }
    for (;;) {
        win::DWORD count = 0xFFFFFFFF;  // as many as come
        std::vector<win::NETRESOURCE> entries;
        const win::DWORD result = win::WNetEnumResource(*handle, count, entries);
        if (result == win::ERROR_NO_MORE_ITEMS) break;
        if (result != win::ERROR_SUCCESS) {
            win::ShowMessage("Network Error()");
            break;
        }
        TakeEntries(entries, list, container == nullptr);
    }
    if (win::WNetCloseEnum(handle) != win::ERROR_SUCCESS) win::ShowMessage("Network Error()");
}

}  // namespace vrel
