// Stopwatch on the monotonic clock: a change of the system time during a move
// must not end or stretch the search.
#include "search/stopwatch.h"

#include <chrono>

namespace kelmo {

namespace {

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void Stopwatch::start() {
    startMs = nowMs();
    lastMs = startMs;
}

std::int32_t Stopwatch::elapsed() {
    lastMs = nowMs();
    std::int64_t d = lastMs - startMs;
    return d > 2147483647 ? 2147483647 : static_cast<std::int32_t>(d);
}

} // namespace kelmo
