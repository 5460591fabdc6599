// The browse list and alias options dialogs as the program's start-up creates them, after the
// main window: while a PickerForms lives they exist and the globals BrowseListDlg and
// OptionsDlg name them. GUI thread only, after the QApplication exists.
#pragma once

#include <memory>

#include "settings/browse_list_dlg.h"
#include "settings/options_dlg.h"

namespace vrel {

class PickerForms {
  public:
    PickerForms();
    PickerForms(const PickerForms&) = delete;
    PickerForms& operator=(const PickerForms&) = delete;
    ~PickerForms();

  private:
    std::unique_ptr<TBrowseListDlg> browseList_;
    std::unique_ptr<TOptionsDlg> options_;
};

}  // namespace vrel
