// The alias editor of the Aliases page on the stand-in metabase: loading, Add with its
// duplicate and user options, Remove of one row and of a range, Edit, the header sort and
// the page's button states. The grid must always mirror the stored table.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <deque>
#include <string>
#include <vector>

#include "alias_fixture.h"
#include "common/alias_table.h"
#include "platform/dialogs.h"
#include "settings/alias_check.h"

namespace {

using vrel::test::AliasPairs;
using vrel::test::AliasTabTest;
using vrel::test::Texts;

TEST_F(AliasTabTest, AnEmptyTableShowsHeaderAndEmptyRowWithItsButtonsOff) {
    Seed({});
    EXPECT_EQ(Form().AliasStringGrid->RowCount(), 2);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias", "Map To User"}));
    EXPECT_EQ(Form().AliasGroupBox->title(), " Alias Database: (0) items");
    for (QPushButton* button : {Form().AliasExportButton, Form().CheckAliasButton,
                                Form().AliasRemoveButton, Form().AliasEditButton}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
    EXPECT_TRUE(Form().AliasImportButton->isDefault());
    EXPECT_FALSE(Form().AliasAddButton->isEnabled());
    EXPECT_FALSE(Form().AliasClearButton->isEnabled());

    Add("sales", "bob");
    EXPECT_EQ(GridRows(), (AliasPairs{{"sales", "bob"}}));
    EXPECT_EQ(Form().AliasGroupBox->title(), " Alias Database: (1) items");
    EXPECT_TRUE(Form().AliasEditButton->isDefault());
    EXPECT_FALSE(Form().AliasImportButton->isDefault());
    EXPECT_TRUE(Form().AliasRemoveButton->isEnabled());
    EXPECT_EQ(Form().AliasEdit->text(), "");
    ASSERT_NE(vrel::AliasRecOf(*Form().AliasStringGrid, 1), nullptr);
    EXPECT_EQ(vrel::AliasRecOf(*Form().AliasStringGrid, 1)->status, vrel::AliasUnchecked);
}

TEST_F(AliasTabTest, LoadingFillsTheGridInTheTablesOrder) {
    Seed({{"sales", "bob"}, {"team", "carol"}, {"info", "sales"}});
    EXPECT_EQ(GridRows(), StoredAliases());
    EXPECT_EQ(GridRows().size(), 3u);
    EXPECT_EQ(Form().AliasStringGrid->Row(), 1);
    EXPECT_EQ(Form().AliasGroupBox->title(), " Alias Database: (3) items");
}

TEST_F(AliasTabTest, AnEmptyFieldIsRequiredButABlankCounts) {
    Seed({});
    win::MessageBoxScript boxes;
    vrel::SetEditText(*Form().AliasEdit, "sales");
    Form().AliasAddButtonClick();
    EXPECT_EQ(Texts(boxes),
              std::vector<std::string>{"Requires both Alias and Map to User fields."});
    vrel::SetEditText(*Form().AliasMapToEdit, " ");
    Form().AliasAddButtonClick();
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(StoredAliases(), (AliasPairs{{"sales", " "}}));
}

// One add against the table {sales: bob, team: carol}; carol is a mail user, nobody is not.
struct AddCase {
    const char* name;
    const char* alias;
    const char* target;
    int dup;
    int user;
    std::deque<int> answers;
    std::vector<std::string> questions;
    AliasPairs after;
};

void PrintTo(const AddCase& c, std::ostream* os) {
    *os << c.name;
}

class AddDecisionTest : public AliasTabTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddDecisionTest, FollowsTheOptions) {
    const AddCase& c = GetParam();
    Seed({{"sales", "bob"}, {"team", "carol"}});
    SetOptions(c.dup, c.user);
    win::MessageBoxScript boxes(c.answers);
    Add(c.alias, c.target);
    EXPECT_EQ(Texts(boxes), c.questions);
    EXPECT_EQ(StoredAliases(), c.after);
    EXPECT_EQ(GridRows(), c.after);
    const bool added = c.after.back() == std::pair<std::string, std::string>(c.alias, c.target);
    EXPECT_EQ(Form().AliasEdit->text().isEmpty(), added);
    EXPECT_EQ(Form().AliasGroupBox->title().toStdString(),
              " Alias Database: (" + std::to_string(c.after.size()) + ") items");
}

const std::string kOverwrite = " already exists - overwrite ?";
const std::string kNotUser = "User: nobody isn't a valid user - add anyway ?";
const AliasPairs kSeeded = {{"sales", "bob"}, {"team", "carol"}};

// The seeded table with one alias more at its end.
AliasPairs Plus(const char* alias, const char* user) {
    AliasPairs after = kSeeded;
    after.emplace_back(alias, user);
    return after;
}

const std::deque<int> kYes = {win::IDYES};
const std::deque<int> kNo = {win::IDNO};

const AliasPairs kSalesReplaced = {{"team", "carol"}, {"sales", "carol"}};
const AliasPairs kSalesRemoved = {{"team", "carol"}};
const AliasPairs kTeamReplaced = {{"sales", "bob"}, {"TEAM", "bob"}};
const AliasPairs kTeamRemoved = {{"sales", "bob"}};
const std::vector<std::string> kNoBox = {};
const std::deque<int> kNone = {};
const std::deque<int> kYesNo = {win::IDYES, win::IDNO};
const std::vector<std::string> kAskUser = {kNotUser};
const std::vector<std::string> kAskSales = {"Alias: Sales" + kOverwrite};
const std::vector<std::string> kAskTeam = {"Alias: TEAM" + kOverwrite};
const std::vector<std::string> kAskTeamThenUser = {"Alias: team" + kOverwrite, kNotUser};

INSTANTIATE_TEST_SUITE_P(
    Rows, AddDecisionTest,
    ::testing::Values(
        AddCase{"NewAnyUserAllowed", "new", "nobody", 2, 0, kNone, kNoBox, Plus("new", "nobody")},
        AddCase{"NewValidUserIgnoreInvalid", "new", "carol", 2, 1, kNone, kNoBox,
                Plus("new", "carol")},
        AddCase{"NewValidUserDisplayChoice", "new", "CAROL", 2, 2, kNone, kNoBox,
                Plus("new", "CAROL")},
        AddCase{"NewInvalidUserIgnored", "new", "nobody", 2, 1, kNone, kNoBox, kSeeded},
        AddCase{"NewInvalidUserYes", "new", "nobody", 2, 2, kYes, kAskUser, Plus("new", "nobody")},
        AddCase{"NewInvalidUserNo", "new", "nobody", 2, 2, kNo, kAskUser, kSeeded},
        AddCase{"HeaderIsNoAlias", "Alias", "bob", 2, 0, kNone, kNoBox, Plus("Alias", "bob")},
        AddCase{"DuplicateFirstKept", "SALES", "carol", 0, 0, kNone, kNoBox, kSeeded},
        AddCase{"DuplicateLastReplaces", "sales", "carol", 1, 0, kNone, kNoBox, kSalesReplaced},
        AddCase{"DuplicateLastInvalidUserIgnored", "sales", "nobody", 1, 1, kNone, kNoBox,
                kSalesRemoved},
        AddCase{"DuplicateOnlyInCaseNo", "Sales", "carol", 2, 0, kNo, kAskSales, kSeeded},
        AddCase{"DuplicateChoiceYes", "TEAM", "bob", 2, 0, kYes, kAskTeam, kTeamReplaced},
        AddCase{"DuplicateChoiceYesInvalidUserNo", "team", "nobody", 2, 2, kYesNo, kAskTeamThenUser,
                kTeamRemoved}),
    [](const ::testing::TestParamInfo<AddCase>& info) { return std::string(info.param.name); });

TEST_F(AliasTabTest, AFailedAddIsReportedAndLeavesTheGrid) {
    Seed({{"sales", "bob"}});
    ASSERT_TRUE(vrel::WriteAlias("team", "carol"));  // stored behind the grid's back
    win::MessageBoxScript boxes;
    Add("team", "bob");
    EXPECT_EQ(Texts(boxes),
              std::vector<std::string>{"database problem in: addAlias() - please notify author."});
    EXPECT_EQ(GridRows(), (AliasPairs{{"sales", "bob"}}));
    EXPECT_EQ(Form().AliasEdit->text(), "team");
}

class RemoveTest : public AliasTabTest {
  protected:
    void SetUp() override {
        AliasTabTest::SetUp();
        Seed({{"a1", "bob"},
              {"a2", "bob"},
              {"a3", "bob"},
              {"a4", "bob"},
              {"a5", "bob"},
              {"a6", "bob"}});
        QObject::connect(Form().AliasStringGrid->model(), &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex&, int first, int) { removed_.push_back(first); });
    }

