// Internal: the boundary of a provider that answers HRESULTs (the metabase, the event system).
// No exception crosses it: a failing store is a failing call.
#pragma once

#include <exception>

#include "platform/hresult.h"

namespace win {

template <typename Call>
HRESULT Guard(Call call) {
    try {
        return call();
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

}  // namespace win
