// The alias grid's loading as far as the window's first showing needs it until the alias
// editor is part of this build: the header, one row per alias and the empty last row.
#include "common/alias_table.h"
#include "settings/pop_dlg.h"

namespace vrel {

void TPopDlg::LoadAliasGrid() {
    const std::vector<std::string> aliases = GetAliasList();
    AliasStringGrid->setRowCount(static_cast<int>(aliases.size()) + 2);
    AliasStringGrid->setItem(0, 1, new QTableWidgetItem("Alias"));
    AliasStringGrid->setItem(0, 2, new QTableWidgetItem("Map To User"));
    sortAscending = false;
    for (std::size_t i = 0; i < aliases.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        AliasStringGrid->setItem(row, 1, new QTableWidgetItem(Ansi(AliasName(aliases[i]))));
        AliasStringGrid->setItem(row, 2, new QTableWidgetItem(Ansi(AliasTarget(aliases[i]))));
    }
    AliasGroupBox->setTitle(
        Ansi(" Alias Database: (" + std::to_string(aliases.size()) + ") items"));
}

}  // namespace vrel
