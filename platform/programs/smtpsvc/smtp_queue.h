// The SMTP service's queue folder (QueueDirectory): each message the service has taken is
// two files there, "<id>.eml" with the message text exactly as the sinks read it, and
// "<id>.env" with its envelope and the state of its delivery. The text is written to a
// hidden temporary file as it arrives; at the commit it is synced and named, the envelope
// is written, synced and named after it, and one sync of the folder makes both names last.
// A message is acknowledged to a client only then. A crash before that leaves leftovers
// that Recover removes: temporary files, a text without an envelope, an envelope without
// its text (never acknowledged, as the text is named first and removed last).
//
// A message whose remaining recipients belong to other domains stays in the folder in the
// state Remote: this host delivers to no other host.
//
// Called by the listener's sessions, the pickup scan and the delivery thread of smtpsvc.
// The envelope file is the service's own; Load still checks every length it reads.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cdo.h"
#include "platform/fs.h"

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

class MessageQueue;

// A message being added: its text goes to the queue folder as it comes. Dropped without a
// commit, it leaves nothing there.
class NewQueueMessage {
  public:
    NewQueueMessage(const MessageQueue& queue, std::string id);
    const std::string& Id() const { return id_; }
    bool IsOpen() const { return text_.IsOpen(); }
    bool Append(std::string_view text);
    // Stores the envelope (state Arrived) beside the text; true once both are durable.
    bool Commit(const win::Envelope& envelope);

  private:
    const MessageQueue& queue_;
    std::string id_;
    win::DurableFile text_;
};

class MessageQueue {
  public:
    explicit MessageQueue(std::filesystem::path folder);

    // A new message; null when its file cannot be made.
    std::unique_ptr<NewQueueMessage> NewMessage() const;
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
