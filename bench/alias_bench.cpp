// Cost of the Aliases page on 2,000 aliases: loading the grid from the alias table, the
// header sort (the exchange sort, both directions) and the alias check; and an import of a
// file of 10,000 lines through the Add logic, without and with the mail user test.
// Off-screen with the window shown, on a machine of its own in a temporary folder.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench_settings_window.h"
#include "common/alias_table.h"
#include "platform/file_dialogs.h"
#include "settings/options_dlg.h"
#include "settings/pop_dlg.h"

namespace {

constexpr int kUsers = 500;
constexpr int kAliases = 2000;
constexpr int kImportLines = 10000;

using vrel::bench::Numbered;

// The window on its Aliases page, with the options that add without questions.
struct AliasPage {
    AliasPage() {
        vrel::PopDlg = &form;
        vrel::OptionsDlg = &options;
        options.DupRadioGroup->SetItemIndex(0);
        options.UserRadioGroup->SetItemIndex(0);
        options.ImportCheckBox->setChecked(true);
        form.show();
        form.PageControl->SetActivePage(form.AliasTab);
        QApplication::processEvents();
    }
    ~AliasPage() {
        vrel::PopDlg = nullptr;
        vrel::OptionsDlg = nullptr;
    }
    vrel::TPopDlg form;
    vrel::TOptionsDlg options;
};

void BM_LoadAliasGrid(benchmark::State& state) {
    AliasPage page;
    for (auto _ : state) {
        page.form.LoadAliasGrid();
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * kAliases);
}
BENCHMARK(BM_LoadAliasGrid)->Unit(benchmark::kMillisecond);

// Each sort reverses the one before, so every round makes the most exchanges.
void BM_SortAliasGrid(benchmark::State& state) {
    AliasPage page;
    page.form.LoadAliasGrid();
    for (auto _ : state) {
        page.form.AliasStringGridMouseUp(Qt::LeftButton, 1, 0);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * kAliases);
}
BENCHMARK(BM_SortAliasGrid)->Unit(benchmark::kMillisecond);

void BM_CheckAliases(benchmark::State& state) {
    AliasPage page;
    page.form.LoadAliasGrid();
    for (auto _ : state) {
        page.form.CheckAliasButtonClick();
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * kAliases);
}
BENCHMARK(BM_CheckAliases)->Unit(benchmark::kMillisecond);

// Appended to the 2,000 aliases: each line meets the duplicate scan over the grid. With user
// option 1 ("ignore invalid users") each target is also looked up among the mail users. Each
// import has aliases of its own prefix, so none is a duplicate of an earlier import's.
void ImportAliases(benchmark::State& state, const char* aliasPrefix, int userOption) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("vrel-bench-import-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < kImportLines; ++i) {
            out << Numbered(aliasPrefix, i) << "," << Numbered("user", i % kUsers) << "\r\n";
        }
    }
    AliasPage page;
    page.options.UserRadioGroup->SetItemIndex(userOption);
    page.form.LoadAliasGrid();
    for (auto _ : state) {
        win::FileDialogScript dialogs;
        dialogs.Answer(file);
        page.form.AliasImportButtonClick();
    }
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations() * kImportLines);
}

void BM_ImportAliases(benchmark::State& state) {
    ImportAliases(state, "import", 0);
}
BENCHMARK(BM_ImportAliases)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ImportAliasesCheckingUsers(benchmark::State& state) {
    ImportAliases(state, "checked", 1);
}
BENCHMARK(BM_ImportAliasesCheckingUsers)->Unit(benchmark::kMillisecond)->Iterations(1);

// Users in the mail users group; aliases to users, chains of two, and small cycles.
void PrepareMachine() {
    vrel::bench::AddMailUsers(kUsers);
    vrel::CreatePop3Metabase();
    for (int i = 0; i < kAliases; ++i) {
        const std::string target = i % 10 == 1   ? Numbered("alias", i - 1)
                                   : i % 10 == 2 ? Numbered("alias", i + 1)
                                   : i % 10 == 3 ? Numbered("alias", i - 1)
                                                 : Numbered("user", i % kUsers);
        vrel::WriteAlias(Numbered("alias", (i * 7919) % kAliases), target);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return vrel::bench::RunSettingsWindowBenchmarks(argc, argv, PrepareMachine);
}
