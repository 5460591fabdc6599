// MessageFile: one delivered copy of a message in a mailbox folder, named by the local time
// and a sequence number, and the store routine that bad-mail copies use too.
//
// Called by the arrival sink once per local recipient who is a mail user, on the agent's
// one thread. The content is the message's stream byte for byte; the agent never reads or
// parses it. A file appears under its ".eml" name only when complete and synced to disk
// (the stream's create-only save), and never takes the place of another. A copy that cannot
// be stored is reported to the caller, which leaves the recipient with the SMTP service.
#pragma once

#include <memory>
#include <string>

#include "platform/cdo.h"

namespace vrel {

// The file name without ".eml" for a sequence number, the local time read anew.
using StemMaker = std::string (*)(int sequence);

// "yymmddhhmmsszzz" of now followed by the sequence number as nine digits.
std::string MessageFileStem(int sequence);
// "yymmddsszzz" of now (no hour, no minute) followed by the sequence number as ten digits.
std::string BadMailFileStem(int sequence);

// Saves the stream into the folder under stem(n) + ".eml" for the smallest n from 1 whose
// name is free. True when the file is in place.
bool StoreMessageFile(const std::string& folder, StemMaker stem, win::Stream& stream);

// Stores one copy of the message in the mailbox folder of the address's user; false when
// the copy could not be stored.
bool CopyToFolder(const std::string& address, std::shared_ptr<win::IMessage> message);

}  // namespace vrel
