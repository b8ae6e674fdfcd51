// The fault log: one bare line per event, appended in event order, and silent
// when the file cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "errorlog/error_log.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

using test::readFile;
using test::ScopedChdir;
using test::TempDir;
using test::writeFile;

TEST(ErrorLog, FirstEventCreatesTheFileWithExactlyOneLine) {
    TempDir dir;
    ScopedChdir cd(dir.path());
    ASSERT_FALSE(std::filesystem::exists(dir.file(ERROR_LOG_NAME)));

    appendErrorLog("AndNode search");

    EXPECT_EQ(readFile(dir.file(ERROR_LOG_NAME)), "AndNode search\n");
}

TEST(ErrorLog, EventsAppendInOrderAfterWhatTheFileHeld) {
    TempDir dir;
    ScopedChdir cd(dir.path());
    writeFile(dir.file(ERROR_LOG_NAME), "from an earlier run\n");

    appendErrorLog("chyba typu 1 pri v destruktoru StatNode");
    appendErrorLog("chyba typu 2 pri v destruktoru StatNode");

    EXPECT_EQ(readFile(dir.file(ERROR_LOG_NAME)),
              "from an earlier run\n"
              "chyba typu 1 pri v destruktoru StatNode\n"
              "chyba typu 2 pri v destruktoru StatNode\n");
}

TEST(ErrorLog, NoHandleStaysOpenBetweenMessages) {
    // Replacing the file between two events must not send the second event to
    // the old file: each message opens the log by name afresh.
    TempDir dir;
    ScopedChdir cd(dir.path());
    appendErrorLog("first");
    std::filesystem::rename(dir.file(ERROR_LOG_NAME), dir.file("rotated.log"));

    appendErrorLog("second");

    EXPECT_EQ(readFile(dir.file("rotated.log")), "first\n");
    EXPECT_EQ(readFile(dir.file(ERROR_LOG_NAME)), "second\n");
}

TEST(ErrorLog, UnwritableLogIsSkippedSilently) {
    // A directory in the log's place cannot be opened for appending, whatever
    // the user's privileges; the event is lost and the caller carries on.
    TempDir dir;
    ScopedChdir cd(dir.path());
    std::filesystem::create_directory(dir.file(ERROR_LOG_NAME));

    appendErrorLog("AndNode search");
    appendErrorLog("AndNode search");

    EXPECT_TRUE(std::filesystem::is_directory(dir.file(ERROR_LOG_NAME)));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file(ERROR_LOG_NAME)));
}

} // namespace
} // namespace kelmo
