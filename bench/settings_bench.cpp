// Cost of one settings getter (open the store, read, close) and of one counter increment,
// on a machine of its own in a temporary folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "platform/machine.h"
#include "platform/metabase.h"
#include "platform/registry.h"
#include "common/settings_key.h"

namespace {

namespace value = vrel::settings_value;

void BM_GetLoggingEnabled(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(vrel::GetLoggingEnabled());
}
BENCHMARK(BM_GetLoggingEnabled);

// MailInBoxDir absent: the registry read and then the SMTP service's drop folder.
void BM_GetMailInBoxDirFromTheMetabase(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(vrel::GetMailInBoxDir());
}
BENCHMARK(BM_GetMailInBoxDirFromTheMetabase);

void BM_IncrementCounter(benchmark::State& state) {
    for (auto _ : state) vrel::IncrementCounter(value::MessagesDelivered);
}
BENCHMARK(BM_IncrementCounter);

void PrepareMachine() {
    win::InitMachine();
    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, true);
    registry.WriteBool(value::LoggingEnabled, true);
    std::shared_ptr<win::IIsObject> root, service, server;
    win::ADsGetObject("IIS://localhost", root);
    root->Create("IIsSmtpService", "smtpsvc", service);
    service->Create("IIsSmtpServer", "1", server);
    server->Put("DropDirectory", win::VARIANT("C:\\Inetpub\\mailroot\\Drop"));
    server->SetInfo();
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = (std::filesystem::temp_directory_path() / "vrel-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    ::setenv("VREL_MACHINE", folder.c_str(), 1);
    PrepareMachine();
    win::Db holder = win::OpenMachineDb();
    holder.Exec("SELECT 1 FROM reg_key LIMIT 1");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
