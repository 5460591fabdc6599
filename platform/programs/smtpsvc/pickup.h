// The pickup folder of the SMTP service stand-in (PickupDirectory): files of RFC 5322 text
// that local programs drop there (CDO's Send among them). The envelope comes from the
// header section: the recipients are the addresses of the "x-receiver:" lines when there
// are any, else those of To, Cc and Bcc; the sender is the first "x-sender:" line that
// holds an address or "<>" (the null reverse-path of a delivery notice, an empty sender),
// else the first address of From. The "x-sender:" and "x-receiver:" lines are removed from
// the stored message, and so are Bcc lines, which would show every blind copy's address
// to all recipients.
//
// A writer creates the file under a temporary name and renames it when complete, so the
// scan takes only names that cannot be temporary: none beginning with ".", none of the
// form "TMP*.$$$", none ending in ".tmp".
//
// The files are untrusted text: any bytes, any line ends, folded lines; the parse reads
// only inside the text and takes addresses only of a plain form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace smtpsvc {

struct PickupMessage {
    std::string sender;  // empty for the null reverse-path
    std::vector<std::string> recipients;
    std::string content;  // the file without the envelope and Bcc lines
};

// False when the file names no recipient.
bool ParsePickupFile(std::string_view text, PickupMessage& message);

// The addresses of an address-list header value ("A <a@x>, b@y (c), \"Q, R\" <c@z>"):
// display names, comments and group names dropped, only addresses with a local part and
// a domain kept.
std::vector<std::string> AddressesOf(std::string_view value);

// True for a name a writer has finished with.
bool IsCompletePickupName(std::string_view name);

}  // namespace smtpsvc
