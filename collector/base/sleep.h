#pragma once

#include <chrono>
#include <stop_token>

namespace tallygate::collector {

// Sleeps until `until`, or less if `stop` is requested first. Returns true
// when it woke for the stop. Every wait of the service's threads goes through
// here or a condition variable of its own, so that a stop never waits out a
// sleep.
bool SleepUntil(std::chrono::steady_clock::time_point until, std::stop_token stop);

}  // namespace tallygate::collector
