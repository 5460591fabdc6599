// Cost of storing one arriving message for ten local mail users: the arrival sink against
// writing the same ten files with plain file calls (open, read, write, close per copy), and
// the store alone (CopyToFolder ten times). The sink's extra cost is its lookups (settings,
// metabase, mail users group, aliases, read afresh per recipient) and the counters; the
// store's is the folder lookup and the safe naming and renaming of each file. The store into
// a mailbox of 10,000 messages against an empty one shows what a large folder costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "agent/message_agent.h"
#include "agent/message_file.h"
#include "bench_machine.h"
#include "common/settings_key.h"
#include "common/system_module.h"
#include "platform/accounts.h"
#include "platform/cdo.h"
#include "platform/fs.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;
namespace value = vrel::settings_value;

constexpr int kRecipients = 10;
constexpr const char* kMessage = "C:\\Inetpub\\mailroot\\Queue\\arrived.eml";

std::string UserName(int i) {
    return "user" + std::to_string(i);
}

void CreateNode(const std::string& parent, const char* className, const char* name,
                const char* property = nullptr, const char* text = nullptr) {
    std::shared_ptr<win::IIsObject> container, node;
    win::ADsGetObject("IIS://localhost" + parent, container);
    container->Create(className, name, node);
    if (property) node->Put(property, win::VARIANT(text));
    node->SetInfo();
}

void PrepareMachine() {
    vrel::SystemModule = std::make_unique<vrel::TSystemModule>();
    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, true);
    registry.WriteString(value::MailInBoxDir, "C:\\Mail");
    win::AccountDirectory directory;
    const win::Authority host = *directory.FindAuthority(directory.ComputerName());
    const win::Account users = *directory.FindAccount(host, "Users");
    for (int i = 0; i < kRecipients; ++i) {
        directory.AddUser(host, UserName(i), "");
        directory.AddMember(users, *directory.FindAccount(host, UserName(i)));
    }
    CreateNode("", "IIsSmtpService", "smtpsvc");
    CreateNode("/smtpsvc", "IIsSmtpServer", "1", "DefaultDomain", "mail.test");
    CreateNode("/smtpsvc/1", "IIsSmtpDomain", "Domain");
    fs::create_directories(win::ToHostPath("C:\\Inetpub\\mailroot\\Queue"));
    std::string content = "From: a@remote.test\r\nTo: list@mail.test\r\nSubject: x\r\n\r\n";
    while (content.size() < 100 * 1024) content += std::string(76, 'x') + "\r\n";
    std::ofstream(win::ToHostPath(kMessage), std::ios::binary) << content;
}

void EmptyMailboxes(benchmark::State& state) {
    state.PauseTiming();
    for (const auto& folder : fs::directory_iterator(win::ToHostPath("C:\\Mail"))) {
        for (const auto& file : fs::directory_iterator(folder)) fs::remove(file);
    }
    state.ResumeTiming();
}

void SetSwitches(bool on) {
    win::TRegistry registry;
    registry.OpenKey(vrel::kSettingsKey, true);
    for (const auto name : {value::CountConnections, value::CountMessages, value::LoggingEnabled}) {
        registry.WriteBool(name, on);
    }
}

void BM_OnArrival(benchmark::State& state) {
    SetSwitches(state.range(0) != 0);
    std::string recipients;
    for (int i = 0; i < kRecipients; ++i) recipients += "SMTP:" + UserName(i) + "@mail.test;";
    vrel::TMessageAgentImpl agent;
    for (auto _ : state) {
        std::int32_t eventStatus = 0;
        agent.OnArrival(
            win::OpenMessage(kMessage, win::MakeSmtpEnvelope(recipients, "a@remote.test", "")),
            &eventStatus);
        EmptyMailboxes(state);
    }
    state.SetBytesProcessed(state.iterations() * kRecipients * 100 * 1024);
}
BENCHMARK(BM_OnArrival)->ArgName("counters_and_log")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The store alone: the ten copies without the sink's recipient lookups.
void BM_CopyToFolder(benchmark::State& state) {
    SetSwitches(false);
    const auto message = win::OpenMessage(kMessage, win::Envelope{});
    for (auto _ : state) {
        for (int i = 0; i < kRecipients; ++i) {
            vrel::CopyToFolder(UserName(i) + "@mail.test", message);
        }
        EmptyMailboxes(state);
    }
    state.SetBytesProcessed(state.iterations() * kRecipients * 100 * 1024);
}
BENCHMARK(BM_CopyToFolder)->Unit(benchmark::kMicrosecond);

