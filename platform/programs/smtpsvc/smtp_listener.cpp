#include "smtp_listener.h"

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
        const std::string& clientIp = socket.RemoteAddress();
        if (!sessions_.Enter(clientIp)) {
            stream.Write("421 4.3.2 Too many connections, try again later\r\n");
        } else {
            // Counted for the whole session, also when a receive error ends it.
            struct Leave {
                SessionCount& sessions;
                const std::string& clientIp;
                ~Leave() { sessions.Leave(clientIp); }
            } leave{sessions_, clientIp};
            Converse(stream, clientIp);
        }
        socket.Close();
    }

  private:
    void Converse(win::TWinSocketStream& stream, const std::string& clientIp) {
        const ServerConfig config = ReadServerConfig();
        SmtpSession session(host_, ServerName(config), clientIp, IsLoopbackAddress(clientIp),
                            config.limits);
        stream.Write(session.Greeting());
        std::uint32_t since = win::GetTickCount();  // the last reply
        char buffer[4096];
        while (!session.Closed() && !Terminated()) {
            const std::uint32_t limit = session.InData() ? kDataTimeout : kCommandTimeout;
            const std::uint32_t spent = win::GetTickCount() - since;
            if (spent >= limit || !stream.WaitForData(limit - spent)) {
                stream.Write(session.TimedOut());
                break;
            }
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

bool SessionCount::Enter(const std::string& address) {
    std::lock_guard lock(mutex_);
    int& fromClient = perClient_[address];
    if (total_ >= kMaxSessions || fromClient >= kMaxSessionsPerClient) {
        if (fromClient == 0) perClient_.erase(address);
        return false;
    }
    ++total_;
    ++fromClient;
    return true;
}

void SessionCount::Leave(const std::string& address) {
    std::lock_guard lock(mutex_);
    --total_;
    if (--perClient_[address] == 0) perClient_.erase(address);
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
