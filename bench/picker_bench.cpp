// Cost of the PostMaster picker with 5,000 mail users and 2,000 aliases: the browse list
// read from the directory and the alias table, sorted and shown, a line chosen and the
// PostMaster address built. Off-screen, on a machine of its own in a temporary folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <memory>
#include <string>

#include "bench_machine.h"
#include "common/alias_table.h"
#include "platform/accounts.h"
#include "platform/com.h"
#include "platform/metabase.h"
#include "platform/vcl.h"
#include "settings/picker_forms.h"
#include "settings/pop_dlg.h"

namespace {

constexpr int kUsers = 5000;
constexpr int kAliases = 2000;

std::string Numbered(const char* prefix, int number) {
    return prefix + std::to_string(number);
}

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
    win::AccountDirectory directory;
    const win::Authority computer = *directory.FindAuthority(directory.ComputerName());
    const win::Account users = *directory.FindAccount(computer, "Users");
    for (int i = 0; i < kUsers; ++i) {
        const std::string name = Numbered("user", i);
        directory.AddUser(computer, name, "");
        directory.AddMember(users, *directory.FindAccount(computer, name));
    }
    vrel::CreatePop3Metabase();
    win::CoInitialize();
    for (int i = 0; i < kAliases; ++i) vrel::WriteAlias(Numbered("alias", i), Numbered("user", i));
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    vcl::SetApplicationFont(application);
    const int result = vrel::bench::RunOnOwnMachine(argc, argv, PrepareMachine);
    win::CoUninitialize();
    return result;
}
