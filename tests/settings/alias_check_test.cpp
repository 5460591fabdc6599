// The alias check and its explanation: statuses from the stored table and the mail users
// group, circular chains found through the grid, the status pictures (and the screenshot
// that shows all four), the popup's Error item, and statuses that travel with a sort.
#include <gtest/gtest.h>

#include <QTest>
#include <map>
#include <string>
#include <vector>

#include "alias_fixture.h"
#include "common/mail_users.h"
#include "platform/dialogs.h"
#include "settings/alias_check.h"
#include "settings/form_controls.h"

namespace {

using vrel::AliasRec;
using vrel::test::AliasTabTest;

struct Status {
    int status;
    std::string chain;
    bool operator==(const Status&) const = default;
    friend void PrintTo(const Status& s, std::ostream* os) { *os << s.status << " " << s.chain; }
};

class AliasCheckTest : public AliasTabTest {
  protected:
    std::map<std::string, Status> Statuses() {
        std::map<std::string, Status> statuses;
        const vrel::TStringGrid& grid = *Form().AliasStringGrid;
        for (int row = 1; row < grid.RowCount() - 1; ++row) {
            const AliasRec* rec = vrel::AliasRecOf(grid, row);
            EXPECT_NE(rec, nullptr) << row;
            if (rec) statuses[grid.Cell(1, row)] = {rec->status, rec->chainText};
        }
        return statuses;
    }

    int RowOf(const std::string& alias) {
        const vrel::TStringGrid& grid = *Form().AliasStringGrid;
        for (int row = 1; row < grid.RowCount() - 1; ++row) {
            if (grid.Cell(1, row) == alias) return row;
        }
        ADD_FAILURE() << alias;
        return 0;
    }

    // The text that "Error Message" shows for the row, or "" when it shows none.
    std::string ErrorText(int row) {
        Form().AliasStringGrid->SetRow(row);
        win::MessageBoxScript boxes;
        Form().ErrorClick();
        return boxes.Shown().empty() ? "" : boxes.Shown().front().text;
    }

