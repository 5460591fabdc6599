// Cost of the per-call directory lookups the agent and the POP3 service make: IsEmailUser
// against a mail users group of 10,000 members and ResolveAlias over 10,000 aliases, each
// reading the directory or the metabase afresh, on a machine of its own in a temporary folder.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_machine.h"
#include "common/alias_table.h"
#include "common/mail_users.h"
#include "platform/accounts.h"
#include "platform/metabase.h"

namespace {

constexpr int kEntries = 10000;

std::string Numbered(const char* prefix, int number) {
    return prefix + std::to_string(number);
}

// The name sought is the last member, so the whole group is read and compared.
void BM_IsEmailUser(benchmark::State& state) {
    const std::string last = Numbered("USER", kEntries - 1);
    for (auto _ : state) benchmark::DoNotOptimize(vrel::IsEmailUser(last));
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_IsEmailUser)->Unit(benchmark::kMillisecond);

// A chain of ten aliases ending at a user, among 10,000.
void BM_ResolveAlias(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(vrel::ResolveAlias("ALIAS0"));
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ResolveAlias)->Unit(benchmark::kMillisecond);

void AddMailUsers() {
    win::AccountDirectory directory;
    const win::Authority computer = *directory.FindAuthority(directory.ComputerName());
    const win::Account users = *directory.FindAccount(computer, "Users");
    for (int i = 0; i < kEntries; ++i) {
        const std::string name = Numbered("user", i);
        directory.AddUser(computer, name, "");
        directory.AddMember(users, *directory.FindAccount(computer, name));
    }
}

void AddAliases() {
    vrel::CreatePop3Metabase();
    std::shared_ptr<win::IIsObject> container, alias;
    win::ADsGetObject("IIS://localhost/Pop3Svc/1/Alias", container);
    for (int i = 0; i < kEntries; ++i) {
        const std::string target = i < 10 ? Numbered("alias", i + 1) : Numbered("user", i);
        container->Create("IIsPop3VirtualDir", Numbered("alias", i), alias);
        alias->Put("Path", win::VARIANT(target));
        alias->SetInfo();
    }
}

void PrepareMachine() {
    AddMailUsers();
    AddAliases();
}

}  // namespace

int main(int argc, char** argv) {
    return vrel::bench::RunOnOwnMachine(argc, argv, PrepareMachine);
}
