// The Aliases page on a fresh machine: the POP3 branch of the metabase, two mail users (bob
// and carol in the computer's "Users" group), the options dialog as the program makes it, and
// helpers that seed the stored table, load the grid and read back grid and table.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialogs.h"
#include "settings/options_dlg.h"
#include "settings_fixture.h"

namespace vrel::test {

using AliasPairs = std::vector<std::pair<std::string, std::string>>;

// The texts of the message boxes the script saw, in the order shown.
std::vector<std::string> Texts(const win::MessageBoxScript& boxes);

class AliasTabTest : public PopDlgTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Stores the aliases (in this order) and loads the grid from the table.
    void Seed(const AliasPairs& aliases);
    // The options as the options dialog's controls hold them.
    void SetOptions(int dup, int user, bool append = false);
    // Types into both edits and presses Add.
    void Add(const std::string& alias, const std::string& user);

    AliasPairs GridRows();
    AliasPairs StoredAliases();
    std::vector<std::string> HeaderTexts();
    // Clicks a cell of the grid where it is shown (failing when it is out of view).
    void ClickCell(int col, int row, Qt::MouseButton button = Qt::LeftButton);

  private:
    std::unique_ptr<TOptionsDlg> options_;
};

}  // namespace vrel::test
