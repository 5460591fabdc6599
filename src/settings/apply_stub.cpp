// Applying the settings and the statistics are not part of this build yet: applying only
// clears the record of unapplied changes, and the statistics handlers change nothing.
#include "settings/pop_dlg.h"

namespace vrel {

void TPopDlg::ApplyButtonClick() {
    ApplyButton->setEnabled(false);
}

void TPopDlg::LoggingCheckBoxClick() {}

void TPopDlg::ConUpdateButtonClick() {}

void TPopDlg::MsgUpdateButtonClick() {}

}  // namespace vrel
