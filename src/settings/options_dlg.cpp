// The alias options dialog and the Aliases page's Options button.
#include "settings/options_dlg.h"

#include <string_view>

#include "common/settings_key.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "settings/form_controls.h"
#include "settings/pop_dlg.h"

namespace vrel {
namespace {

void LoadIndex(win::TRegistry& registry, std::string_view name, vcl::TRadioGroup& group) {
    if (registry.ValueExists(name)) group.SetItemIndex(registry.ReadInteger(name));
}

}  // namespace

TOptionsDlg* OptionsDlg = nullptr;

TOptionsDlg::TOptionsDlg()
    : TDialogForm("OptionsDlg", "Add and Import Options", {337, 237}, {252, 8}, {252, 38}) {
    SetHint(*this, "Options for importing aliases.");
    vcl::SetHelpContext(*this, kOptionsDlgHelpContext);
    ImportCheckBox = MakeCheckBox(this, "ImportCheckBox", "Append imported aliases to existing",
                                  {16, 10, 225, 17});
    SetHint(*ImportCheckBox, "How to handle Aiases");
    DupRadioGroup = MakeRadioGroup(
        this, "DupRadioGroup", " Alias Options: ", {8, 34, 233, 96},
        {"use first duplicate found", "use last duplicate found", "display choice"}, 2);
    SetHint(*DupRadioGroup, "What to do when a duplicate alias is found.");
    UserRadioGroup =
        MakeRadioGroup(this, "UserRadioGroup", " User Options: ", {8, 134, 233, 96},
                       {"allow invalid users", "ignore invalid users", "display choice"}, 2);
    SetHint(*UserRadioGroup, "What to do if the user name isn't a valid email user.");
    SetHint(*OKBtn, "Accept options and closes the dialog.");
    SetHint(*CancelBtn, "Discards the options and closes the dialog.");
    OptHelpButton = MakeButton(this, "OptHelpButton", "Help", {252, 68});
    SetHint(*OptHelpButton, "Displays help for this dialog.");
    Bind(OptHelpButton, &QPushButton::clicked, this, &TOptionsDlg::OptHelpButtonClick);
    LoadStoredOptions();
}

void TOptionsDlg::FormShow() {
    const vcl::THourGlass hourGlass;
    win::TRegistry registry;
    if (!registry.OpenKey(kSettingsKey, true)) return;
    LoadOptions(&registry);
    registry.CloseKey();
}

// Only reads: the program's start-up writes nothing to the registry.
void TOptionsDlg::LoadStoredOptions() {
    win::TRegistry registry;
    if (registry.OpenKeyReadOnly(kSettingsKey)) {
        LoadOptions(&registry);
    } else {
        LoadOptions(nullptr);
    }
}

// Each control gets its default, then the stored value where there is one.
void TOptionsDlg::LoadOptions(win::TRegistry* key) {
    ImportCheckBox->setChecked(false);
    DupRadioGroup->SetItemIndex(0);
    UserRadioGroup->SetItemIndex(0);
    if (!key) return;
    if (key->ValueExists(settings_value::AppendAliases))
        ImportCheckBox->setChecked(key->ReadBool(settings_value::AppendAliases));
    LoadIndex(*key, settings_value::DuplicateAliasOptions, *DupRadioGroup);
    LoadIndex(*key, settings_value::InvalidUserOptions, *UserRadioGroup);
}

void TOptionsDlg::OptHelpButtonClick() {
    win::HelpJump("AliasesOptions");
}

void TOptionsDlg::SaveOptions() {
    win::TRegistry registry;
    if (!registry.OpenKey(kSettingsKey, true)) return;
    registry.WriteBool(settings_value::AppendAliases, ImportCheckBox->isChecked());
    registry.WriteInteger(settings_value::DuplicateAliasOptions, DupRadioGroup->ItemIndex());
    registry.WriteInteger(settings_value::InvalidUserOptions, UserRadioGroup->ItemIndex());
    registry.CloseKey();
}

// Cancel brings the stored choices back into the controls, which Add and Import read.
void TPopDlg::OptionsButtonClick() {
    if (vcl::ShowModal(*OptionsDlg) == vcl::mrOk) {
        OptionsDlg->SaveOptions();
    } else {
        OptionsDlg->LoadStoredOptions();
    }
}

}  // namespace vrel
