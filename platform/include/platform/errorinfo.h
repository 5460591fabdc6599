// The calling thread's COM error information: what a COM method that fails with
// DISP_E_EXCEPTION leaves for its caller (who raised it, its text, the interface called).
//
// Kept per thread, as the COM library keeps it; set by a server method, read by the caller
// or, across processes, by the call layer that carries it back.
#pragma once

#include <optional>
#include <string>

#include "platform/winerror.h"

namespace win {

struct ErrorInfo {
    std::string source;       // the ProgID of the class that raised it
    std::string description;  // may be empty
    std::string iid;          // the interface, as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    friend bool operator==(const ErrorInfo&, const ErrorInfo&) = default;
};

// SetErrorInfo replaces the thread's information (nullopt clears it); GetErrorInfo hands it
// over and clears it, S_FALSE when there is none.
void SetErrorInfo(std::optional<ErrorInfo> info);
HRESULT GetErrorInfo(std::optional<ErrorInfo>& info);

}  // namespace win
