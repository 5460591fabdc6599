// Fuzz target: arbitrary bytes as an arrival sink request (what the agent decodes) and as its
// reply (what the SMTP service applies to its envelope).
//
// A request that decodes must encode back to the same bytes; a reply may change only the
// values of the caller's own writable fields, never their names, count or marks other than
// updated.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/cdo_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::string fileName;
    win::Envelope envelope;
    std::int32_t eventStatus = 0;
    if (win::DecodeOnArrivalRequest(bytes, fileName, envelope, eventStatus) &&
        win::EncodeOnArrivalRequest(fileName, envelope, eventStatus) != bytes) {
        std::abort();
    }

    win::Envelope mine = win::MakeSmtpEnvelope("SMTP:a@x.test;", "s@x.test", "10.0.0.1");
    mine.Find("clientipaddress")->writable = false;
    const win::Envelope before = mine;
    if (win::ApplyOnArrivalReply(bytes, mine, eventStatus)) {
        if (mine.fields.size() != before.fields.size()) std::abort();
        for (std::size_t i = 0; i < mine.fields.size(); ++i) {
            const win::EnvelopeField& now = mine.fields[i];
            const win::EnvelopeField& was = before.fields[i];
            if (now.name != was.name || now.readable != was.readable ||
                now.writable != was.writable) {
                std::abort();
            }
            if (!was.writable && now.value != was.value) std::abort();
        }
    }
    return 0;
}
