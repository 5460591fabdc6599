// The forms of RFC 5321 that an envelope address must have (section 4.1.2): a mailbox is a
// dot-string or quoted local part, "@", and a domain name or an IPv4 or IPv6 address
// literal. Every text is untrusted client input.
//
// Stricter than the grammar in two places, because the queue's recipient list separates
// its entries with ";": a quoted local part may not hold ";", and the general address
// literal (a tag no standard has registered, whose content may hold ";") is refused.
#pragma once

#include <optional>
#include <string_view>

namespace smtpsvc {

bool IsDomain(std::string_view text);
bool IsMailbox(std::string_view text);
// The mailbox of a path's content between the angle brackets, a source route
// ("@one.test,@two.test:") dropped; nullopt when the route or the mailbox is malformed.
std::optional<std::string_view> PathMailbox(std::string_view path);

}  // namespace smtpsvc