// One user's mailbox holding `messages` older messages and nothing else.
fs::path MailboxOf(std::int64_t messages) {
    win::ForceDirectories("C:\\Mail\\" + UserName(0));
    const fs::path folder = win::ToHostPath("C:\\Mail\\" + UserName(0));
    for (const auto& file : fs::directory_iterator(folder)) fs::remove(file);
    for (std::int64_t i = 0; i < messages; ++i) {
        std::ofstream(folder / ("old" + std::to_string(i) + ".eml")) << "x";
    }
    return folder;
}

void RemoveNewMessages(benchmark::State& state, const fs::path& folder) {
    state.PauseTiming();
    for (const auto& file : fs::directory_iterator(folder)) {
        if (!file.path().filename().string().starts_with("old")) fs::remove(file);
    }
    state.ResumeTiming();
}

// The store into one mailbox that already holds the given number of messages: each new name
// is checked against every entry ignoring case, which must not cost a read of the folder.
void BM_CopyToMailboxOf(benchmark::State& state) {
    SetSwitches(false);
    const fs::path folder = MailboxOf(state.range(0));
    const auto message = win::OpenMessage(kMessage, win::Envelope{});
    for (auto _ : state) {
        vrel::CopyToFolder(UserName(0) + "@mail.test", message);
        RemoveNewMessages(state, folder);
    }
    state.SetBytesProcessed(state.iterations() * 100 * 1024);
}
BENCHMARK(BM_CopyToMailboxOf)
    ->ArgName("messages")
    ->Arg(0)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);

// What the file system alone costs for the same durable store: a new file written and synced,
// renamed to its name, the folder synced. A large folder costs the file system more too.
void BM_PlainDurableStoreIntoMailboxOf(benchmark::State& state) {
    const fs::path folder = MailboxOf(state.range(0));
    std::ifstream in(win::ToHostPath(kMessage), std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    int n = 0;
    for (auto _ : state) {
        const fs::path temporary = folder / ".new.tmp";
        const fs::path final = folder / ("new" + std::to_string(++n) + ".eml");
        const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        benchmark::DoNotOptimize(::write(out, content.data(), content.size()));
        ::fsync(out);
        ::close(out);
        ::rename(temporary.c_str(), final.c_str());
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        ::fsync(dir);
        ::close(dir);
        RemoveNewMessages(state, folder);
    }
    state.SetBytesProcessed(state.iterations() * 100 * 1024);
}
BENCHMARK(BM_PlainDurableStoreIntoMailboxOf)
    ->ArgName("messages")
    ->Arg(0)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);

void BM_PlainFileCopies(benchmark::State& state) {
    const fs::path source = win::ToHostPath(kMessage);
    std::array<fs::path, kRecipients> targets;
    for (int i = 0; i < kRecipients; ++i) {
        const fs::path folder = win::ToHostPath("C:\\Mail") / UserName(i);
        fs::create_directories(folder);
        targets[i] = folder / "copy.eml";
    }
    std::array<char, 1 << 16> buffer;
    for (auto _ : state) {
        for (const fs::path& target : targets) {
            const int in = ::open(source.c_str(), O_RDONLY);
            const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
                benchmark::DoNotOptimize(::write(out, buffer.data(), static_cast<size_t>(n)));
            }
            ::close(out);
            ::close(in);
        }
        EmptyMailboxes(state);
    }
    state.SetBytesProcessed(state.iterations() * kRecipients * 100 * 1024);
}
BENCHMARK(BM_PlainFileCopies)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return vrel::bench::RunOnOwnMachine(argc, argv, PrepareMachine);
}
