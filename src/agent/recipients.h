// Taking an envelope recipient list apart ("SMTP:" + address + ";" per recipient), the
// domain of an address, and the agent's own test of a local mail domain.
//
// Called by the arrival sink for every recipient and by the undeliverable handling for a
// notice's addressee. Addresses are network text: they are only scanned, never used as
// paths here. IsLocalDomain reads the SMTP service's metabase afresh at every call; a
// failing bind or read adds no match and is not reported.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// The address of the first "SMTP:" entry, which is removed from the list (through its ";",
// or to the end when none follows); the empty text, list unchanged, when there is none.
std::string NextRecipient(std::string& list);

// The text after the last "@" up to the first delimiter (blank, < > ! [ ] : % " LF CR TAB);
// empty without an "@". Case is kept.
std::string GetDomainFromAddress(std::string_view address);

// True when the domain, ignoring case, is the SMTP service's default domain or names any
// of its Domain nodes, whatever their route action.
bool IsLocalDomain(const std::string& domain);

}  // namespace vrel
