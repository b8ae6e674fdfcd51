// Stopwatch: wall-clock milliseconds from a monotonic clock.
#pragma once

#include <cstdint>

namespace kelmo {

class Stopwatch {
public:
    void start();
    std::int32_t elapsed();

private:
    std::int64_t startMs = 0;
    std::int64_t lastMs = 0;
};

} // namespace kelmo
