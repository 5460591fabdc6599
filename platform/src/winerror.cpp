// The last error is per thread, as on Windows: a call on one thread never changes what
// another thread reads.
#include "platform/winerror.h"

namespace win {
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
