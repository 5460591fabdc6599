// The Aliases page of TPopDlg: the alias grid in its group, the two edits and the editor's
// buttons as the form lays them out, and the editor itself. Every add and removal goes to
// the alias table at once (there is no Apply step); the grid mirrors the table as loaded and
// changed here, one status record per data row, and always ends with one empty row.

#include <QPainter>
#include <limits>
#include <optional>

#include "common/alias_table.h"
#include "common/mail_users.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "settings/alias_check.h"
#include "settings/artwork.h"
#include "settings/options_dlg.h"
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

bool Confirmed(const std::string& question, win::TMsgDlgButtons buttons) {
    return win::MessageDlg(question, win::mtConfirmation, buttons, 0) == win::mrYes;
}

void DeleteAliasFailed() {
    win::ShowMessage("database problem in: deleteAlias() - please notify author.");
}

// The options of the options dialog's controls at this moment; -1 when nothing is chosen.
int DupOption() {
    return OptionsDlg ? OptionsDlg->DupRadioGroup->ItemIndex() : -1;
}

int UserOption() {
    return OptionsDlg ? OptionsDlg->UserRadioGroup->ItemIndex() : -1;
}

// Whether the user is a mail user: in the run's list when there is one (read at its first
// use), else asked of the directory.
bool IsMailUser(const std::string& user, std::optional<SortedStringList>* runMailUsers) {
    if (!runMailUsers) return IsEmailUser(user);
    if (!*runMailUsers) *runMailUsers = GetEmailUsers();
    return (*runMailUsers)->Contains(user);
}

// The first data row whose alias is the name, ignoring case; 0 when none is.
int FindAliasRow(const TStringGrid& grid, std::string_view name) {
    return std::max(grid.FindText(kAliasCol, name, 1, grid.RowCount() - 2), 0);
}

// The sort's key of a row: its column's text in the locale's capitals, compared byte by byte.
std::vector<std::string> SortKeys(const TStringGrid& grid, int col) {
    std::vector<std::string> keys(static_cast<std::size_t>(grid.RowCount()));
    for (int row = 1; row <= grid.RowCount() - 2; ++row) {
        keys[static_cast<std::size_t>(row)] = win::AnsiUpperCase(grid.Cell(col, row));
    }
    return keys;
}

// The exchange sort over the data rows; each exchange moves the texts and the status record.
void ExchangeSort(TStringGrid& grid, int col, bool ascending) {
    std::vector<std::string> keys = SortKeys(grid, col);
    const int last = grid.RowCount() - 2;
    grid.BeginUpdate();
    for (int i = 1; i <= last; ++i) {
        for (int j = i + 1; j <= last; ++j) {
            std::string& a = keys[static_cast<std::size_t>(i)];
            std::string& b = keys[static_cast<std::size_t>(j)];
            if (ascending ? a > b : a < b) {
                grid.ExchangeRows(i, j);
                a.swap(b);
            }
        }
    }
    grid.EndUpdate();
}

}  // namespace

