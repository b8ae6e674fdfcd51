// kelmo-book: growing and printing books in the layout the book walk reads.
// Growing reuses learning's own directory scan and normalisation, so a book
// grown from a directory holds every line that learning will walk for it.
#include "kelmo-book/book_tool.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>

#include "book/book.h"
#include "kelmo-book/record_generator.h"
#include "learn/learn.h"

namespace kelmo {

namespace {

std::string foreignRecord(const BookCursor& cursor) {
    static const char* HEX = "0123456789ABCDEF";
    const std::uint8_t type = cursor.foreignType();
    return std::string("unknown record type 0x") + HEX[type >> 4] + HEX[type & 15] + " at offset " +
           std::to_string(cursor.offset());
}

// The lines to add, merged by shared prefixes, with the number of lines
// through each entry.
struct LineTrie {
    struct Entry {
        std::int16_t code;
        std::vector<int> children;
        int lines = 0;
    };
    std::vector<Entry> entries{{0, {}}};  // entry 0 is the root, above the root list

    // The walk reads a list from its start, so the most travelled openings go
    // first; ties go by code, so that the same records give the same book
    // whatever order the directory listing yields them in.
    void orderByTraffic() {
        for (Entry& e : entries)
            std::sort(e.children.begin(), e.children.end(), [&](int a, int b) {
                const Entry& x = entries[static_cast<std::size_t>(a)];
                const Entry& y = entries[static_cast<std::size_t>(b)];
                return x.lines != y.lines ? x.lines > y.lines : x.code < y.code;
            });
    }

    void add(const std::vector<std::int16_t>& codes, std::size_t limit) {
        int at = 0;
        for (std::size_t d = 0; d < limit; ++d) {
            int next = -1;
            for (int c : entries[static_cast<std::size_t>(at)].children)
                if (entries[static_cast<std::size_t>(c)].code == codes[d])
                    next = c;
            if (next < 0) {
                next = static_cast<int>(entries.size());
                entries.push_back({codes[d], {}});
                entries[static_cast<std::size_t>(at)].children.push_back(next);
            }
            at = next;
            ++entries[static_cast<std::size_t>(at)].lines;
        }
    }
};

// Grows a book image from a trie. New siblings of one list are appended side
// by side and closed by one ending jump, so a list stays a short chain however
// many lines are added at once.
class Grower {
public:
    Grower(BookImage& image, const LineTrie& trie, std::string& error) : image(image), trie(trie), error(error) {}

    int added = 0;

    bool growRoot() {
        const auto& roots = trie.entries[0].children;
        if (roots.empty())
            return true;
        if (image.bytes.empty()) {
            // A new book: the root list starts at offset 0.
            return placeNewList(roots);
        }
        return mergeInto(0, roots);
    }

private:
    // Appends the entries as one new list; returns false only if offsets run out.
    bool placeNewList(const std::vector<int>& list) {
        const std::uint64_t start = image.bytes.size();
        const std::uint64_t size = list.size() * BOOK_NODE_SIZE + BOOK_JUMP_SIZE;
        if (start + size > std::numeric_limits<std::uint32_t>::max()) {
            error = "the book would outgrow 32-bit offsets";
            return false;
        }
        for (int e : list) {
            std::uint8_t node[BOOK_NODE_SIZE] = {};
            node[0] = BOOK_NODE_TYPE;
            bookPutU16(node + BOOK_CODE_AT, static_cast<std::uint16_t>(trie.entries[static_cast<std::size_t>(e)].code));
            image.bytes.insert(image.bytes.end(), std::begin(node), std::end(node));
        }
        const std::uint8_t ending[BOOK_JUMP_SIZE] = {BOOK_JUMP_TYPE, 0, 0, 0, 0};
        image.bytes.insert(image.bytes.end(), std::begin(ending), std::end(ending));
        added += static_cast<int>(list.size());
        for (std::size_t k = 0; k < list.size(); ++k)
            if (!growBelow(start + k * BOOK_NODE_SIZE, 0, list[k]))
                return false;
        return true;
    }

