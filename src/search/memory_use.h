// The process's private memory use in bytes, read once per search iteration.
#pragma once

#include <cstdint>

namespace kelmo {

std::int64_t processMemoryUse();

// Gives memory freed by a destroyed tree back so that the next reading falls again.
void releaseFreedMemory();

} // namespace kelmo