    void ClickRemove() { QTest::mouseClick(Form().AliasRemoveButton, Qt::LeftButton); }

    std::vector<int> removed_;
};

TEST_F(RemoveTest, ARangeAsksOnceAndRemovesFromTheBottomUp) {
    Form().AliasStringGrid->SetSelection({3, 5});
    win::MessageBoxScript boxes({win::IDYES});
    ClickRemove();
    EXPECT_EQ(Texts(boxes),
              std::vector<std::string>{"Are you sure you want to remove these 3 aliases ?"});
    EXPECT_EQ(boxes.Shown()[0].buttons, (std::vector<int>{win::IDYES, win::IDCANCEL}));
    EXPECT_EQ(removed_, (std::vector<int>{5, 4, 3}));
    const AliasPairs left = {{"a1", "bob"}, {"a2", "bob"}, {"a6", "bob"}};
    EXPECT_EQ(GridRows(), left);
    EXPECT_EQ(StoredAliases(), left);
    EXPECT_EQ(Form().AliasGroupBox->title(), " Alias Database: (3) items");
}

TEST_F(RemoveTest, ARangeIntoTheEmptyRowCountsOnlyDataRows) {
    Form().AliasStringGrid->SetSelection({5, 7});
    win::MessageBoxScript boxes({win::IDCANCEL});
    ClickRemove();
    EXPECT_EQ(Texts(boxes),
              std::vector<std::string>{"Are you sure you want to remove these 2 aliases ?"});
    EXPECT_EQ(StoredAliases().size(), 6u);
    EXPECT_TRUE(removed_.empty());
}

