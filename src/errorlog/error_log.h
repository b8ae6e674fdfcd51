// Append-only log of internal faults, "kelmo-error.log" in the working directory.
#pragma once

namespace kelmo {

constexpr const char* ERROR_LOG_NAME = "kelmo-error.log";

// Appends one line; never fails towards the caller.
void appendErrorLog(const char* message);

} // namespace kelmo