    void Check() { QTest::mouseClick(Form().CheckAliasButton, Qt::LeftButton); }
};

TEST_F(AliasCheckTest, AnEmptyTableChecksNothing) {
    Seed({});
    Form().CheckAliasButtonClick();
    EXPECT_EQ(Form().AliasStringGrid->RowCount(), 2);
    EXPECT_EQ(ErrorText(1), "");
}

TEST_F(AliasCheckTest, TwoAliasesMappedToEachOtherCarryTheLaterRowsChain) {
    Seed({{"ping", "pong"}, {"pong", "ping"}});
    Check();
    const Status circular = {vrel::AliasCircular, "pong -> ping -> pong"};
    EXPECT_EQ(Statuses(), (std::map<std::string, Status>{{"ping", circular}, {"pong", circular}}));
    EXPECT_EQ(ErrorText(1), "Circular error: pong -> ping -> pong");
}

TEST_F(AliasCheckTest, EachChainEndsAtAUserAnotherNameOrACycle) {
    Seed({{"sales", "info"},
          {"info", "bob"},
          {"ghost", "nobody"},
          {"self", "self"},
          {"lead", "ping"},
          {"ping", "pong"},
          {"pong", "ping"},
          {"Boss", "CAROL"}});
    Check();
    const std::string leadChain = "lead -> ping -> pong -> ping";
    EXPECT_EQ(Statuses(), (std::map<std::string, Status>{
                              {"sales", {vrel::AliasOk, ""}},
                              {"info", {vrel::AliasOk, ""}},
                              {"ghost", {vrel::AliasNotMailUser, ""}},
                              {"self", {vrel::AliasCircular, "self -> self -> self"}},
                              {"lead", {vrel::AliasCircular, leadChain}},
                              {"ping", {vrel::AliasCircular, "pong -> ping -> pong"}},
                              {"pong", {vrel::AliasCircular, "pong -> ping -> pong"}},
                              {"Boss", {vrel::AliasOk, ""}},
                          }));
}

// The group is the one typed on the User Accounts page, applied or not.
TEST_F(AliasCheckTest, ErrorMessageExplainsEachStatus) {
    Seed({{"sales", "bob"}, {"ghost", "nobody"}, {"self", "self"}});
    vrel::SetEditText(*Form().eMailUsersGroupEdit, "Staff");
    EXPECT_EQ(ErrorText(1), "No status, use Check List button to check the alias database");
    Check();
    EXPECT_EQ(ErrorText(1), "Alias is OK");
    EXPECT_EQ(ErrorText(2),
              "User doesn't have an account in the Staff group on " + vrel::GetAccountAuthority());
    EXPECT_EQ(ErrorText(3), "Circular error: self -> self -> self");
    EXPECT_EQ(ErrorText(4), "");  // the empty row
}

TEST_F(AliasCheckTest, TheErrorItemIsOffOnlyForAnOkRow) {
    Seed({{"sales", "bob"}, {"ghost", "nobody"}});
    Check();
    const auto errorEnabledAt = [this](int row) {
        Form().AliasStringGrid->SetRow(row);
        Form().AliasPopupMenuPopup();
        return Form().Error->isEnabled();
    };
    EXPECT_TRUE(errorEnabledAt(2));
    EXPECT_FALSE(errorEnabledAt(1));
    EXPECT_FALSE(errorEnabledAt(3));  // the empty row keeps the item as it was
    EXPECT_TRUE(errorEnabledAt(2));
    EXPECT_TRUE(errorEnabledAt(3));
}

TEST_F(AliasCheckTest, StatusesTravelWithTheirAliasesWhenSorted) {
    Seed({{"sales", "bob"}, {"self", "self"}, {"ghost", "nobody"}, {"aaa", "carol"}});
    Check();
    const std::map<std::string, Status> before = Statuses();
    ClickCell(1, 0);
    EXPECT_EQ(Form().AliasStringGrid->Cell(1, 1), "aaa");
    EXPECT_EQ(Statuses(), before);
    ClickCell(2, 0);
    EXPECT_EQ(Statuses(), before);
}

// What a status picture is at a glance: its disc's colour.
enum class Disc { Grey, Orange, Red, Green, Other };

Disc DiscAt(const QImage& image, QPoint at) {
    const QColor c = image.pixelColor(at);
    if (std::abs(c.red() - c.green()) < 20 && std::abs(c.green() - c.blue()) < 20 &&
        c.red() > 100 && c.red() < 200)
        return Disc::Grey;
    if (c.red() > 180 && c.green() > 90 && c.green() < 180 && c.blue() < 60) return Disc::Orange;
    if (c.red() > 150 && c.green() < 60 && c.blue() < 60) return Disc::Red;
    if (c.green() > 100 && c.red() < 60 && c.blue() < 100) return Disc::Green;
    return Disc::Other;
}

TEST_F(AliasCheckTest, ScreenshotShowsAllFourStatusPictures) {
    Seed({{"sales", "bob"}, {"ghost", "nobody"}, {"ping", "pong"}, {"pong", "ping"}});
    Check();
    Add("fresh", "carol");
    vrel::TStringGrid& grid = *Form().AliasStringGrid;
    const QImage shot = vrel::test::SaveScreenshot(Form(), "popsetup_PopDlg-AliasTab-checked");
    const std::vector<std::pair<std::string, Disc>> expected = {{"sales", Disc::Green},
                                                                {"ghost", Disc::Orange},
                                                                {"ping", Disc::Red},
                                                                {"pong", Disc::Red},
                                                                {"fresh", Disc::Grey}};
    for (const auto& [alias, disc] : expected) {
        const QRect cell = grid.CellRect(0, RowOf(alias));
        const QPoint origin = grid.viewport()->mapTo(&Form(), cell.topLeft());
        EXPECT_EQ(DiscAt(shot, origin + QPoint(4 + 3, 2 + 10)), disc) << alias;
        EXPECT_EQ(DiscAt(shot, origin + QPoint(1, 1)), Disc::Other) << alias;
    }
    EXPECT_EQ(Form().AliasGroupBox->title(), " Alias Database: (5) items");
    EXPECT_EQ(grid.Cell(1, 0), "Alias");
    EXPECT_TRUE(grid.isVisible());
}

}  // namespace
