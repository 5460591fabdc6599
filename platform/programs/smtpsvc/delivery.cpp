#include "delivery.h"

#include <fcntl.h>

#include <algorithm>

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

// The sinks' part; false when the message must wait for a retry. What they did is kept in
// the entry only: the entry is saved when the message has to wait (Wait), not after each
// sink, as a crash before the delivery ends may call a sink again but lose nothing.
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
        if (eventStatus == win::cdoSkipRemainingSinks) break;
    }
    return true;
}

// Keeps what the sinks did for the retry, so the sinks that completed are not called again.
DeliveryResult Wait(const MessageQueue& queue, const QueueEntry& entry) {
    queue.Save(entry);
    return DeliveryResult::Retry;
}

// The copies are made one after the other and the folder synced once for them all. The drop
// folder is read only when there is a copy to make.
bool WriteDropCopies(const std::string& id, const std::string& sender,
                     const std::vector<std::string>& local, const std::filesystem::path& message) {
    if (local.empty()) return true;
    const std::string dropDirectory = ReadServerConfig().dropDirectory;
    if (dropDirectory.empty() || !win::ForceDirectories(dropDirectory)) return false;
    const win::FileHandle text(::open(message.c_str(), O_RDONLY | O_CLOEXEC));
    if (!text.IsOpen()) return false;
    const std::filesystem::path folder = win::ToHostPath(dropDirectory);
    const std::string senderLine = "x-sender: " + HeaderSafe(sender) + "\r\n";
    for (std::size_t n = 0; n < local.size(); ++n) {
        win::DurableFile copy(folder / (id + "-" + std::to_string(n + 1) + ".eml"));
        if (!copy.Write(senderLine + "x-receiver: " + local[n] + "\r\n") ||
            !win::CopyFileContent(text.Descriptor(), copy.Descriptor()) ||
            copy.Place(win::Existing::Replace) != win::DurableWrite::Written) {
            return false;
        }
    }
    return win::SyncFolder(folder);
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
                              const std::vector<SinkBinding>& bindings, const SinkCaller& call) {
    QueueEntry entry;
    if (!queue.Load(id, entry) || entry.state != QueueState::Arrived) {
        return DeliveryResult::Finished;
    }
    if (!RunSinks(queue, entry, bindings, call)) return Wait(queue, entry);
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
    if (!WriteDropCopies(id, FieldText(entry.envelope, "senderemailaddress"), local,
                         queue.MessageFile(id))) {
        return Wait(queue, entry);
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
