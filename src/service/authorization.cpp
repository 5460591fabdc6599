// The authorization phase of the POP3 session: the greeting, USER, PASS and QUIT, and the
// logon that proves a password against the Windows accounts (see my_server_thread.h).
//
// The user name and password come from the client. The password goes only to LogonUser
// and is wiped from the argument buffer afterwards; the user name reaches the log only
// through ClientLogLine. The settings are read at every logon, nothing is cached.
// A refused logon is answered only after kFailedLogonDelay on the machine's clock, without
// holding up any other session. The password check itself waits for its address's turn in
// the listener's logon queue, which makes a guesser's connections take turns and wait
// longer after each refusal, and bounds the hashes computed at once. The whole phase must
// end within kAuthorizationTime, or the connection is closed without a reply, as after
// silence.
#include "agent/daily_log.h"
#include "common/settings_key.h"
#include "common/system_module.h"
#include "platform/clock.h"
#include "platform/logon.h"
#include "platform/registry.h"
#include "service/my_server_thread.h"
#include "service/pop3_reply.h"
#include "service/session_log.h"

namespace vrel {
namespace {

// The logon domain: "." (the local computer) unless the settings choose an NT domain.
// The domain controller lookup only serves the log; the logon goes ahead in every case.
std::string LogonDomain() {
    std::string domain = ".";
    win::TRegistry registry;
    if (!registry.OpenKeyReadOnly(kSettingsKey) ||
        !registry.ValueExists(settings_value::UserAuthentication) ||
        registry.ReadInteger(settings_value::UserAuthentication) != 1) {
        return domain;
    }
    if (registry.ValueExists(settings_value::NTDomainLogonServer)) {
        domain = registry.ReadString(settings_value::NTDomainLogonServer);
    }
    std::string controller;
    const win::DWORD status = win::NetGetDCName("", domain, controller);
    if (status == win::NERR_DCNotFound) {
        WriteLog("popservice->MyLogonUser(): No Logon Computer available for domain: " + domain +
                 "\r\n");
    } else if (status == win::ERROR_INVALID_NAME) {
        WriteLog("popservice->MyLogonUser(): Invalid domain: " + domain + "\r\n");
    }
    return domain;
}

}  // namespace

void TMyServerThread::RefuseLogon(win::TWinSocketStream& stream) {
    // Each refusal costs a password guesser time; only this session's thread waits.
    win::Sleep(kFailedLogonDelay);
    SendReply(stream, "-ERR bad login");
}

bool TMyServerThread::AuthenticateUser(win::TWinSocketStream& stream, std::string& userName) {
    const TimeLimit limit(kAuthorizationTime);
    userName.clear();
    bool userAccepted = false;
    SendReply(stream, "+OK " + win::gethostname() + " Vrel POP3 Server " +
                          SystemModule->VersionInfo.GetFileVersion() + " Ready");
    std::string argument;
    while (!Terminated() && ClientSocket()->Connected() && limit.Left() > 0) {
        const PopCommand code = reader_.GetNextCommand(stream, argument, limit);
        if (code == PopCommand::NoData) return false;
        // A failing reply ends only the command it answers.
        try {
            switch (code) {
                case PopCommand::User:
                    if (userAccepted) {
                        SendReply(stream, "-ERR invalid command [USER] in this state");
                    } else if (argument.empty()) {
                        SendReply(stream, "-ERR too few arguments for [USER] command");
                    } else {
                        userName = argument;
                        userAccepted = true;
                        SendReply(stream, "+OK " + userName + " is welcome here, password please");
                    }
                    break;
                case PopCommand::Pass:
                    if (!userAccepted) {
                        SendReply(stream, "-ERR invalid command [PASS] in this state");
                    } else if (argument.empty()) {
                        SendReply(stream, "-ERR too few arguments for [PASS] command");
                    } else {
                        LogonQueue::Turn turn =
                            limits_.logons.Wait(ClientSocket()->RemoteAddress(), limit.Left(),
                                                [this] { return Terminated(); });
                        // Without a turn in time the phase is over, as after silence.
                        const bool inTime = static_cast<bool>(turn);
                        const bool loggedOn =
                            inTime && MyLogonUser(stream, userName, argument, turn);
                        Wipe(argument);
                        if (loggedOn) return true;
                        if (!inTime) return false;
                        userAccepted = false;
                    }
                    break;
                case PopCommand::Quit:
                    SendReply(stream, "+OK GoodBye !");
                    break;
                default:
                    SendReply(stream, "-ERR unknown or invalid command in this state");
            }
        } catch (...) {
            HandleException(std::current_exception());
        }
        Wipe(argument);
        if (code == PopCommand::Quit) return false;
    }
    return false;
}

bool TMyServerThread::MyLogonUser(win::TWinSocketStream& stream, std::string_view userName,
                                  std::string_view password, LogonQueue::Turn& turn) {
    const std::string domain = LogonDomain();
    std::unique_ptr<win::AccessToken> token;
    const win::DWORD status = win::LogonUser(userName, domain, password, win::LOGON32_LOGON_NETWORK,
                                             win::LOGON32_PROVIDER_DEFAULT, token);
    // The logon only proves the password; the session never acts as the user.
    token.reset();
    turn.Finish(status != win::ERROR_SUCCESS);
    if (status == win::ERROR_SUCCESS) return true;
    RefuseLogon(stream);
    if (GetLoginEventLogOption() != 0) {
        WriteLog(ClientLogLine(
            kLoginEvent, userName, *ClientSocket(),
            "failed: (" + std::to_string(status) + "): " + win::FormatMessage(status)));
    }
    return false;
}

}  // namespace vrel
