// The alias check of the Aliases page: each alias's status from the stored table (does its
// chain end at a mail user) and from the grid (is it on, or does it lead into, a circular
// chain), kept in the row's record and shown by its picture; and the popup's explanation of
// a row's status. The check only reads: nothing is written to the alias table.
#include "settings/alias_check.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/alias_table.h"
#include "common/mail_users.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "platform/vcl.h"
#include "settings/pop_dlg.h"

namespace vrel {
namespace {

// The first data row of each alias, by its name in the locale's capitals: one pass over the
// grid per check, keeping the first-match rule of a scan in row order.
class GridAliasIndex {
  public:
    explicit GridAliasIndex(const TStringGrid& grid) {
        for (int row = 1; row <= grid.RowCount() - 2; ++row) {
            rows_.emplace(win::AnsiUpperCase(grid.Cell(kAliasCol, row)), row);
        }
    }

    int Find(std::string_view name) const {
        const auto found = rows_.find(win::AnsiUpperCase(name));
        return found == rows_.end() ? 0 : found->second;
    }

  private:
    std::unordered_map<std::string, int> rows_;
};

std::string JoinChain(const std::vector<std::string>& names, const std::string& repeat) {
    std::string text;
    for (const std::string& name : names) text += name + " -> ";
    return text + repeat;
}

// Follows the row's chain through the grid; when it comes back to a name already met, every
// row on the chain is marked circular with this walk's chain text.
void WalkChain(TStringGrid& grid, const GridAliasIndex& index, int row) {
    std::vector<std::string> names = {grid.Cell(kAliasCol, row), grid.Cell(kUserCol, row)};
    std::unordered_set<std::string> met = {win::AnsiUpperCase(names[0]),
                                           win::AnsiUpperCase(names[1])};
    std::string current = names[1];
    while (const int next = index.Find(current)) {
        current = grid.Cell(kUserCol, next);
        if (!met.insert(win::AnsiUpperCase(current)).second) {
            const std::string chain = JoinChain(names, current);
            for (const std::string& name : names) {
                if (AliasRec* rec = AliasRecOf(grid, index.Find(name))) {
                    rec->status = AliasCircular;
                    rec->chainText = chain;
                }
            }
            return;
        }
        names.push_back(current);
    }
}

}  // namespace

void SetAliasHeader(TStringGrid& grid, int sortedCol, bool ascending) {
    const std::string arrow = ascending ? " ^" : " v";
    grid.SetCell(kAliasCol, 0, sortedCol == kAliasCol ? "Alias" + arrow : "Alias");
    grid.SetCell(kUserCol, 0, sortedCol == kUserCol ? "Map To User" + arrow : "Map To User");
}

AliasRec* AliasRecOf(const TStringGrid& grid, int row) {
    if (row <= 0 || row >= grid.RowCount()) return nullptr;
    return dynamic_cast<AliasRec*>(grid.Object(0, row));
}

std::string AliasStatusMessage(const AliasRec& rec, const std::string& group,
                               const std::string& authority) {
    switch (rec.status) {
        case AliasUnchecked:
            return "No status, use Check List button to check the alias database";
        case AliasNotMailUser:
            return "User doesn't have an account in the " + group + " group on " + authority;
        case AliasCircular:
            return "Circular error: " + rec.chainText;
        case AliasOk:
            return "Alias is OK";
        default:
            return {};
    }
}

void TPopDlg::CheckAliasButtonClick() {
    const vcl::THourGlass hourGlass;
    TStringGrid& grid = *AliasStringGrid;
    const GridAliasIndex index(grid);
    // The stored table and the group, read once for the whole check.
    const AliasResolver table(GetAliasList());
    const SortedStringList users = GetEmailUsers();
    for (int row = 1; row <= grid.RowCount() - 2; ++row) {
        if (AliasRec* rec = AliasRecOf(grid, row)) {
            rec->status = users.Contains(table.Resolve(grid.Cell(kAliasCol, row)))
                              ? AliasOk
                              : AliasNotMailUser;
            rec->chainText.clear();
        }
        WalkChain(grid, index, row);
        grid.SetCell(0, row, " ");
    }
}

void TPopDlg::ErrorClick() {
    const AliasRec* rec = AliasRecOf(*AliasStringGrid, AliasStringGrid->Row());
    if (rec == nullptr) return;
    const std::string group = EditText(*eMailUsersGroupEdit);
    const std::string message = AliasStatusMessage(
        *rec, group, rec->status == AliasNotMailUser ? GetAccountAuthority() : std::string());
    if (!message.empty()) win::ShowMessage(message);
}

}  // namespace vrel
