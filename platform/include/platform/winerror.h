// System error codes and their message texts, as the Windows system message table gives
// them. Every platform area that reports a Windows error code takes it from here, so the
// suite can branch on the codes its callers know and print the system's own text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/hresult.h"

namespace win {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_DIRECTORY = 267;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_NO_TOKEN = 1008;
inline constexpr DWORD ERROR_INVALID_SID = 1337;
inline constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
inline constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
inline constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
inline constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
inline constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr DWORD ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr DWORD ERROR_DATABASE_DOES_NOT_EXIST = 1065;
inline constexpr DWORD ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr DWORD ERROR_PROCESS_ABORTED = 1067;
inline constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
inline constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
inline constexpr DWORD ERROR_DUPLICATE_SERVICE_NAME = 1078;
inline constexpr DWORD ERROR_SERVICE_NOT_IN_EXE = 1083;
inline constexpr DWORD ERROR_NOT_CONTAINER = 1207;
inline constexpr DWORD ERROR_NO_NETWORK = 1222;
inline constexpr DWORD ERROR_INVALID_ACCOUNT_NAME = 1315;
inline constexpr DWORD ERROR_LOGON_FAILURE = 1326;
inline constexpr DWORD ERROR_ACCOUNT_RESTRICTION = 1327;
inline constexpr DWORD ERROR_ACCOUNT_DISABLED = 1331;
inline constexpr DWORD ERROR_NO_SUCH_DOMAIN = 1355;
inline constexpr DWORD ERROR_MEMBER_NOT_IN_ALIAS = 1377;
inline constexpr DWORD ERROR_MEMBER_IN_ALIAS = 1378;
inline constexpr DWORD ERROR_NO_SUCH_MEMBER = 1387;
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr DWORD NERR_GroupNotFound = 2220;
inline constexpr DWORD NERR_UserNotFound = 2221;
inline constexpr DWORD NERR_GroupExists = 2223;
inline constexpr DWORD NERR_UserExists = 2224;
inline constexpr DWORD NERR_DCNotFound = 2453;

// HRESULT of the directory calls beyond the common COM codes (hresult.h).
inline constexpr HRESULT E_ADS_BAD_PATHNAME = MakeHResult(0x80005000u);

// FormatMessage with the system as source, inserts ignored, in the default language
// (English): the code's text ending in CR LF, or the empty text for a code the system
// has no text for.
std::string FormatMessage(DWORD messageId);

// The calling thread's last error, for the calls that answer with a BOOL or a null handle.
DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace win
