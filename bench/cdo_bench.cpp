// Storing one arriving message for many recipients, as the agent does for each local
// mail user: one stream per recipient, saved create-or-overwrite into the user's folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/cdo.h"
#include "platform/paths.h"
#include "store/machine.h"

namespace {

namespace fs = std::filesystem;

void StoreToTenRecipients(benchmark::State& state) {
    std::string folder = (fs::temp_directory_path() / "vrel-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    ::setenv("VREL_MACHINE", folder.c_str(), 1);
    win::InitMachine();
    std::string message = "From: a@example.org\r\nTo: b@example.com\r\nSubject: bench\r\n\r\n";
    while (message.size() < 100 * 1024) message += std::string(76, 'x') + "\r\n";
    std::ofstream(win::ToHostPath("C:\\in.eml"), std::ios::binary) << message;
    for (int user = 0; user < 10; ++user) {
        fs::create_directories(win::ToHostPath("C:\\Mail\\user" + std::to_string(user)));
    }

    for (auto _ : state) {
        auto arriving = win::OpenMessage("C:\\in.eml", {});
        for (int user = 0; user < 10; ++user) {
            std::shared_ptr<win::Stream> stream;
            if (win::FAILED(arriving->GetStream(stream)) ||
                win::FAILED(stream->SaveToFile("C:\\Mail\\user" + std::to_string(user) + "\\m.eml",
                                               win::adSaveCreateOverWrite))) {
                state.SkipWithError("save failed");
                break;
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 10 *
                            static_cast<std::int64_t>(message.size()));
    fs::remove_all(folder);
}
BENCHMARK(StoreToTenRecipients)->Unit(benchmark::kMicrosecond);

}  // namespace
