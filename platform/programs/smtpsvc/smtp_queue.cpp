#include "smtp_queue.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/com_wire.h"
#include "platform/fs.h"

namespace smtpsvc {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kMagic = "VRELQ1";
constexpr std::string_view kMessageExtension = ".eml";
constexpr std::string_view kEnvelopeExtension = ".env";

enum ValueKind : std::uint8_t { kEmpty = 0, kNull = 1, kInteger = 2, kText = 3, kBytes = 4 };

void WriteValue(win::WireWriter& out, const win::VARIANT& value) {
    switch (value.vt()) {
        case win::VT_NULL:
            out.U8(kNull);
            break;
        case win::VT_I4:
            out.U8(kInteger).I32(value.lVal());
            break;
        case win::VT_BSTR:
            out.U8(kText).Text(value.bstrVal());
            break;
        case win::VT_ARRAY | win::VT_UI1:
            out.U8(kBytes).Text(std::string(value.bytes().begin(), value.bytes().end()));
            break;
        default:
            out.U8(kEmpty);
    }
}

bool ReadValue(win::WireReader& in, win::VARIANT& value) {
    std::uint8_t kind = 0;
    if (!in.U8(kind)) return false;
    std::int32_t number = 0;
    std::string text;
    switch (kind) {
        case kEmpty:
            value = win::VARIANT();
            return true;
        case kNull:
            value = win::VARIANT::Null();
            return true;
        case kInteger:
            if (!in.I32(number)) return false;
            value = win::VARIANT(number);
            return true;
        case kText:
            if (!in.Text(text)) return false;
            value = win::VARIANT(std::move(text));
            return true;
        case kBytes:
            if (!in.Text(text)) return false;
            value = win::VARIANT(win::VARIANT::Bytes(text.begin(), text.end()));
            return true;
        default:
            return false;
    }
}

std::string EncodeEntry(const QueueEntry& entry) {
    win::WireWriter out;
    out.Text(kMagic).U8(static_cast<std::uint8_t>(entry.state));
    out.U32(static_cast<std::uint32_t>(entry.envelope.fields.size()));
    for (const win::EnvelopeField& field : entry.envelope.fields) {
        out.Text(field.name);
        WriteValue(out, field.value);
    }
    out.U32(static_cast<std::uint32_t>(entry.sinksDone.size()));
    for (const std::string& binding : entry.sinksDone) out.Text(binding);
    return out.Take();
}

bool DecodeEntry(std::string_view bytes, QueueEntry& entry) {
    win::WireReader in(bytes);
    std::string magic;
    std::uint8_t state = 0;
    std::uint32_t count = 0;
    if (!in.Text(magic) || magic != kMagic || !in.U8(state) || state > 1 || !in.U32(count)) {
        return false;
    }
    entry.state = static_cast<QueueState>(state);
    entry.envelope = win::Envelope();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name;
        win::VARIANT value;
        if (!in.Text(name) || !ReadValue(in, value)) return false;
        entry.envelope.Set(name, std::move(value));
    }
    entry.sinksDone.clear();
    if (!in.U32(count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string binding;
        if (!in.Text(binding)) return false;
        entry.sinksDone.push_back(std::move(binding));
    }
    return in.AtEnd();
}

}  // namespace

std::string NewMessageId() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    char id[48];
    std::snprintf(
        id, sizeof id, "%013lld%08X%04X",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()),
        static_cast<unsigned>(::getpid()), counter++ & 0xFFFFu);
    return id;
}

MessageQueue::MessageQueue(fs::path folder) : folder_(std::move(folder)) {}

fs::path MessageQueue::MessageFile(std::string_view id) const {
    return folder_ / (std::string(id) + std::string(kMessageExtension));
}

fs::path MessageQueue::EnvelopeFile(std::string_view id) const {
    return folder_ / (std::string(id) + std::string(kEnvelopeExtension));
}

NewQueueMessage::NewQueueMessage(const MessageQueue& queue, std::string id)
    : queue_(queue), id_(std::move(id)), text_(queue.MessageFile(id_)) {}

bool NewQueueMessage::Append(std::string_view text) {
    return text_.Write(text);
}

bool NewQueueMessage::Commit(const win::Envelope& envelope) {
    if (text_.Place(win::Existing::Replace) != win::DurableWrite::Written) return false;
    QueueEntry entry;
    entry.id = id_;
    entry.envelope = envelope;
    // The envelope's folder sync makes the text's placing last too.
    if (queue_.Save(entry)) return true;
    queue_.Remove(id_);
    return false;
}

std::unique_ptr<NewQueueMessage> MessageQueue::NewMessage() const {
    auto message = std::make_unique<NewQueueMessage>(*this, NewMessageId());
    if (message->IsOpen()) return message;
    // The folder went away while the service ran.
    std::error_code error;
    fs::create_directories(folder_, error);
    message = std::make_unique<NewQueueMessage>(*this, NewMessageId());
    return message->IsOpen() ? std::move(message) : nullptr;
}

bool MessageQueue::Load(std::string_view id, QueueEntry& entry) const {
    std::ifstream in(EnvelopeFile(id), std::ios::binary);
    if (!in) return false;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    entry.id.assign(id);
    return DecodeEntry(bytes, entry);
}

bool MessageQueue::Save(const QueueEntry& entry) const {
    return win::WriteFileDurably(EnvelopeFile(entry.id), EncodeEntry(entry));
}

void MessageQueue::Remove(std::string_view id) const {
    std::error_code error;
    fs::remove(EnvelopeFile(id), error);
    fs::remove(MessageFile(id), error);
}

std::vector<std::string> MessageQueue::Recover() const {
    std::vector<std::string> arrived;
    std::vector<fs::path> leftovers;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder_, error)) {
        const fs::path& path = item.path();
        const std::string name = path.filename().string();
        const std::string id = path.stem().string();
        if (name.starts_with(".")) {
            leftovers.push_back(path);
        } else if (path.extension() == kMessageExtension && !fs::exists(EnvelopeFile(id))) {
            leftovers.push_back(path);
        } else if (path.extension() == kEnvelopeExtension && !fs::exists(MessageFile(id))) {
            leftovers.push_back(path);
        } else if (path.extension() == kEnvelopeExtension) {
            QueueEntry entry;
            if (Load(id, entry) && entry.state == QueueState::Arrived) arrived.push_back(id);
        }
    }
    for (const fs::path& leftover : leftovers) fs::remove(leftover, error);
    std::sort(arrived.begin(), arrived.end());
    return arrived;
}

}  // namespace smtpsvc