    // Finds each entry's node in the existing list (the first with its code, as
    // the book walk matches), appends the missing ones and links them through
    // the list's ending jump.
    bool mergeInto(std::uint64_t at, const std::vector<int>& list) {
        std::vector<BookNode> present;
        BookList place{at, true};
        BookNode node;
        while (cursor.next(place, node))
            if (std::none_of(present.begin(), present.end(), [&](const BookNode& p) { return p.code == node.code; }))
                present.push_back(node);
        if (cursor.status() == BookStatus::ForeignRecord) {
            // Learning stops at such a record, so nothing added past it could be counted.
            error = foreignRecord(cursor) + " ends a list; its lines cannot be added";
            return false;
        }
        if (cursor.status() != BookStatus::Ended) {
            error = bookFaultText(cursor.status(), cursor.offset());
            return false;
        }
        const std::uint64_t ending = cursor.offset();
        std::vector<int> missing;
        std::vector<std::pair<BookNode, int>> found;
        for (int e : list) {
            const std::int16_t code = trie.entries[static_cast<std::size_t>(e)].code;
            const auto hit =
                std::find_if(present.begin(), present.end(), [&](const BookNode& p) { return p.code == code; });
            if (hit == present.end())
                missing.push_back(e);
            else
                found.emplace_back(*hit, e);
        }
        if (!missing.empty()) {
            bookPutU32(&image.bytes[ending + BOOK_TARGET_AT], static_cast<std::uint32_t>(image.bytes.size()));
            if (!placeNewList(missing))
                return false;
        }
        for (const auto& [existing, e] : found)
            if (!growBelow(existing.offset, existing.child, e))
                return false;
        return true;
    }

    bool growBelow(std::uint64_t node, std::uint32_t child, int e) {
        const auto& children = trie.entries[static_cast<std::size_t>(e)].children;
        if (children.empty())
            return true;
        if (child != 0)
            return mergeInto(child, children);
        bookPutU32(&image.bytes[node + BOOK_CHILD_AT], static_cast<std::uint32_t>(image.bytes.size()));
        return placeNewList(children);
    }

    BookImage& image;
    const LineTrie& trie;
    std::string& error;
    // One cursor for the whole grow: a record read twice is a cycle or a list
    // shared by two lines, and growing either would count in the wrong places.
    // It reads the image as it grows, but only ever the records that were there.
    BookCursor cursor{image.bytes};
};

// dx and dy of a code: dx + 20 * dy with both in -8..8 has exactly one reading.
void splitCode(int code, int& dx, int& dy) {
    const int shifted = code + 8;
    dy = (shifted >= 0 ? shifted : shifted - 19) / 20;
    dx = code - 20 * dy;
}

bool parseCount(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value > 0;
}

bool parseSeed(const std::string& text, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

const char* const USAGE =
    "Usage:\n"
    "  kelmo-book grow BOOK DIR --depth N\n"
    "      Adds to BOOK (created if missing) the first N moves of every decided game\n"
    "      in DIR, normalised as the brain's learn command does. New records are\n"
    "      appended; existing ones never move. Growing counts no games: new nodes\n"
    "      start with both counters at 0. Run learn on DIR afterwards to count them.\n"
    "      The grown book is written beside BOOK and renamed over it, so a grow cut\n"
    "      short leaves BOOK as it was.\n"
    "  kelmo-book dump BOOK\n"
    "      Prints the tree, one node a line indented by depth:\n"
    "      code (dx,dy) first N second M, where the first counter counts games with\n"
    "      an even number of moves after the reference point and the second the odd.\n"
    "  kelmo-book generate DIR --games N [--seed S]\n"
    "      Writes N generated decided games into DIR as g00000.rec, g00001.rec, ...\n"
    "  kelmo-book bench [--games N] [--depth N]\n"
    "      Generates N games (default 4000) in a scratch directory, grows a book of\n"
    "      depth N (default 8) from them, learns them and prints records per second.\n";

// Options after the positional words: "--name value" pairs.
struct Options {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> named;
    bool ok = true;

    const std::string* get(const std::string& name) const {
        for (const auto& [key, value] : named)
            if (key == name)
                return &value;
        return nullptr;
    }
};

Options parseOptions(const std::vector<std::string>& args, std::size_t from) {
    Options options;
    for (std::size_t i = from; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) == 0) {
            if (i + 1 >= args.size()) {
                options.ok = false;
                break;
            }
            options.named.emplace_back(args[i].substr(2), args[i + 1]);
            ++i;
        } else {
            options.positional.push_back(args[i]);
        }
    }
    return options;
}

std::uint64_t rootTotal(const BookImage& image) {
    std::uint64_t total = 0;
    BookCursor cursor(image.bytes);
    BookList root;
    BookNode node;
    while (cursor.next(root, node))
        total += node.first + node.second;
    return total;
}

int runBench(const Options& options, std::ostream& out, std::ostream& err) {
    int games = 4000, depth = 8;
    if (const std::string* v = options.get("games"); v && !parseCount(*v, games)) {
        err << USAGE;
        return 2;
    }
    if (const std::string* v = options.get("depth"); v && !parseCount(*v, depth)) {
        err << USAGE;
        return 2;
    }
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    const auto stamp = Clock::now().time_since_epoch().count();
    const fs::path scratch = fs::temp_directory_path() / ("kelmo-book-bench-" + std::to_string(stamp));
    const std::string dir = (scratch / "games").string();
    const std::string book = (scratch / "bench.book").string();
    writeGeneratedRecords(dir, games, 1);

    GrowReport grown;
    std::string error;
    if (!growBook(book, dir, depth, grown, error)) {
        err << "kelmo-book: " << error << "\n";
        fs::remove_all(scratch);
        return 1;
    }
    out << "grown: " << grown.games << " games, " << grown.nodesAdded << " nodes, depth " << depth << "\n";

    // Three passes over the same directory; every pass counts each game again.
    std::ostream quiet(nullptr);
    constexpr int PASSES = 3;
    double best = 0;
    for (int pass = 1; pass <= PASSES; ++pass) {
        const auto start = Clock::now();
        const LearnSummary learned = learnRecords(dir, quiet, book.c_str());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double rate = seconds > 0 ? learned.scan.games / seconds : 0;
        best = std::max(best, rate);
        out << "pass " << pass << ": learned " << learned.scan.games << " of " << learned.scan.candidates
            << " records in " << seconds << " s: " << static_cast<long long>(rate) << " records/s\n";
    }
    BookImage image;
    if (loadBook(book, image, false, error))
        out << "root counters: " << rootTotal(image) << " (expected "
            << static_cast<long long>(PASSES) * grown.games << ")\n";
    out << "best: " << static_cast<long long>(best) << " records/s\n";
    fs::remove_all(scratch);
    return 0;
}

} // namespace

