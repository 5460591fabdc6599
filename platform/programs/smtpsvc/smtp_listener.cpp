#include "smtp_listener.h"

#include <sys/socket.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/eventlog.h"
#include "server_config.h"
#include "smtp_session.h"

namespace smtpsvc {
namespace {

// A message of a session, written to the queue folder as it arrives.
class QueuedText : public MessageText {
  public:
    QueuedText(QueueWorker& worker, std::unique_ptr<NewQueueMessage> message)
        : worker_(worker), message_(std::move(message)) {}
    bool Append(std::string_view text) override { return message_->Append(text); }
    bool Commit(const ReceivedMessage& message) override {
        return worker_.Commit(*message_, win::MakeSmtpEnvelope(RecipientListOf(message.recipients),
                                                               message.sender, message.clientIp));
    }

  private:
    QueueWorker& worker_;
    std::unique_ptr<NewQueueMessage> message_;
};

class QueueHost : public SessionHost {
  public:
    explicit QueueHost(QueueWorker& worker) : worker_(worker) {}
    bool IsLocalDomain(std::string_view domain) override { return smtpsvc::IsLocalDomain(domain); }
    std::unique_ptr<MessageText> BeginMessage() override {
        std::unique_ptr<NewQueueMessage> message = worker_.NewMessage();
        if (!message) return nullptr;
        return std::make_unique<QueuedText>(worker_, std::move(message));
    }

  private:
    QueueWorker& worker_;
};

class TSmtpClientThread : public win::TServerClientThread {
  public:
    TSmtpClientThread(std::unique_ptr<win::TServerClientWinSocket> socket, QueueWorker& worker,
                      SessionCount& sessions)
        : TServerClientThread(std::move(socket)), host_(worker), sessions_(sessions) {}

  protected:
    void ClientExecute() override {
        win::TServerClientWinSocket& socket = *ClientSocket();
        win::TWinSocketStream stream(socket, kWriteTimeout);
        SessionSlot slot{socket.RemoteAddress(), socket.SocketHandle()};
        if (!sessions_.Enter(slot)) {
            stream.Write("421 4.3.2 Too many connections, try again later\r\n");
        } else {
            // Counted for the whole session, also when a receive error ends it.
            struct Leave {
                SessionCount& sessions;
                SessionSlot& slot;
                ~Leave() { sessions.Leave(slot); }
            } leave{sessions_, slot};
            Converse(stream, slot);
        }
        socket.Close();
    }

  private:
    void Converse(win::TWinSocketStream& stream, SessionSlot& slot) {
        const ServerConfig config = ReadServerConfig();
        SmtpSession session(host_, ServerName(config), slot.address,
                            IsLoopbackAddress(slot.address), config.limits);
        stream.Write(session.Greeting());
        std::uint32_t since = win::GetTickCount();  // the last reply
        char buffer[4096];
        while (!session.Closed() && !Terminated()) {
            // The command time-out shortens when stress begins: the wait is looked at anew
            // at least that often.
            const std::uint32_t limit =
                session.InData() ? kDataTimeout : sessions_.CommandTimeout();
            const std::uint32_t spent = win::GetTickCount() - since;
            if (spent >= limit) {
                stream.Write(session.TimedOut());
                break;
            }
            // Only a session outside a transaction may be shed, so only its waits are told.
            const bool idle = !session.InTransaction();
            if (idle) sessions_.Waiting(slot, since);
            const bool ready = stream.WaitForData(std::min(limit - spent, kStressCommandTimeout));
            if (idle && !sessions_.Woken(slot)) {
                stream.Write(session.TimedOut());
                break;
            }
            if (!ready) continue;
            const std::size_t received = stream.Read(buffer, sizeof buffer);
            if (received == 0) break;
            const std::string replies = session.Receive(std::string_view(buffer, received));
            if (replies.empty()) continue;
            stream.Write(replies);
            since = win::GetTickCount();
        }
    }

    QueueHost host_;
    SessionCount& sessions_;
};

}  // namespace

bool SessionCount::Enter(SessionSlot& slot) {
    std::lock_guard lock(mutex_);
    int& fromClient = perClient_[slot.address];
    if (fromClient >= kMaxSessionsPerClient || (total_ >= kMaxSessions && !ShedOne())) {
        if (fromClient == 0) perClient_.erase(slot.address);
        return false;
    }
    ++total_;
    ++fromClient;
    slots_.push_back(&slot);
    return true;
}

// The shed session is uncounted at once, so its place is the new client's; shutting its
// reading side wakes its thread, which says its last reply and ends.
bool SessionCount::ShedOne() {
    const std::uint32_t now = win::GetTickCount();
    SessionSlot* shed = nullptr;
    const auto rank = [&](const SessionSlot* slot) {
        return std::pair(perClient_[slot->address], now - slot->idleSince);
    };
    for (SessionSlot* slot : slots_) {
        if (!slot->idle || slot->shed || now - slot->idleSince < kShedIdle) continue;
        if (!shed || rank(slot) > rank(shed)) shed = slot;
    }
    if (!shed) return false;
    shed->shed = true;
    --total_;
    --perClient_[shed->address];
    ::shutdown(shed->socket, SHUT_RD);
    return true;
}

void SessionCount::Leave(SessionSlot& slot) {
    std::lock_guard lock(mutex_);
    slots_.erase(std::find(slots_.begin(), slots_.end(), &slot));
    int& fromClient = perClient_[slot.address];
    if (!slot.shed) {
        --total_;
        --fromClient;
    }
    if (fromClient == 0) perClient_.erase(slot.address);
}

void SessionCount::Waiting(SessionSlot& slot, std::uint32_t since) {
    std::lock_guard lock(mutex_);
    slot.idle = true;
    slot.idleSince = since;
}

bool SessionCount::Woken(SessionSlot& slot) {
    std::lock_guard lock(mutex_);
    slot.idle = false;
    return !slot.shed;
}

std::uint32_t SessionCount::CommandTimeout() {
    std::lock_guard lock(mutex_);
    return total_ >= kStressSessions ? kStressCommandTimeout : kCommandTimeout;
}

bool IsLoopbackAddress(std::string_view address) {
    return address.starts_with("127.");
}

SmtpListener::SmtpListener(QueueWorker& worker) : worker_(worker) {
    socket_.Service = "smtp";
    socket_.Port = 25;
    socket_.OnGetThread = [this](std::unique_ptr<win::TServerClientWinSocket>& client,
                                 std::unique_ptr<win::TServerClientThread>& thread) {
        const std::string clientIp = client->RemoteAddress();
        auto session = std::make_unique<TSmtpClientThread>(std::move(client), worker_, sessions_);
        if (!session->Resume()) {
            // The session object closes the connection; the service serves the next client.
            win::ReportEvent("SMTPSVC", win::EVENTLOG_ERROR_TYPE, 0, 0,
                             "The SMTP service could not start a thread for the client " +
                                 clientIp + "; the connection is closed.");
            return;
        }
        thread = std::move(session);
    };
}

void SmtpListener::Open() {
    socket_.SetActive(true);
}

void SmtpListener::Close() {
    socket_.SetActive(false);
}

}  // namespace smtpsvc
