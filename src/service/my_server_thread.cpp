// The POP3 session thread (see my_server_thread.h): counting, the mail-account test, the
// mailbox lock, the transaction loop and the update on QUIT.
//
// Errors of the transaction loop (a socket error while sending, a message file that TOP
// cannot load) are not caught here: the lock is still removed and the connection closed on
// the way out, and the error goes on to the socket framework.
#include "service/my_server_thread.h"

#include "agent/daily_log.h"
#include "agent/mailbox.h"
#include "common/mail_users.h"
#include "common/settings_key.h"
#include "platform/eventlog.h"
#include "service/mailbox_lock.h"
#include "service/pop3_reply.h"
#include "service/session_log.h"
#include "service/vrel_p3_service.h"

namespace vrel {
namespace {

// The stream's time-out: how long a session waits on its client, in machine milliseconds.
constexpr std::uint32_t kStreamTimeOut = 600000;

// Told to a client whose address holds as many sessions as it may, or when the service
// holds as many as it may; the connection is closed after it.
constexpr std::string_view kTooManyConnections = "-ERR too many connections, try again later";

// A failed count is skipped; the session goes on.
void CountIfOn(std::string_view counter) {
    try {
        if (GetCountConnections()) IncrementCounter(counter);
    } catch (const std::exception&) {
    }
}

std::string MailboxGreeting(std::string_view userName, std::int32_t messageCount,
                            std::int64_t octetTotal) {
    return "+OK " + std::string(userName) + "'s mailbox has " + std::to_string(messageCount) +
           " message(s) (" + std::to_string(octetTotal) + " octets)";
}

std::string MessagesLeft(std::int32_t messageCount) {
    return "messages: " + std::to_string(messageCount) + "\r\n";
}

void Reset(MessageList& list, std::int32_t& messageCount, std::int64_t& octetTotal) {
    for (MsgRecord& record : list) {
        if (!record.deleted) continue;
        record.deleted = false;
        octetTotal += record.size;
        ++messageCount;
    }
}

}  // namespace

TMyServerThread::TMyServerThread(std::unique_ptr<win::TServerClientWinSocket> socket,
                                 ClientLimits& limits)
    : TServerClientThread(std::move(socket)), limits_(limits) {
    KeepInCache = true;
}

void TMyServerThread::CountConnections() {
    CountIfOn(settings_value::POP3Connections);
}

void TMyServerThread::CountLogons() {
    CountIfOn(settings_value::POP3Logons);
}

PopCommand TMyServerThread::GetNextCommand(win::TWinSocketStream& stream, std::string& argument) {
    return reader_.GetNextCommand(stream, argument);
}

void TMyServerThread::ClientExecute() {
    win::TWinSocketStream stream(*ClientSocket(), kStreamTimeOut);
    {
        const CountedSession counted(limits_.sessions, ClientSocket()->RemoteAddress());
        if (counted.Counted()) {
            Serve(stream);
        } else {
            RefuseCrowd(stream);
        }
    }
    if (ClientSocket()->Connected()) ClientSocket()->Close();
    reader_.Clear();
}

void TMyServerThread::Serve(win::TWinSocketStream& stream) {
    CountConnections();
    std::string userName;
    if (AuthenticateUser(stream, userName) && HasMailAccount(stream, userName)) {
        CountLogons();
        const std::string folder = GetUserMailDir(userName);
        const MailboxLock lock(folder);
        switch (lock.status()) {
            case MailboxLock::Status::Busy:
                SendReply(stream, "-ERR " + userName + "'s mailbox is busy");
                break;
            case MailboxLock::Status::Failed:
                RefuseUnlockedMailbox(stream, userName, folder);
                break;
            case MailboxLock::Status::Taken:
                ServeMailbox(stream, userName, folder);
                break;
        }
    }
}

void TMyServerThread::RefuseCrowd(win::TWinSocketStream& stream) {
    // A client that takes no reply is not worth a report: it is closed all the same.
    try {
        SendReply(stream, kTooManyConnections);
    } catch (const win::ESocketError&) {
    }
}

bool TMyServerThread::HasMailAccount(win::TWinSocketStream& stream, std::string_view userName) {
    if (IsEmailUser(userName)) {
        limits_.logons.LoggedOn(ClientSocket()->RemoteAddress());
        return true;
    }
    limits_.logons.Refused(ClientSocket()->RemoteAddress());
    if (GetLoginEventLogOption() != 0) {
        WriteLog(
            ClientLogLine(kLoginEvent, userName, *ClientSocket(), "failed: no mail account\r\n"));
    }
    RefuseLogon(stream);
    return false;
}

void TMyServerThread::RefuseUnlockedMailbox(win::TWinSocketStream& stream,
                                            std::string_view userName, std::string_view folder) {
    SendReply(stream, "-ERR " + std::string(userName) + "'s mailbox cannot be locked");
    WriteLog(ClientLogLine(kLoginEvent, userName, *ClientSocket(),
                           "failed: the mailbox cannot be locked\r\n"));
    win::ReportEvent(kServiceName, win::EVENTLOG_ERROR_TYPE, 0, 0,
                     "The lock file of the mailbox " + std::string(folder) +
                         " cannot be created; its user cannot log on.");
}

void TMyServerThread::ServeMailbox(win::TWinSocketStream& stream, std::string_view userName,
                                   std::string_view folder) {
    MessageList list;
    std::int64_t octetTotal = 0;
    std::int32_t messageCount = GetMessages(folder, list, octetTotal);
    SendReply(stream, MailboxGreeting(userName, messageCount, octetTotal));
    if (GetLoginEventLogOption() != 0) {
        WriteLog(ClientLogLine(kLoginEvent, userName, *ClientSocket(), MessagesLeft(messageCount)));
    }
    std::string argument;
    while (!Terminated() && ClientSocket()->Connected()) {
        switch (GetNextCommand(stream, argument)) {
            case PopCommand::NoData:
                return;  // no update: the marks are lost
            case PopCommand::Quit:
                if (const std::int32_t kept = UpdateMailbox(list); kept > 0) {
                    ReportKeptMessages(stream, userName, folder, kept);
                    return;
                }
                SendReply(stream, "+OK GoodBye !");
                if (GetLogoutEventLogOption() != 0) {
                    WriteLog(ClientLogLine(kLogoutEvent, userName, *ClientSocket(),
                                           MessagesLeft(messageCount)));
                }
                return;
            case PopCommand::Stat:
                SendReply(stream,
                          "+OK " + std::to_string(messageCount) + " " + std::to_string(octetTotal));
                break;
            case PopCommand::List:
                ListMessage(argument, list, stream, messageCount);
                break;
            case PopCommand::Retr:
                RETRMessage(argument, list, stream);
                break;
            case PopCommand::Dele:
                if (DeleteMessage(argument, list, octetTotal, stream)) --messageCount;
                break;
            case PopCommand::Noop:
                SendReply(stream, "+OK handling NOOP gracefully");
                break;
            case PopCommand::Rset:
                Reset(list, messageCount, octetTotal);
                SendReply(stream, MailboxGreeting(userName, messageCount, octetTotal));
                break;
            case PopCommand::Uidl:
                UIDLMessage(argument, list, stream);
                break;
            case PopCommand::Top:
                TOPMessage(argument, list, stream);
                break;
            default:
                SendReply(stream, "-ERR unknown or invalid command");
        }
    }
}

}  // namespace vrel
