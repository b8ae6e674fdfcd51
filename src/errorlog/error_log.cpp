// The fault log: one bare line per event, appended to "kelmo-error.log" in the
// working directory. The file is opened and closed around every message so that
// nothing is lost if the process dies, and a log that cannot be written is simply
// skipped: logging must never change what the brain does next.
#include "errorlog/error_log.h"

#include <cstdio>

namespace kelmo {

void appendErrorLog(const char* message) {
    // Text append mode: every write lands at the current end of the file, also if
    // another process grew it meanwhile, and the line end is the platform's.
    std::FILE* file = std::fopen(ERROR_LOG_NAME, "a");
    if (!file)
        return;
    std::fputs(message, file);
    std::fputc('\n', file);
    std::fflush(file);
    std::fclose(file);
}

} // namespace kelmo