TEST_F(RemoveTest, OneRowAsksByNameAndAFailureIsReportedWithTheRowKept) {
    Form().AliasStringGrid->SetRow(2);
    win::MessageBoxScript boxes({win::IDCANCEL, win::IDYES, win::IDYES});
    ClickRemove();
    ClickRemove();
    EXPECT_EQ(GridRows().size(), 5u);
    EXPECT_EQ(Form().AliasStringGrid->Cell(1, 2), "a3");  // the next alias moved up
    ASSERT_TRUE(vrel::RemoveAlias("a3"));                 // gone behind the grid's back
    ClickRemove();
    EXPECT_EQ(Texts(boxes),
              (std::vector<std::string>{"Are you sure you want to remove the a2 alias ?",
                                        "Are you sure you want to remove the a2 alias ?",
                                        "Are you sure you want to remove the a3 alias ?",
                                        "database problem in: deleteAlias() - please notify "
                                        "author."}));
    EXPECT_EQ(Form().AliasStringGrid->Cell(1, 2), "a3");
}

TEST_F(RemoveTest, TheEmptyLastRowAsksNothing) {
    Form().AliasStringGrid->SetRow(Form().AliasStringGrid->RowCount() - 1);
    win::MessageBoxScript boxes;
    ClickRemove();
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(StoredAliases().size(), 6u);
}

TEST_F(AliasTabTest, EditCopiesTheCurrentRowIntoTheEdits) {
    Seed({{"sales", "bob"}, {"team", "carol"}});
    ClickCell(2, 2);
    QTest::mouseClick(Form().AliasStringGrid->viewport(), Qt::RightButton, {},
                      Form().AliasStringGrid->CellRect(2, 1).center());
    EXPECT_EQ(Form().AliasStringGrid->Row(), 2);  // the right button selects nothing
    QTest::mouseDClick(Form().AliasStringGrid->viewport(), Qt::LeftButton, {},
                       Form().AliasStringGrid->CellRect(2, 2).center());
    EXPECT_EQ(Form().AliasEdit->text(), "team");
    EXPECT_EQ(Form().AliasMapToEdit->text(), "carol");
    EXPECT_TRUE(Form().AliasAddButton->isEnabled());
    QTest::mouseClick(Form().AliasClearButton, Qt::LeftButton);
    EXPECT_EQ(Form().AliasMapToEdit->text(), "");
    Form().AliasStringGrid->SetRow(3);  // the empty row leaves the edits
    QTest::mouseClick(Form().AliasEditButton, Qt::LeftButton);
    EXPECT_EQ(Form().AliasEdit->text(), "");
}

TEST_F(AliasTabTest, HeaderClicksAlternateOneDirectionForBothColumns) {
    Seed({{"b", "carol"}, {"C", "alice"}, {"a", "Bob"}});
    ClickCell(1, 0);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias ^", "Map To User"}));
    EXPECT_EQ(GridRows(), (AliasPairs{{"a", "Bob"}, {"b", "carol"}, {"C", "alice"}}));
    ClickCell(2, 0);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias", "Map To User v"}));
    EXPECT_EQ(GridRows(), (AliasPairs{{"b", "carol"}, {"a", "Bob"}, {"C", "alice"}}));
    ClickCell(2, 0);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias", "Map To User ^"}));
    ClickCell(1, 1);  // a data row sorts nothing
    ClickCell(1, 0, Qt::RightButton);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias", "Map To User ^"}));
    EXPECT_EQ(GridRows(), (AliasPairs{{"C", "alice"}, {"a", "Bob"}, {"b", "carol"}}));
}