void TPopDlg::BuildAliasTab() {
    AliasTab = new QWidget;
    AliasTab->setObjectName("AliasTab");
    PageControl->AddPage(AliasTab, "Aliases", 13000, [this] { AliasTabShow(); });

    AliasGroupBox =
        MakeGroupBox(AliasTab, "AliasGroupBox", " Alias Database: ", {8, 4, 549, 306}, 0);
    // Row 0 is the fixed header row; an empty table has two rows.
    AliasStringGrid = new TStringGrid(3, AliasGroupBox);
    AliasStringGrid->setObjectName("AliasStringGrid");
    AliasStringGrid->setGeometry(8, 18, 533, 222);
    AliasStringGrid->SetDefaultRowHeight(kRowHeight);
    AliasStringGrid->SetColWidth(0, kStatusColumnWidth);
    AliasStringGrid->SetColWidth(1, kAliasColumnWidth);
    AliasStringGrid->SetColWidth(2, kUserColumnWidth);
    SetHint(*AliasStringGrid, "A table of aliases and where they are redirected.");

    AliasLabel = MakeLabel(AliasGroupBox, "AliasLabel", "Alias:", {8, 250});
    AliasEdit = MakeEdit(AliasGroupBox, "AliasEdit", "", {8, 266, 168, 21});
    SetHint(*AliasEdit, "Type in the alias.");
    AliasMapToLabel = MakeLabel(AliasGroupBox, "AliasMapToLabel", "Map To User:", {184, 250});
    AliasMapToEdit = MakeEdit(AliasGroupBox, "AliasMapToEdit", "", {184, 266, 262, 21});
    SetHint(*AliasMapToEdit, "Type in the user account the alias is sent to.");
    for (QLineEdit* edit : {AliasEdit, AliasMapToEdit}) {
        vcl::SetHelpContext(*edit, 13070);
        // The library's edits take any length; an imported line passes through them whole.
        edit->setMaxLength(std::numeric_limits<int>::max());
    }
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
    for (win::TFileDialog* dialog :
         std::initializer_list<win::TFileDialog*>{&AliasSaveDialog, &AliasOpenDialog}) {
        dialog->DefaultExt = "csv";
        dialog->Filter = "Comma delimited (*.csv)|*.csv|All Files (*.*)|*.*";
    }
    AliasImageList = AliasStatusImages();
    BuildAliasPopup();
    ConnectAliasTab();
}

void TPopDlg::BuildAliasPopup() {
    AliasPopupMenu = new QMenu(this);
    AliasPopupMenu->setObjectName("AliasPopupMenu");
    AliasPopupRemove = AliasPopupMenu->addAction("Remove");
    AliasPopupEdit = AliasPopupMenu->addAction("Edit");
    N1 = AliasPopupMenu->addSeparator();
    Error = AliasPopupMenu->addAction("Error Message");
    Error->setObjectName("Error");
    Error->setEnabled(false);
}

void TPopDlg::ConnectAliasTab() {
    TStringGrid& grid = *AliasStringGrid;
    grid.OnDblClick = [this] { vcl::Guarded([this] { AliasStringGridDblClick(); }); };
    grid.OnMouseUp = [this](Qt::MouseButton button, int col, int row) {
        vcl::Guarded([=, this] { AliasStringGridMouseUp(button, col, row); });
    };
    grid.OnDrawCell = [this](int col, int row, const QRect& rect, QPainter& canvas) {
        AliasStringGridDrawCell(col, row, rect, canvas);
    };
    grid.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&grid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        AliasPopupMenu->popup(AliasStringGrid->viewport()->mapToGlobal(at));
    });
    Bind(AliasPopupMenu, &QMenu::aboutToShow, this, &TPopDlg::AliasPopupMenuPopup);
    Bind(AliasAddButton, &QPushButton::clicked, this, &TPopDlg::AliasAddButtonClick);
    Bind(AliasRemoveButton, &QPushButton::clicked, this, &TPopDlg::AliasRemoveButtonClick);
    Bind(AliasPopupRemove, &QAction::triggered, this, &TPopDlg::AliasRemoveButtonClick);
    Bind(AliasEditButton, &QPushButton::clicked, this, &TPopDlg::AliasStringGridDblClick);
    Bind(AliasPopupEdit, &QAction::triggered, this, &TPopDlg::AliasStringGridDblClick);
    Bind(AliasClearButton, &QPushButton::clicked, this, &TPopDlg::AliasClearButtonClick);
    Bind(CheckAliasButton, &QPushButton::clicked, this, &TPopDlg::CheckAliasButtonClick);
    Bind(Error, &QAction::triggered, this, &TPopDlg::ErrorClick);
    Bind(AliasExportButton, &QPushButton::clicked, this, &TPopDlg::AliasExportButtonClick);
    Bind(AliasImportButton, &QPushButton::clicked, this, &TPopDlg::AliasImportButtonClick);
    for (QLineEdit* edit : {AliasEdit, AliasMapToEdit}) {
        Bind(edit, &QLineEdit::textChanged, this, &TPopDlg::AliasEditChange);
    }
}

