// The Aliases page of TPopDlg as the form lays it out: the alias grid in its group, the two
// edits and the editor's buttons.
#include <QHeaderView>

#include "settings/pop_dlg.h"

namespace vrel {
namespace {

constexpr int kStatusColumnWidth = 30;
constexpr int kAliasColumnWidth = 167;
constexpr int kUserColumnWidth = 333;
constexpr int kRowHeight = 20;

QPushButton* AliasButton(QWidget* page, const char* name, std::string_view caption, QPoint at,
                         std::string_view hint, int helpContext) {
    QPushButton* button = MakeButton(page, name, caption, at);
    SetHint(*button, hint);
    vcl::SetHelpContext(*button, helpContext);
    return button;
}

}  // namespace

void TPopDlg::BuildAliasTab() {
    AliasTab = new QWidget;
    AliasTab->setObjectName("AliasTab");
    PageControl->AddPage(AliasTab, "Aliases", 13000, {});

    AliasGroupBox =
        MakeGroupBox(AliasTab, "AliasGroupBox", " Alias Database: ", {8, 4, 549, 306}, 0);
    // Row 0 stands for the fixed header row; an empty table has two rows.
    AliasStringGrid = new QTableWidget(2, 3, AliasGroupBox);
    AliasStringGrid->setObjectName("AliasStringGrid");
    AliasStringGrid->setGeometry(8, 18, 533, 222);
    AliasStringGrid->horizontalHeader()->hide();
    AliasStringGrid->verticalHeader()->hide();
    AliasStringGrid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    AliasStringGrid->setColumnWidth(0, kStatusColumnWidth);
    AliasStringGrid->setColumnWidth(1, kAliasColumnWidth);
    AliasStringGrid->setColumnWidth(2, kUserColumnWidth);
    AliasStringGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    AliasStringGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    SetHint(*AliasStringGrid, "A table of aliases and where they are redirected.");

    AliasLabel = MakeLabel(AliasGroupBox, "AliasLabel", "Alias:", {8, 250});
    AliasEdit = MakeEdit(AliasGroupBox, "AliasEdit", "", {8, 266, 168, 21});
    SetHint(*AliasEdit, "Type in the alias.");
    AliasMapToLabel = MakeLabel(AliasGroupBox, "AliasMapToLabel", "Map To User:", {184, 250});
    AliasMapToEdit = MakeEdit(AliasGroupBox, "AliasMapToEdit", "", {184, 266, 262, 21});
    SetHint(*AliasMapToEdit, "Type in the user account the alias is sent to.");
    for (QLineEdit* edit : {AliasEdit, AliasMapToEdit}) vcl::SetHelpContext(*edit, 13070);
    BrowseUserButton = AliasButton(AliasGroupBox, "BrowseUserButton", "Browse ...", {456, 264},
                                   "Brings up a list of email uses.", 13070);

    AliasAddButton =
        AliasButton(AliasTab, "AliasAddButton", "Add", {566, 12},
                    "Add the alias in the Alias text box to the Alias database.", 13050);
    AliasRemoveButton = AliasButton(AliasTab, "AliasRemoveButton", "Remove", {566, 42},
                                    "Remove the currently selected alias.", 13060);
    AliasEditButton =
        AliasButton(AliasTab, "AliasEditButton", "Edit", {566, 72},
                    "Places the selected alias in the Alias text box for editing.", 13070);
    AliasClearButton = AliasButton(AliasTab, "AliasClearButton", "Clear", {566, 102},
                                   "Clears the Alias and Map To User text boxes.", 13080);
    AliasImportButton = AliasButton(AliasTab, "AliasImportButton", "Import ...", {566, 148},
                                    "Imports an alias (csv) file. ", 13010);
    AliasExportButton =
        AliasButton(AliasTab, "AliasExportButton", "Export ...", {566, 178},
                    "Exports the current alias database to a (csv) format file.", 13020);
    OptionsButton = AliasButton(AliasTab, "OptionsButton", "Options ...", {566, 208},
                                "Sets the options for importing aliases. ", 13030);
    CheckAliasButton = AliasButton(AliasTab, "CheckAliasButton", "Check", {566, 254},
                                   "Checks the alias database and displays the status.", 13040);
}

}  // namespace vrel
