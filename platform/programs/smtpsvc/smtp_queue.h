// The SMTP service's queue folder (QueueDirectory): each message the service has taken is
// two files there, "<id>.eml" with the message text exactly as the sinks read it, and
// "<id>.env" with its envelope and the state of its delivery. The envelope file is written
// last, so it is the commit point: the message exists once "<id>.env" does, and a message
// is acknowledged to a client only then. Both files are synced, and the envelope appears
// by a rename, so a crash leaves either the complete message or leftovers that Recover
// removes.
//
// A message whose remaining recipients belong to other domains stays in the folder in the
// state Remote: this host delivers to no other host.
//
// Called by the listener's sessions, the pickup scan and the delivery thread of smtpsvc.
// The envelope file is the service's own; Load still checks every length it reads.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cdo.h"

namespace smtpsvc {

enum class QueueState : std::uint8_t {
    Arrived = 0,  // the arrival sinks and the delivery are still to come
    Remote = 1,   // only recipients of other domains are left; kept, never delivered here
};

struct QueueEntry {
    std::string id;
    QueueState state = QueueState::Arrived;
    win::Envelope envelope;
    // Bindings whose sink completed its call: a retry after a failure goes on after them.
    std::vector<std::string> sinksDone;
};

class MessageQueue {
  public:
    explicit MessageQueue(std::filesystem::path folder);

    // Stores a new message with its envelope (state Arrived); true once both are durable.
    bool Add(std::string_view content, const win::Envelope& envelope, std::string& id);
    bool Load(std::string_view id, QueueEntry& entry) const;
    // Replaces the envelope file of an entry in one step.
    bool Save(const QueueEntry& entry) const;
    // Removes the envelope first, so a crash in between leaves only a leftover.
    void Remove(std::string_view id) const;
    std::filesystem::path MessageFile(std::string_view id) const;
    // The entries in state Arrived, oldest first. Removes what a crash left: temporary files
    // and message texts without an envelope.
    std::vector<std::string> Recover() const;

  private:
    std::filesystem::path EnvelopeFile(std::string_view id) const;

    std::filesystem::path folder_;
};

// A name no other message of any process gets: time, process and a counter.
std::string NewMessageId();

}  // namespace smtpsvc
