// Fuzz target: arbitrary pickup-folder files through the SMTP service stand-in's reader.
// What the queue relies on is checked: every address is a plain one of at most 256 bytes
// with "@" inside and no blank or control character, and the stored text is the file with
// lines taken out, never more.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pickup.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckAddress(const std::string& address) {
    Check(!address.empty() && address.size() <= 256);
    const std::size_t at = address.rfind('@');
    Check(at != std::string::npos && at > 0 && at + 1 < address.size());
    for (const unsigned char c : address) Check(c > ' ' && c != 127);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    smtpsvc::PickupMessage message;
    const bool taken = smtpsvc::ParsePickupFile(text, message);
    Check(taken == !message.recipients.empty());
    for (const std::string& recipient : message.recipients) CheckAddress(recipient);
    if (!message.sender.empty()) CheckAddress(message.sender);
    Check(message.content.size() <= size);
    for (const std::string& address : smtpsvc::AddressesOf(text)) CheckAddress(address);
    return 0;
}
