#include "platform/errorinfo.h"

#include <utility>

namespace win {
namespace {

thread_local std::optional<ErrorInfo> threadErrorInfo;

}  // namespace

void SetErrorInfo(std::optional<ErrorInfo> info) {
    threadErrorInfo = std::move(info);
}

HRESULT GetErrorInfo(std::optional<ErrorInfo>& info) {
    info = std::exchange(threadErrorInfo, std::nullopt);
    return info ? S_OK : S_FALSE;
}

}  // namespace win
