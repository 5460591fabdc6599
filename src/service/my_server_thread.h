// TMyServerThread: the session thread of the POP3 listener. Each accepted connection runs
// one whole POP3 session in ClientExecute: counting, the authorization phase, the
// mail-account test, the mailbox lock, the transaction loop and the update on QUIT.
//
// Created by the listener for an accepted client socket and kept in its cache between
// sessions; the listener's ClientLimits bound what each client address may hold (sessions,
// password checks, time to log on). Everything the client sends is untrusted: the command reader
// bounds each line, message numbers are checked against the list, and the user name reaches a
// folder path only after the account directory has named it a member of the e-mail users group. The
// session's state lives in ClientExecute's locals, but for the command reader, which keeps the
// commands a client sent ahead from one call to the next; the routines below are static where they
// need nothing of the thread, so the session's parts can be driven one by one.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "platform/fs.h"
#include "platform/sockets.h"
#include "service/client_limits.h"
#include "service/command_reader.h"
#include "service/message_list.h"

namespace vrel {

// How long a refused logon waits for its "-ERR bad login", in machine milliseconds.
inline constexpr std::uint32_t kFailedLogonDelay = 2000;

class TMyServerThread : public win::TServerClientThread {
  public:
    // The thread waits in the listener's cache after each session; the limits are the
    // listener's, shared by all its sessions.
    TMyServerThread(std::unique_ptr<win::TServerClientWinSocket> socket, ClientLimits& limits);

    // Each adds 1 to its usage counter while "CountConnections" is on.
    static void CountConnections();
    static void CountLogons();

    // The next command of the connection; commands sent ahead wait in the reader.
    PopCommand GetNextCommand(win::TWinSocketStream& stream, std::string& argument);

    // Lists the "*.eml" entries of the folder into the empty list, in the order the file
    // system gives them; adds each size to octetTotal; returns the number of records. A
    // file of 2 GB or more cannot be told in the 32-bit sizes and is left out. The octet
    // total is 64-bit, so many large files cannot make it wrap.
    static std::int32_t GetMessages(std::string_view folder, MessageList& list,
                                    std::int64_t& octetTotal);
    // A record with number, size and uid set from the directory entry (path left empty).
    static MsgRecord NewMsgRecord(std::int32_t number, const win::TSearchRec& entry);

    // The transaction commands. Each answers through the stream; the argument is the text
    // after the command word, possibly empty.
    // DELE: true when a message was marked deleted (its size taken from octetTotal).
    static bool DeleteMessage(std::string_view argument, MessageList& list,
                              std::int64_t& octetTotal, win::TWinSocketStream& stream);
    static void ListMessage(std::string_view argument, const MessageList& list,
                            win::TWinSocketStream& stream, std::int32_t messageCount);
    static void UIDLMessage(std::string_view argument, const MessageList& list,
                            win::TWinSocketStream& stream);
    // Raises EFOpenError, after its "+OK" line, when the message file cannot be loaded.
    static void TOPMessage(std::string_view argument, const MessageList& list,
                           win::TWinSocketStream& stream);
    static void RETRMessage(std::string_view argument, const MessageList& list,
                            win::TWinSocketStream& stream);
    // The update on QUIT: removes the files of the messages marked deleted, last first, and
    // empties the list. Returns how many of them could not be removed (a file already gone
    // counts as removed); those stay for the next session.
    static std::int32_t UpdateMailbox(MessageList& list);

  protected:
    void ClientExecute() override;
    // An error that escaped the session: written to the daily log and the event log.
    void HandleException(std::exception_ptr error) override;

    // The authorization phase: true when a logon succeeded, with the name in userName;
    // false when the client quit, fell silent, closed the connection or had not logged on
    // within kAuthorizationTime.
    bool AuthenticateUser(win::TWinSocketStream& stream, std::string& userName);
    // One logon against the account authority, in the address's turn of the logon queue,
    // which it finishes. On failure it has answered "-ERR bad login" and logged the failure.
    bool MyLogonUser(win::TWinSocketStream& stream, std::string_view userName,
                     std::string_view password, LogonQueue::Turn& turn);

  private:
    // The session of a client within the limits: authorization, mail-account test, lock
    // and transaction.
    void Serve(win::TWinSocketStream& stream);
    // Tells a client over the session limits that it is not served.
    static void RefuseCrowd(win::TWinSocketStream& stream);
    // Answers "-ERR bad login" once kFailedLogonDelay has passed.
    static void RefuseLogon(win::TWinSocketStream& stream);
    // The mail-account test: false, after logging and answering "-ERR bad login", when the
    // account is not in the e-mail users group.
    bool HasMailAccount(win::TWinSocketStream& stream, std::string_view userName);
    // A mailbox whose lock file cannot be made: the client is told, the daily log and the
    // event log are written.
    void RefuseUnlockedMailbox(win::TWinSocketStream& stream, std::string_view userName,
                               std::string_view folder);
    // QUIT after an update that left marked messages: the client is told, the daily log and
    // the event log are written.
    void ReportKeptMessages(win::TWinSocketStream& stream, std::string_view userName,
                            std::string_view folder, std::int32_t kept);
    // With the mailbox locked: the list, the greeting, the transaction loop and, on QUIT,
    // the update.
    void ServeMailbox(win::TWinSocketStream& stream, std::string_view userName,
                      std::string_view folder);

    ClientLimits& limits_;
    CommandReader reader_;
};

}  // namespace vrel