void TPopDlg::ShowAliasCount() {
    AliasGroupBox->setTitle(
        Ansi(" Alias Database: (" + std::to_string(AliasStringGrid->RowCount() - 2) + ") items"));
}

// The grid's part of an add: the empty last row takes the alias and a fresh record, and a
// new empty row follows.
void TPopDlg::AppendAliasRow(const std::string& alias, const std::string& user) {
    TStringGrid& grid = *AliasStringGrid;
    grid.SetRowCount(grid.RowCount() + 1);
    const int row = grid.RowCount() - 2;
    grid.SetRow(row);
    grid.SetCell(kAliasCol, row, alias);
    grid.SetCell(kUserCol, row, user);
    grid.SetObject(0, row, std::make_unique<AliasRec>());
}

void TPopDlg::LoadAliasGrid() {
    TStringGrid& grid = *AliasStringGrid;
    grid.SetRowCount(2);
    SetAliasHeader(grid);
    sortAscending = false;
    for (const std::string& line : GetAliasList()) {
        AppendAliasRow(std::string(AliasName(line)), std::string(AliasTarget(line)));
    }
    ShowAliasCount();
    grid.SetRow(1);
}

bool TPopDlg::addAlias(const std::string& alias, const std::string& user) {
    if (!WriteAlias(alias, user)) return false;
    AppendAliasRow(alias, user);
    AliasEdit->clear();
    AliasMapToEdit->clear();
    AliasEdit->setFocus();
    ShowAliasCount();
    return true;
}

bool TPopDlg::deleteAlias() {
    TStringGrid& grid = *AliasStringGrid;
    const int row = grid.Row();
    if (!RemoveAlias(grid.Cell(kAliasCol, row))) return false;
    grid.DeleteRow(row);
    grid.SetRow(std::min(row, grid.RowCount() - 1));
    ShowAliasCount();
    return true;
}

void TPopDlg::AliasAddButtonClick() {
    AddAliasFromEdits(nullptr);
}

void TPopDlg::AddAliasFromEdits(std::optional<SortedStringList>* runMailUsers) {
    const std::string alias = EditText(*AliasEdit);
    const std::string user = EditText(*AliasMapToEdit);
    if (alias.empty() || user.empty()) {
        win::ShowMessage("Requires both Alias and Map to User fields.");
        return;
    }
    {
        const vcl::THourGlass hourGlass;
        if (ReplaceDuplicate(alias) && UserAccepted(user, runMailUsers) && !addAlias(alias, user)) {
            win::ShowMessage("database problem in: addAlias() - please notify author.");
        }
    }
    AliasTabShow();
}

// The duplicate option: false when an alias of that name stays; true when there is none or
// it has been taken out (or its removal failed, which is reported).
bool TPopDlg::ReplaceDuplicate(const std::string& alias) {
    const int found = FindAliasRow(*AliasStringGrid, alias);
    if (found == 0) return true;
    const int dup = DupOption();
    if (dup == 0) return false;
    if (dup != 1 &&
        !Confirmed("Alias: " + alias + " already exists - overwrite ?", win::mbYes | win::mbNo)) {
        return false;
    }
    AliasStringGrid->SetRow(found);
    if (!deleteAlias()) DeleteAliasFailed();
    return true;
}

// The user option: whether a target that is no mail user may be added.
bool TPopDlg::UserAccepted(const std::string& user, std::optional<SortedStringList>* runMailUsers) {
    const int option = UserOption();
    if (option <= 0 || IsMailUser(user, runMailUsers)) return true;
    return option == 2 && Confirmed("User: " + user + " isn't a valid user - add anyway ?",
                                    win::mbYes | win::mbNo);
}