int BookImage::addLines(const std::vector<std::vector<std::int16_t>>& lines, std::size_t depth,
                        std::string& error) {
    LineTrie trie;
    for (const auto& codes : lines)
        trie.add(codes, std::min(depth, codes.size()));
    trie.orderByTraffic();
    // Work on a copy: a book found broken halfway is left as it was.
    BookImage grown = *this;
    Grower grower(grown, trie, error);
    if (!grower.growRoot())
        return -1;
    bytes.swap(grown.bytes);
    return grower.added;
}

bool BookImage::dump(std::ostream& out, std::string& error) const {
    struct Frame {
        BookList list;
        int depth;
    };
    // An explicit stack of the lists still open: a deep (or hostile) book must
    // not exhaust the call stack. A child list goes on top, so it is printed
    // whole before the next sibling of its node.
    std::vector<Frame> stack{{BookList{}, 0}};
    BookCursor cursor(bytes);
    BookNode node;
    while (!stack.empty()) {
        const int depth = stack.back().depth;
        const std::string indent(static_cast<std::size_t>(2 * depth), ' ');
        if (!cursor.next(stack.back().list, node)) {
            if (cursor.status() == BookStatus::ForeignRecord) {
                out << indent << "# " << foreignRecord(cursor) << " ends this list\n";
            } else if (cursor.status() != BookStatus::Ended) {
                error = bookFaultText(cursor.status(), cursor.offset());
                return false;
            }
            stack.pop_back();
            continue;
        }
        int dx = 0, dy = 0;
        splitCode(node.code, dx, dy);
        out << indent << node.code << " (" << dx << "," << dy << ") first " << node.first << " second "
            << node.second << "\n";
        if (node.child != 0)
            stack.push_back({BookList{node.child, true}, depth + 1});
    }
    return true;
}

bool loadBook(const std::string& path, BookImage& image, bool allowMissing, std::string& error) {
    image.bytes.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        if (allowMissing && !std::filesystem::exists(path))
            return true;
        error = path + ": cannot be opened";
        return false;
    }
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    if (image.bytes.empty() && !allowMissing) {
        error = path + ": the file is empty";
        return false;
    }
    return true;
}

