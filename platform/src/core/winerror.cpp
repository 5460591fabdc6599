// The system message table: the English texts of the error codes the machine reports.
#include "platform/winerror.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace win {
namespace {

struct Message {
    DWORD code;
    std::string_view text;
};

// Sorted by code.
constexpr Message kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_NO_TOKEN, "An attempt was made to reference a token that does not exist."},
    {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service."},
    {ERROR_SERVICE_REQUEST_TIMEOUT,
     "The service did not respond to the start or control request in a timely fashion."},
    {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
    {ERROR_SERVICE_DISABLED,
     "The service cannot be started, either because it is disabled or because it has no "
     "enabled devices associated with it."},
    {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service."},
    {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time."},
    {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started."},
    {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT,
     "The service process could not connect to the service controller."},
    {ERROR_DATABASE_DOES_NOT_EXIST, "The database specified does not exist."},
    {ERROR_SERVICE_SPECIFIC_ERROR, "The service has returned a service-specific error code."},
    {ERROR_PROCESS_ABORTED, "The process terminated unexpectedly."},
    {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion."},
    {ERROR_SERVICE_EXISTS, "The specified service already exists."},
    {ERROR_DUPLICATE_SERVICE_NAME,
     "The name is already in use as either a service name or a service display name."},
    {ERROR_SERVICE_NOT_IN_EXE,
     "The executable program that this service is configured to run in does not implement the "
     "service."},
    {ERROR_NOT_CONTAINER, "Cannot enumerate a noncontainer."},
    {ERROR_NO_NETWORK, "The network is not present or not started."},
    {ERROR_INVALID_ACCOUNT_NAME, "The name provided is not a properly formed account name."},
    {ERROR_LOGON_FAILURE, "Logon failure: unknown user name or bad password."},
    {ERROR_ACCOUNT_RESTRICTION,
     "Logon failure: user account restriction.  Possible reasons are blank passwords not "
     "allowed, logon hour restrictions, or a policy restriction has been enforced."},
    {ERROR_ACCOUNT_DISABLED, "Logon failure: account currently disabled."},
    {ERROR_NO_SUCH_DOMAIN, "The specified domain either does not exist or could not be contacted."},
    {ERROR_MEMBER_NOT_IN_ALIAS, "The specified account name is not a member of the group."},
    {ERROR_MEMBER_IN_ALIAS, "The specified account name is already a member of the group."},
    {ERROR_NO_SUCH_MEMBER,
     "A new member could not be added to or removed from the local group because the member "
     "does not exist."},
    {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
    {NERR_GroupNotFound, "The group name could not be found."},
    {NERR_UserNotFound, "The user name could not be found."},
    {NERR_GroupExists, "The group already exists."},
    {NERR_UserExists, "The account already exists."},
    {NERR_DCNotFound, "Could not find domain controller for this domain."},
};

}  // namespace

std::string FormatMessage(DWORD messageId) {
    const auto* found =
        std::lower_bound(std::begin(kMessages), std::end(kMessages), messageId,
                         [](const Message& message, DWORD code) { return message.code < code; });
    if (found == std::end(kMessages) || found->code != messageId) return {};
    return std::string(found->text) + "\r\n";
}

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

}  // namespace win
