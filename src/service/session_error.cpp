// The report of an error that escaped a POP3 session. The service runs without a desktop, so
// the report goes where an administrator reads it, the daily log (when logging is on) and the
// event log, and never waits for anyone: the other sessions go on meanwhile. Called on the
// session thread by the socket framework, which then ends that thread, and by the
// authorization phase, whose session goes on.
#include <exception>

#include "agent/daily_log.h"
#include "platform/eventlog.h"
#include "service/my_server_thread.h"
#include "service/session_log.h"
#include "service/vrel_p3_service.h"

namespace vrel {
namespace {

// With no user name after it: "<date and time>  error: from: [<address>] <host> -> <text>".
constexpr std::string_view kErrorEvent = "  error:";

std::string Message(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

}  // namespace

void TMyServerThread::HandleException(std::exception_ptr error) {
    const std::string message = Message(error);
    const win::TServerClientWinSocket* client = ClientSocket();
    const std::string address = client ? client->RemoteAddress() : std::string();
    // Each report is tried on its own: a log that cannot be written (a wrongly typed setting)
    // must not cost the other one.
    try {
        win::ReportEvent(kServiceName, win::EVENTLOG_ERROR_TYPE, 0, 0,
                         "Error in the POP3 session of [" + address + "]: " + message);
    } catch (const std::exception&) {
    }
    try {
        if (client) WriteLog(ClientLogLine(kErrorEvent, "", *client, message + "\r\n"));
    } catch (const std::exception&) {
    }
}

}  // namespace vrel