bool growBook(const std::string& bookPath, const std::string& directory, int depth, GrowReport& report,
              std::string& error, const GrowSeams& seams) {
    namespace fs = std::filesystem;
    report = {};
    BookImage image;
    if (!loadBook(bookPath, image, true, error))
        return false;
    std::vector<std::vector<std::int16_t>> lines;
    std::ostream quiet(nullptr);
    const ScanSummary scan = scanRecords(directory, quiet, [&](const std::vector<std::int16_t>& codes) {
        lines.push_back(codes);
    });
    if (!scan.directoryOpened) {
        error = "Unable to open directory " + directory;
        return false;
    }
    report.games = static_cast<int>(lines.size());

    // A book reached through a symbolic link is replaced where it lives, and
    // the link stays.
    fs::path target = bookPath;
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        const fs::path real = fs::canonical(target, ec);
        if (!ec)
            target = real;
    }

    constexpr int ATTEMPTS = 5;
    for (int attempt = 0;; ++attempt) {
        BookImage grown = image;
        const int added = grown.addLines(lines, static_cast<std::size_t>(depth), error);
        if (added < 0) {
            error = bookPath + ": " + error;
            return false;
        }
        report.nodesAdded = added;
        // A book with no lines yet is still a book: an empty root list.
        if (grown.bytes.empty())
            grown.bytes = {BOOK_JUMP_TYPE, 0, 0, 0, 0};
        if (grown.bytes.size() == image.bytes.size())
            return true;

        BookImage now;
        bool reread = true;
        const auto unchanged = [&] {
            if (seams.beforeCheck)
                seams.beforeCheck(attempt);
            reread = loadBook(bookPath, now, true, error);
            return reread && now.bytes == image.bytes;
        };
        switch (replaceFile(target, grown.bytes, unchanged, seams.replace, error)) {
        case ReplaceOutcome::Replaced:
            return true;
        case ReplaceOutcome::Failed:
            return false;
        case ReplaceOutcome::Stale:
            break;
        }
        if (!reread)
            return false;
        // Learning counted games in the old book (or another grow replaced it)
        // while this one was written: grow again from what the book holds now.
        if (attempt + 1 == ATTEMPTS) {
            error = bookPath + ": the book kept changing while it was grown; it is left as it was";
            return false;
        }
        image.bytes.swap(now.bytes);
    }
}

int runBookTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << USAGE;
        return 2;
    }
    const std::string& mode = args[0];
    const Options options = parseOptions(args, 1);
    if (!options.ok) {
        err << USAGE;
        return 2;
    }
    std::string error;
    if (mode == "grow" && options.positional.size() == 2 && options.named.size() == 1) {
        int depth = 0;
        const std::string* value = options.get("depth");
        if (!value || !parseCount(*value, depth)) {
            err << USAGE;
            return 2;
        }
        GrowReport report;
        if (!growBook(options.positional[0], options.positional[1], depth, report, error)) {
            err << "kelmo-book: " << error << "\n";
            return 1;
        }
        out << options.positional[0] << ": " << report.nodesAdded << " nodes added from " << report.games
            << " decided games in " << options.positional[1] << " (counters untouched: run learn to count them)\n";
        return 0;
    }
    if (mode == "dump" && options.positional.size() == 1 && options.named.empty()) {
        BookImage image;
        if (!loadBook(options.positional[0], image, false, error) || !image.dump(out, error)) {
            out.flush();
            err << "kelmo-book: " << (error.rfind(options.positional[0], 0) == 0 ? "" : options.positional[0] + ": ")
                << error << "\n";
            return 1;
        }
        return 0;
    }
    if (mode == "generate" && options.positional.size() == 1) {
        int games = 0;
        std::uint64_t seed = 1;
        const std::string* count = options.get("games");
        const std::string* seedText = options.get("seed");
        if (!count || !parseCount(*count, games) || (seedText && !parseSeed(*seedText, seed)) ||
            options.named.size() != 1u + (seedText != nullptr)) {
            err << USAGE;
            return 2;
        }
        const int written = writeGeneratedRecords(options.positional[0], games, seed);
        out << written << " records written to " << options.positional[0] << "\n";
        return written == games ? 0 : 1;
    }
    if (mode == "bench" && options.positional.empty())
        return runBench(options, out, err);
    err << USAGE;
    return 2;
}

} // namespace kelmo
