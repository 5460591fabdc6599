// The two groups of usage counters the settings program shows and restarts: the connection
// counters and the message counters, each with the date its counting started.
//
// Called by the statistics handlers (a reset) and by Apply (counting switched on for the first
// time); the caller has the settings key open for writing.
#pragma once

#include <string_view>

namespace win {
class TRegistry;
}

namespace vrel {

enum class CounterGroup { Connections, Messages };

// The name of the value that holds the group's start date.
std::string_view CountStartedName(CounterGroup group);
// Starts the group again: its start date now, then each of its counters zeroed.
void RestartCounters(win::TRegistry& registry, CounterGroup group);

}  // namespace vrel
