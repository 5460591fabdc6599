// Cost of the PostMaster picker with 5,000 mail users and 2,000 aliases: the browse list
// read from the directory and the alias table, sorted and shown, a line chosen and the
// PostMaster address built. Off-screen, on a machine of its own in a temporary folder.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_settings_window.h"
#include "common/alias_table.h"
#include "platform/metabase.h"
#include "settings/picker_forms.h"
#include "settings/pop_dlg.h"

namespace {

constexpr int kUsers = 5000;
constexpr int kAliases = 2000;

using vrel::bench::Numbered;

void BM_PostMasterPicker(benchmark::State& state) {
    vrel::TPopDlg form;
    vrel::PopDlg = &form;
    const vrel::PickerForms pickerForms;
    int lines = 0;
    for (auto _ : state) {
        vcl::ModalScript script;
        script.Then([&lines](QDialog&) {
            QListWidget& list = *vrel::BrowseListDlg->GroupListBox;
            lines = list.count();
            list.item(lines - 1)->setSelected(true);
            return vcl::mrOk;
        });
        form.PMBrowseButtonClick();
    }
    vrel::PopDlg = nullptr;
    state.counters["lines"] = lines;
    state.SetItemsProcessed(state.iterations() * (kUsers + kAliases));
}
BENCHMARK(BM_PostMasterPicker)->Unit(benchmark::kMillisecond);

void PrepareMachine() {
    vrel::bench::AddMailUsers(kUsers);
    vrel::CreatePop3Metabase();
    for (int i = 0; i < kAliases; ++i) vrel::WriteAlias(Numbered("alias", i), Numbered("user", i));
}

}  // namespace

int main(int argc, char** argv) {
    return vrel::bench::RunSettingsWindowBenchmarks(argc, argv, PrepareMachine);
}