// However far the rows scroll, the header row stays at the grid's top and still sorts.
TEST_F(AliasTabTest, TheHeaderStaysInViewWhenTheRowsScroll) {
    AliasPairs aliases;
    for (int i = 50; i > 0; --i) aliases.emplace_back("alias" + std::to_string(100 + i), "bob");
    Seed(aliases);
    vrel::TStringGrid& grid = *Form().AliasStringGrid;
    grid.scrollToBottom();
    QApplication::processEvents();
    ASSERT_GT(grid.verticalScrollBar()->value(), 0);
    ASSERT_TRUE(grid.viewport()->rect().contains(grid.CellRect(1, 50)));
    const QRect header = grid.CellRect(1, 0).translated(grid.viewport()->mapTo(&grid, QPoint()));
    EXPECT_EQ(header.top(), grid.contentsRect().top());
    EXPECT_EQ(header.height(), 20);
    EXPECT_EQ(header.width(), 167);
    const QImage shot = vrel::test::SaveScreenshot(Form(), "popsetup_PopDlg-AliasTab-scrolled");
    const QPoint onShot = grid.mapTo(&Form(), header.topLeft());
    int dark = 0;  // the header's text, drawn where the grid shows it
    for (int x = 4; x < 30; ++x) {
        for (int y = 4; y < 16; ++y) dark += qGray(shot.pixel(onShot + QPoint(x, y))) < 100;
    }
    EXPECT_GT(dark, 10);

    ClickCell(1, 0);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias ^", "Map To User"}));
    EXPECT_EQ(grid.Cell(1, 1), "alias101");
    EXPECT_EQ(grid.Cell(1, 50), "alias150");
}

TEST_F(AliasTabTest, SortingOneAliasChangesOnlyTheHeader) {
    Seed({{"sales", "bob"}});
    ClickCell(1, 0);
    EXPECT_EQ(HeaderTexts(), (std::vector<std::string>{"Alias ^", "Map To User"}));
    EXPECT_EQ(GridRows(), (AliasPairs{{"sales", "bob"}}));
}

// Keys equal but for case are never exchanged with each other; the method still moves them
// past a third row, so the order among them is the exchange sort's.
TEST_F(AliasTabTest, KeysDifferingOnlyInCaseCountAsEqual) {
    Seed({{"z", "zed"}, {"a1", "Ann"}, {"a2", "ANN"}, {"a3", "ann"}});
    ClickCell(2, 0);
    EXPECT_EQ(GridRows(), (AliasPairs{{"a1", "Ann"}, {"a2", "ANN"}, {"a3", "ann"}, {"z", "zed"}}));
    ClickCell(2, 0);
    EXPECT_EQ(GridRows(), (AliasPairs{{"z", "zed"}, {"a2", "ANN"}, {"a3", "ann"}, {"a1", "Ann"}}));
}

// The duplicate search follows each alias wherever a sort or a removal has moved it, and
// folds accented capitals as the locale does.
TEST_F(AliasTabTest, ADuplicateIsFoundWhereSortingAndRemovalLeftIt) {
    Seed({{"Jos\xE9", "bob"}, {"b", "bob"}, {"a", "bob"}, {"c", "bob"}});
    ClickCell(1, 0);
    Form().AliasStringGrid->SetRow(1);
    win::MessageBoxScript boxes({win::IDYES});
    QTest::mouseClick(Form().AliasRemoveButton, Qt::LeftButton);
    ASSERT_EQ(GridRows(), (AliasPairs{{"b", "bob"}, {"c", "bob"}, {"Jos\xE9", "bob"}}));

    SetOptions(1, 0);
    Add("JOS\xC9", "carol");
    SetOptions(0, 0);
    Add("C", "carol");
    const AliasPairs after = {{"b", "bob"}, {"c", "bob"}, {"JOS\xC9", "carol"}};
    EXPECT_EQ(GridRows(), after);
    EXPECT_EQ(StoredAliases(), after);
}

TEST_F(AliasTabTest, ADisabledPageTurnsItsControlsOff) {
    Seed({{"sales", "bob"}});
    Form().AliasTab->setEnabled(false);
    Form().AliasTabShow();
    for (QWidget* control : std::vector<QWidget*>{
             Form().AliasImportButton, Form().AliasExportButton, Form().OptionsButton,
             Form().CheckAliasButton, Form().AliasRemoveButton, Form().AliasEditButton,
             Form().AliasAddButton, Form().AliasClearButton, Form().BrowseUserButton,
             Form().AliasEdit, Form().AliasMapToEdit}) {
        EXPECT_TRUE(control->testAttribute(Qt::WA_ForceDisabled))
            << control->objectName().toStdString();
    }
    EXPECT_FALSE(Form().AliasEditButton->isDefault());
}

}  // namespace
