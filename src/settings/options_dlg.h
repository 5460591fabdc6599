// TOptionsDlg, "Add and Import Options": the three choices that adding an alias and importing
// an alias file obey (append on import, what to do with a duplicate alias, what to do with a
// target that is no mail user), stored in the SettingsKey.
//
// The editor reads the choices from the dialog's controls when it needs them. So that those
// are always the stored choices, the controls are loaded from the registry when the dialog is
// created and again after Cancel, besides each showing (FormShow).
//
// Created once by the program's start-up as the global OptionsDlg; GUI thread only.
#pragma once

#include <QCheckBox>

#include "platform/registry.h"
#include "platform/vcl.h"
#include "settings/dialog_form.h"

namespace vrel {

inline constexpr int kOptionsDlgHelpContext = 10311;

class TOptionsDlg : public TDialogForm {
  public:
    TOptionsDlg();

    QCheckBox* ImportCheckBox;
    vcl::TRadioGroup* DupRadioGroup;
    vcl::TRadioGroup* UserRadioGroup;
    QPushButton* OptHelpButton;

    // Loads the stored options into the controls.
    void FormShow() override;
    // The same without creating the key: at creation and after Cancel.
    void LoadStoredOptions();
    void OptHelpButtonClick();
    // Writes the controls' choices, all three (OptionsButtonClick's OK).
    void SaveOptions();

  private:
    // The open SettingsKey, or nullptr when there is none: the defaults.
    void LoadOptions(win::TRegistry* key);
};

// The options dialog, set by the program's start-up.
extern TOptionsDlg* OptionsDlg;

}  // namespace vrel
