// Growing a book replaces it whole: a grow that fails or is killed halfway
// leaves the old book byte for byte, learning still counts in it, and the next
// grow is not disturbed by what the broken one left; games learned while a
// grow runs end up in the grown book.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "kelmo-book/book_tool.h"
#include "kelmo-book/record_generator.h"
#include "learn/learn.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr int GAMES = 300;
constexpr const char* BOOK = "k.book";

// Names in the working directory that look like a grow's temporary.
std::vector<std::string> temporaries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("."))
        if (entry.path().filename().string().find(".grow-") != std::string::npos)
            names.push_back(entry.path().filename().string());
    return names;
}

int learn(const char* book) {
    std::ostream quiet(nullptr);
    return learnRecords("games", quiet, book).counted;
}

// A working directory with generated games and a shallow book that has
// already learned them once: the book a deeper grow will replace.
class GrowReplace : public testing::Test {
protected:
    void SetUp() override {
        writeGeneratedRecords("games", GAMES, 5);
        GrowReport report;
        std::string error;
        ASSERT_TRUE(growBook(BOOK, "games", 2, report, error)) << error;
        ASSERT_EQ(learn(BOOK), GAMES);
        old = test::readFile(BOOK);
        // What the deeper grow writes when nothing gets in its way.
        test::writeFile("reference.book", old);
        ASSERT_TRUE(growBook("reference.book", "games", 6, report, error)) << error;
        grown = test::readFile("reference.book");
        ASSERT_GT(grown.size(), 4 * old.size());
        fs::remove("reference.book");
    }

    test::TempDir dir;
    test::ScopedChdir inDir{dir.path()};
    std::string old;
    std::string grown;
};

TEST_F(GrowReplace, FailedWriteLeavesTheOldBookWhole) {
    // The write fails after this many bytes of the new book, from the first
    // chunk to the very last byte (the new book complete but not yet in place).
    const std::uint64_t failAfter[] = {256, grown.size() / 2, grown.size() - 1, grown.size()};
    for (std::uint64_t limit : failAfter) {
        SCOPED_TRACE(limit);
        GrowSeams seams;
        seams.replace.chunkBytes = 256;
        std::uint64_t reached = 0;
        seams.replace.afterChunk = [&](std::uint64_t written) {
            reached = written;
            // The partial new book is on the disk beside the old one.
            EXPECT_EQ(fs::file_size(temporaryFor(BOOK)), written);
            return written < limit;
        };
        GrowReport report;
        std::string error;
        EXPECT_FALSE(growBook(BOOK, "games", 6, report, error, seams));
        EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
        EXPECT_GE(reached, limit);
        EXPECT_EQ(test::readFile(BOOK), old);
        EXPECT_EQ(temporaries(), std::vector<std::string>{});
    }
    // The old book still learns, and the next grow goes through.
    EXPECT_EQ(learn(BOOK), GAMES);
    GrowReport report;
    std::string error;
    ASSERT_TRUE(growBook(BOOK, "games", 6, report, error)) << error;
    EXPECT_EQ(fs::file_size(BOOK), grown.size());
    EXPECT_EQ(learn(BOOK), GAMES);
}

TEST_F(GrowReplace, KilledGrowLeavesTheOldBookAndNoTrapForTheNext) {
    // A temporary of a live process (pid 1 always runs) belongs to a grow
    // under way and must survive the cleanup.
    test::writeFile(std::string(BOOK) + ".grow-1", "live");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        GrowSeams seams;
        seams.replace.chunkBytes = 256;
        seams.replace.afterChunk = [&](std::uint64_t written) {
            if (written >= grown.size() / 2)
                raise(SIGKILL);
            return true;
        };
        GrowReport report;
        std::string error;
        growBook(BOOK, "games", 6, report, error, seams);
        _exit(0);  // not reached unless the seam failed to fire
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    // Killed halfway through writing the new book: the path holds the old one.
    EXPECT_EQ(test::readFile(BOOK), old);
    const std::string stray = std::string(BOOK) + ".grow-" + std::to_string(child);
    ASSERT_TRUE(fs::exists(stray));
    EXPECT_GT(fs::file_size(stray), 0u);
    EXPECT_LT(fs::file_size(stray), grown.size());
    EXPECT_EQ(learn(BOOK), GAMES);

    GrowReport report;
    std::string error;
    ASSERT_TRUE(growBook(BOOK, "games", 6, report, error)) << error;
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_EQ(temporaries(), std::vector<std::string>{std::string(BOOK) + ".grow-1"});
    EXPECT_EQ(learn(BOOK), GAMES);
}

TEST_F(GrowReplace, GamesLearnedWhileGrowingReachTheNewBook) {
    // The same games learned into the old book before a grow: what the book
    // must hold when they are learned while the grow is writing.
    test::writeFile("expected.book", old);
    ASSERT_EQ(learn("expected.book"), GAMES);
    GrowReport report;
    std::string error;
    ASSERT_TRUE(growBook("expected.book", "games", 6, report, error)) << error;
    const std::string expected = test::readFile("expected.book");
    fs::remove("expected.book");

    GrowSeams seams;
    std::vector<int> attempts;
    seams.beforeCheck = [&](int attempt) {
        attempts.push_back(attempt);
        if (attempt == 0) {
            EXPECT_EQ(learn(BOOK), GAMES);
        }
    };
    ASSERT_TRUE(growBook(BOOK, "games", 6, report, error, seams)) << error;
    EXPECT_EQ(attempts, (std::vector<int>{0, 1}));
    EXPECT_EQ(test::readFile(BOOK), expected);
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST_F(GrowReplace, BookThatKeepsChangingIsLeftAsItWas) {
    GrowSeams seams;
    int learned = 0;
    seams.beforeCheck = [&](int) { learned += learn(BOOK); };
    GrowReport report;
    std::string error;
    EXPECT_FALSE(growBook(BOOK, "games", 6, report, error, seams));
    EXPECT_NE(error.find("kept changing"), std::string::npos) << error;
    EXPECT_EQ(learned, 5 * GAMES);

    // Every count learned meanwhile is in the old book, which was not grown.
    test::writeFile("expected.book", old);
    for (int pass = 0; pass < 5; ++pass)
        ASSERT_EQ(learn("expected.book"), GAMES);
    EXPECT_EQ(test::readFile(BOOK), test::readFile("expected.book"));
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

TEST(GrowReplaceLinks, BookBehindASymbolicLinkIsReplacedWhereItLives) {
    test::TempDir dir;
    test::ScopedChdir inDir(dir.path());
    writeGeneratedRecords("games", 20, 3);
    fs::create_directory("books");
    test::writeFile("books/real.book", "J\0\0\0\0"s);
    fs::create_symlink("books/real.book", BOOK);
    GrowReport report;
    std::string error;
    ASSERT_TRUE(growBook(BOOK, "games", 3, report, error)) << error;
    EXPECT_GT(report.nodesAdded, 0);
    EXPECT_TRUE(fs::is_symlink(BOOK));
    EXPECT_GT(fs::file_size("books/real.book"), 5u);
    EXPECT_EQ(learn(BOOK), 20);
}

} // namespace
} // namespace kelmo
