// TLogFileOptionsForm: the dialog in which the administrator chooses the fields the daily log
// writes for login, logout and message events. It shows a tree (root, one node per event,
// one per field) whose event and field nodes carry NodeCheckBoxes, turns the three working
// masks into box states when it opens and folds the boxes back into the masks when it
// closes, by any button. The main window reads and writes the masks directly and stores
// them with Apply.
//
// Created at start-up as the global LogFileOptionsForm and shown modally through
// vcl::ShowModal; GUI thread only.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <array>
#include <cstdint>

namespace vrel {

inline constexpr int kLogFileOptionsClientWidth = 292;
inline constexpr int kLogFileOptionsClientHeight = 341;

class TLogFileOptionsForm : public QDialog {
  public:
    explicit TLogFileOptionsForm(QWidget* owner = nullptr);

    QLabel* Label1;
    QFrame* Panel1;
    QTreeWidget* LogFileTreeView;
    QPushButton* UpdateButton;
    QPushButton* CancelButton;
    QPushButton* HelpButton;
    std::array<QPixmap, 5> LogFileImageList;

    // The working copies of the login, logout and message masks.
    std::int32_t loginMask = 0;
    std::int32_t logoutMask = 0;
    std::int32_t messageMask = 0;

    // The working masks from the settings key (as stored, before any change in the dialog).
    void LoadStoredMasks();

    void FormShow();
    void FormClose();
    void LogFileTreeViewCustomDrawItem(QTreeWidgetItem* node);
    void HelpButtonClick();
    // Runs the custom draw for every node once the tree's layout is known (after building,
    // expanding, collapsing or scrolling), and hides the boxes of nodes out of view.
    void PlaceBoxes();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const char* text, int image,
                             int statePicture);
    void AddEvent(QTreeWidgetItem* root, const char* name, std::int32_t mask, std::int32_t full,
                  std::initializer_list<const char*> fields);
};

// The log options dialog, set by the program's start-up.
extern TLogFileOptionsForm* LogFileOptionsForm;

}  // namespace vrel
