// The arrival sink call by value; see cdo_wire.h.
#include "platform/cdo_wire.h"

#include "platform/com_wire.h"

namespace win {
namespace {

enum FieldFlags : std::uint8_t {
    kReadable = 1,
    kWritable = 2,
    kUpdated = 4,
    kAllFlags = kReadable | kWritable | kUpdated,
};

void WriteValue(WireWriter& writer, const VARIANT& value) {
    const std::uint16_t vt = value.vt();
    writer.U32(vt);
    if (vt == VT_I4) {
        writer.I32(value.lVal());
    } else if (vt == VT_BSTR) {
        writer.Text(value.bstrVal());
    } else if (vt == (VT_ARRAY | VT_UI1)) {
        const VARIANT::Bytes& bytes = value.bytes();
        writer.Text(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
}

bool ReadValue(WireReader& reader, VARIANT& value) {
    std::uint32_t vt = 0;
    if (!reader.U32(vt)) return false;
    switch (vt) {
        case VT_EMPTY:
            value = VARIANT();
            return true;
        case VT_NULL:
            value = VARIANT::Null();
            return true;
        case VT_I4: {
            std::int32_t number = 0;
            if (!reader.I32(number)) return false;
            value = VARIANT(number);
            return true;
        }
        case VT_BSTR: {
            std::string text;
            if (!reader.Text(text)) return false;
            value = VARIANT(std::move(text));
            return true;
        }
        case VT_ARRAY | VT_UI1: {
            std::string bytes;
            if (!reader.Text(bytes)) return false;
            value = VARIANT(VARIANT::Bytes(bytes.begin(), bytes.end()));
            return true;
        }
        default:
            return false;
    }
}

void WriteFields(WireWriter& writer, const Envelope& envelope) {
    writer.U32(static_cast<std::uint32_t>(envelope.fields.size()));
    for (const EnvelopeField& field : envelope.fields) {
        writer.Text(field.name);
        WriteValue(writer, field.value);
        writer.U8(static_cast<std::uint8_t>((field.readable ? kReadable : 0) |
                                            (field.writable ? kWritable : 0) |
                                            (field.updated ? kUpdated : 0)));
    }
}

// Fields are read one by one, never reserved by the count, so a forged count cannot make
// the reader allocate more than the bytes it was given.
bool ReadFields(WireReader& reader, Envelope& envelope) {
    std::uint32_t count = 0;
    if (!reader.U32(count)) return false;
    envelope.fields.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        EnvelopeField field;
        std::uint8_t flags = 0;
        if (!reader.Text(field.name) || !ReadValue(reader, field.value) || !reader.U8(flags) ||
            (flags & ~kAllFlags) != 0) {
            return false;
        }
        field.readable = flags & kReadable;
        field.writable = flags & kWritable;
        field.updated = flags & kUpdated;
        envelope.fields.push_back(std::move(field));
    }
    return true;
}

// Takes the new values the sink committed, for the caller's own writable fields only.
void ApplyUpdates(const Envelope& after, Envelope& envelope) {
    for (const EnvelopeField& changed : after.fields) {
        if (!changed.updated) continue;
        EnvelopeField* field = envelope.Find(changed.name);
        if (!field || !field->writable) continue;
        field->value = changed.value;
        field->updated = true;
    }
}

}  // namespace

std::string EncodeOnArrivalRequest(std::string_view fileName, const Envelope& envelope,
                                   std::int32_t eventStatus) {
    WireWriter writer;
    writer.Text(fileName).I32(eventStatus).U8(static_cast<std::uint8_t>(envelope.access));
    WriteFields(writer, envelope);
    return writer.Take();
}

bool DecodeOnArrivalRequest(std::string_view bytes, std::string& fileName, Envelope& envelope,
                            std::int32_t& eventStatus) {
    WireReader reader(bytes);
    std::uint8_t access = 0;
    if (!reader.Text(fileName) || !reader.I32(eventStatus) || !reader.U8(access) ||
        access > static_cast<std::uint8_t>(EnvelopeAccess::Empty)) {
        return false;
    }
    envelope.access = static_cast<EnvelopeAccess>(access);
    return ReadFields(reader, envelope) && reader.AtEnd();
}

std::string EncodeOnArrivalReply(const Envelope& envelope, std::int32_t eventStatus) {
    WireWriter writer;
    writer.I32(eventStatus);
    WriteFields(writer, envelope);
    return writer.Take();
}

bool ApplyOnArrivalReply(std::string_view reply, Envelope& envelope, std::int32_t& eventStatus) {
    WireReader reader(reply);
    Envelope after;
    std::int32_t status = 0;
    if (!reader.I32(status) || !ReadFields(reader, after) || !reader.AtEnd()) return false;
    ApplyUpdates(after, envelope);
    eventStatus = status;
    return true;
}

HRESULT CallOnArrival(ComProxy& sink, std::string_view fileName, Envelope& envelope,
                      std::int32_t& eventStatus) {
    std::string reply;
    const HRESULT hr =
        sink.Call(kOnArrivalMethod, EncodeOnArrivalRequest(fileName, envelope, eventStatus), reply);
    if (reply.empty()) return hr;  // no answer of the sink: a transport or request failure
    return ApplyOnArrivalReply(reply, envelope, eventStatus) ? hr : RPC_S_CALL_FAILED;
}

HRESULT ServeOnArrival(std::string_view request, std::string& reply, const OnArrivalSink& sink) {
    std::string fileName;
    Envelope envelope;
    std::int32_t eventStatus = 0;
    if (!DecodeOnArrivalRequest(request, fileName, envelope, eventStatus)) return E_INVALIDARG;
    const std::shared_ptr<IMessage> message = OpenMessage(fileName, std::move(envelope));
    const HRESULT hr = sink(message, &eventStatus);
    reply = EncodeOnArrivalReply(message->GetEnvelope(), eventStatus);
    return hr;
}

}  // namespace win
