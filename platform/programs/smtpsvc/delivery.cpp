#include "delivery.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace smtpsvc {
namespace {

constexpr std::string_view kEntryPrefix = "SMTP:";

bool Done(const QueueEntry& entry, const std::string& binding) {
    return std::any_of(entry.sinksDone.begin(), entry.sinksDone.end(),
                       [&](const std::string& done) { return win::SameText(done, binding); });
}

std::string FieldText(const win::Envelope& envelope, std::string_view name) {
    const win::EnvelopeField* field = envelope.Find(name);
    if (!field) return std::string();
    return win::VariantToText(field->value).value_or(std::string());
}

bool AbortDelivery(const win::Envelope& envelope) {
    return FieldText(envelope, "messagestatus") == std::to_string(win::cdoStatAbortDelivery);
}

// An address fit for a header line and a file: no blanks, no control characters.
bool SafeAddress(std::string_view address) {
    return !address.empty() && address.size() <= kMaxPath &&
           std::none_of(address.begin(), address.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 127; });
}

std::string HeaderSafe(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < ' ' || c == 127) c = ' ';
    }
    return text;
}

// The sinks' part; false when the message must wait for a retry.
bool RunSinks(const MessageQueue& queue, QueueEntry& entry,
              const std::vector<SinkBinding>& bindings, const SinkCaller& call) {
    const std::string messageFile = win::ToWindowsPath(queue.MessageFile(entry.id));
    for (const SinkBinding& binding : bindings) {
        if (Done(entry, binding.id)) continue;
        win::Envelope envelope = entry.envelope;
        std::int32_t eventStatus = win::cdoRunNextSink;
        const win::HRESULT hr = call(binding, messageFile, envelope, eventStatus);
        if (IsTransientFailure(hr)) return false;
        entry.envelope = std::move(envelope);
        entry.sinksDone.push_back(binding.id);
        if (!queue.Save(entry)) return false;
        if (eventStatus == win::cdoSkipRemainingSinks) break;
    }
    return true;
}

bool WriteDropCopies(const std::string& id, const std::string& sender,
                     const std::vector<std::string>& local, std::string_view message,
                     const std::string& dropDirectory) {
    if (local.empty()) return true;
    if (dropDirectory.empty() || !win::ForceDirectories(dropDirectory)) return false;
    const std::filesystem::path folder = win::ToHostPath(dropDirectory);
    for (std::size_t n = 0; n < local.size(); ++n) {
        const std::string copy = "x-sender: " + HeaderSafe(sender) + "\r\nx-receiver: " + local[n] +
                                 "\r\n" + std::string(message);
        if (!win::WriteFileDurably(folder / (id + "-" + std::to_string(n + 1) + ".eml"), copy)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsTransientFailure(win::HRESULT hr) {
    return hr == win::RPC_S_CALL_FAILED || hr == win::RPC_E_DISCONNECTED ||
           hr == win::RPC_E_TIMEOUT || hr == win::CO_E_SERVER_EXEC_FAILURE ||
           hr == win::CO_E_SERVER_STOPPING ||
           hr == win::HRESULT_FROM_WIN32(win::RPC_S_SERVER_UNAVAILABLE);
}

std::vector<std::string> RecipientsOf(std::string_view list) {
    std::vector<std::string> recipients;
    for (std::size_t at = list.find(kEntryPrefix); at != std::string_view::npos;
         at = list.find(kEntryPrefix, at)) {
        at += kEntryPrefix.size();
        const std::size_t end = std::min(list.find(';', at), list.size());
        recipients.emplace_back(list.substr(at, end - at));
        at = end;
    }
    return recipients;
}

std::string RecipientListOf(const std::vector<std::string>& recipients) {
    std::string list;
    for (const std::string& recipient : recipients) {
        list += std::string(kEntryPrefix) + recipient + ";";
    }
    return list;
}

DeliveryResult DeliverMessage(const MessageQueue& queue, const std::string& id,
                              const std::vector<SinkBinding>& bindings, const SinkCaller& call,
                              const ServerConfig& config) {
    QueueEntry entry;
    if (!queue.Load(id, entry) || entry.state != QueueState::Arrived) {
        return DeliveryResult::Finished;
    }
    if (!RunSinks(queue, entry, bindings, call)) return DeliveryResult::Retry;
    if (AbortDelivery(entry.envelope)) {
        queue.Remove(id);
        return DeliveryResult::Finished;
    }
    std::vector<std::string> local;
    std::vector<std::string> remote;
    for (std::string& recipient : RecipientsOf(FieldText(entry.envelope, "recipientlist"))) {
        if (!SafeAddress(recipient)) continue;
        (IsLocalDomain(DomainOf(recipient)) ? local : remote).push_back(std::move(recipient));
    }
    std::ifstream in(queue.MessageFile(id), std::ios::binary);
    if (!in) return DeliveryResult::Retry;
    const std::string message{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!WriteDropCopies(id, FieldText(entry.envelope, "senderemailaddress"), local, message,
                         config.dropDirectory)) {
        return DeliveryResult::Retry;
    }
    if (remote.empty()) {
        queue.Remove(id);
        return DeliveryResult::Finished;
    }
    entry.state = QueueState::Remote;
    entry.envelope.Set("recipientlist", win::VARIANT(RecipientListOf(remote)));
    return queue.Save(entry) ? DeliveryResult::Finished : DeliveryResult::Retry;
}

}  // namespace smtpsvc
