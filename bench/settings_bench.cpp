// Cost of one settings getter (open the store, read, close) and of one counter increment,
// on a machine of its own in a temporary folder.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_machine.h"
#include "common/settings_key.h"
#include "platform/metabase.h"
#include "platform/registry.h"

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
    return vrel::bench::RunOnOwnMachine(argc, argv, PrepareMachine);
}