void TPopDlg::AliasRemoveButtonClick() {
    TStringGrid& grid = *AliasStringGrid;
    const int lastData = grid.RowCount() - 2;
    const TGridRect selection = grid.Selection();
    const int bottom = std::min(selection.Bottom, lastData);
    if (selection.Top < bottom) {
        const int count = bottom - selection.Top + 1;
        if (Confirmed(
                "Are you sure you want to remove these " + std::to_string(count) + " aliases ?",
                win::mbYes | win::mbCancel)) {
            for (int row = bottom; row >= selection.Top; --row) {
                grid.SetRow(row);
                if (!deleteAlias()) DeleteAliasFailed();
            }
        }
    } else if (const int row = grid.Row(); row > 0 && row < grid.RowCount() - 1) {
        if (Confirmed(
                "Are you sure you want to remove the " + grid.Cell(kAliasCol, row) + " alias ?",
                win::mbYes | win::mbCancel) &&
            !deleteAlias()) {
            DeleteAliasFailed();
        }
    }
    AliasEdit->setFocus();
    AliasTabShow();
}

void TPopDlg::AliasStringGridDblClick() {
    const TStringGrid& grid = *AliasStringGrid;
    if (const int row = grid.Row(); row > 0 && row < grid.RowCount() - 1) {
        SetEditText(*AliasEdit, grid.Cell(kAliasCol, row));
        SetEditText(*AliasMapToEdit, grid.Cell(kUserCol, row));
    }
    AliasEdit->setFocus();
}

void TPopDlg::AliasClearButtonClick() {
    AliasEdit->clear();
    AliasMapToEdit->clear();
    AliasEdit->setFocus();
}

// A click on a column's header sorts by it, the direction alternating with each sort of
// either column.
void TPopDlg::AliasStringGridMouseUp(Qt::MouseButton button, int col, int row) {
    if (button != Qt::LeftButton || row != 0 || (col != kAliasCol && col != kUserCol)) return;
    const bool ascending = !sortAscending;
    TStringGrid& grid = *AliasStringGrid;
    SetAliasHeader(grid, col, ascending);
    ExchangeSort(grid, col, ascending);
    sortAscending = ascending;
}

void TPopDlg::AliasStringGridDrawCell(int col, int row, const QRect& rect, QPainter& canvas) {
    if (col != 0 || row == 0) return;
    const AliasRec* rec = AliasRecOf(*AliasStringGrid, row);
    if (rec == nullptr || rec->status >= AliasImageList.size()) return;
    canvas.drawPixmap(rect.left() + 4, rect.top() + 2, AliasImageList[rec->status]);
}

void TPopDlg::AliasPopupMenuPopup() {
    if (const AliasRec* rec = AliasRecOf(*AliasStringGrid, AliasStringGrid->Row())) {
        Error->setEnabled(rec->status != AliasOk);
    }
}

void TPopDlg::AliasEditChange() {
    const bool alias = !AliasEdit->text().isEmpty();
    const bool user = !AliasMapToEdit->text().isEmpty();
    AliasAddButton->setEnabled(alias && user);
    AliasClearButton->setEnabled(alias || user);
}

void TPopDlg::AliasTabShow() {
    if (!AliasTab->isEnabled()) {
        for (QWidget* control : std::initializer_list<QWidget*>{
                 AliasImportButton, AliasExportButton, OptionsButton, CheckAliasButton,
                 AliasRemoveButton, AliasEditButton, AliasAddButton, AliasClearButton,
                 BrowseUserButton, AliasEdit, AliasMapToEdit}) {
            control->setEnabled(false);
        }
        AliasEditButton->setDefault(false);
        return;
    }
    wizardStep = 0;
    AliasEditChange();
    const bool aliases = AliasStringGrid->RowCount() >= 3;
    for (QPushButton* button :
         {AliasExportButton, CheckAliasButton, AliasRemoveButton, AliasEditButton}) {
        button->setEnabled(aliases);
    }
    if (aliases) OptionsButton->setEnabled(true);
    AliasEditButton->setDefault(aliases);
    AliasImportButton->setDefault(!aliases);
}

}  // namespace vrel
