#include "alias_fixture.h"

#include <QTest>

#include "common/alias_table.h"
#include "mail_account.h"
#include "settings/form_controls.h"

namespace vrel::test {

std::vector<std::string> Texts(const win::MessageBoxScript& boxes) {
    std::vector<std::string> texts;
    for (const win::MessageBoxRecord& box : boxes.Shown()) texts.push_back(box.text);
    return texts;
}

void AliasTabTest::SetUp() {
    PopDlgTest::SetUp();
    CreatePop3Metabase();
    AddComputerUser("bob", "", true);
    AddComputerUser("carol", "", true);
    options_ = std::make_unique<TOptionsDlg>();
    OptionsDlg = options_.get();
    SetOptions(0, 0);
}

void AliasTabTest::TearDown() {
    OptionsDlg = nullptr;
    options_.reset();
    PopDlgTest::TearDown();
}

void AliasTabTest::Seed(const AliasPairs& aliases) {
    for (const auto& [alias, user] : aliases) ASSERT_TRUE(WriteAlias(alias, user)) << alias;
    Form().LoadAliasGrid();
    ShowPage(Form().AliasTab);
}

void AliasTabTest::SetOptions(int dup, int user, bool append) {
    OptionsDlg->DupRadioGroup->SetItemIndex(dup);
    OptionsDlg->UserRadioGroup->SetItemIndex(user);
    OptionsDlg->ImportCheckBox->setChecked(append);
}

void AliasTabTest::Add(const std::string& alias, const std::string& user) {
    SetEditText(*Form().AliasEdit, alias);
    SetEditText(*Form().AliasMapToEdit, user);
    ASSERT_TRUE(Form().AliasAddButton->isEnabled());
    QTest::mouseClick(Form().AliasAddButton, Qt::LeftButton);
}

AliasPairs AliasTabTest::GridRows() {
    const TStringGrid& grid = *Form().AliasStringGrid;
    AliasPairs rows;
    for (int row = 1; row < grid.RowCount() - 1; ++row) {
        rows.emplace_back(grid.Cell(1, row), grid.Cell(2, row));
    }
    EXPECT_EQ(grid.Cell(1, grid.RowCount() - 1), "");
    EXPECT_EQ(grid.Object(0, grid.RowCount() - 1), nullptr);
    return rows;
}

AliasPairs AliasTabTest::StoredAliases() {
    AliasPairs stored;
    for (const std::string& line : GetAliasList()) {
        stored.emplace_back(AliasName(line), AliasTarget(line));
    }
    return stored;
}

std::vector<std::string> AliasTabTest::HeaderTexts() {
    const TStringGrid& grid = *Form().AliasStringGrid;
    return {grid.Cell(1, 0), grid.Cell(2, 0)};
}

// The click goes to whatever part of the grid shows the cell there: its header for the fixed
// row, the viewport for the others.
void AliasTabTest::ClickCell(int col, int row, Qt::MouseButton button) {
    TStringGrid& grid = *Form().AliasStringGrid;
    const QPoint at = grid.viewport()->mapTo(&grid, grid.CellRect(col, row).center());
    QWidget* shown = grid.childAt(at);
    ASSERT_NE(shown, nullptr) << "cell " << col << "," << row << " is out of view";
    QTest::mouseClick(shown, button, {}, shown->mapFrom(&grid, at));
}

}  // namespace vrel::test
