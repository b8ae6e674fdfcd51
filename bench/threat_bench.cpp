// kelmo-threat-bench: the threat search over a file of labelled positions (the
// format of the positions folder: "win|defend|quiet x,y ... | best X,Y | ...").
// Prints, per kind and search, the share of positions with a proven win, the
// nodes and nodes per second; every claimed line is replayed on a referee board,
// and a claim in a quiet position or a line that does not replay is reported.
//
//   kelmo-threat-bench FILE [VCF_BUDGET [VCT_BUDGET]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "board/shape_board.h"
#include "labelled_positions.h"
#include "threat/threat_search.h"

using namespace kelmo;

namespace {

struct Tally {
    int positions = 0, proven = 0, badLines = 0;
    std::uint64_t nodes = 0;
    double seconds = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelmo-threat-bench FILE [VCF_BUDGET [VCT_BUDGET]]\n");
        return 2;
    }
    const std::uint64_t vcfBudget = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100000;
    const std::uint64_t vctBudget = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 200000;
    std::ifstream file(argv[1]);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<labelled::Row> positions;
    for (std::string line; std::getline(file, line);) {
        labelled::Row p;
        if (labelled::parseRow(line, p))
            positions.push_back(p);
    }

    ThreatSearch search(std::size_t{16} << 20);
    ShapeBoard board;
    const char* kinds[] = {"win", "defend-lose", "quiet"};
    Tally vcfTally[3], vctTally[3];
    for (const labelled::Row& p : positions) {
        std::vector<int> moves = p.moves;
        int kind = p.kind == "win" ? 0 : p.kind == "quiet" ? 2 : 1;
        if (kind == 1) {
            // After the losing move the opponent, now to move, can force a five.
            if (p.lose < 0)
                continue;
            moves.push_back(p.lose);
        }
        std::vector<Stone> stones;
        for (std::size_t i = 0; i < moves.size(); ++i)
            stones.push_back({moves[i], static_cast<int>(i % 2)});
        for (int which = 0; which < 2; ++which) {
            board.setUp(stones, static_cast<int>(moves.size() % 2));
            search.clear();
            ThreatLine line;
            const auto start = std::chrono::steady_clock::now();
            const bool won = which == 0 ? search.vcf(board, vcfBudget, &line) : search.vct(board, vctBudget, &line);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            Tally& t = which == 0 ? vcfTally[kind] : vctTally[kind];
            ++t.positions;
            t.nodes += search.nodes();
            t.seconds += seconds;
            if (won) {
                ++t.proven;
                if (!labelled::lineReplays(moves, line.moves, line.length))
                    ++t.badLines;
            }
        }
    }
    // The board alone: every square in play of every position played and taken
    // back, a thousand times over.
    {
        std::uint64_t pairs = 0, check = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const labelled::Row& p : positions) {
            std::vector<Stone> stones;
            for (std::size_t i = 0; i < p.moves.size(); ++i)
                stones.push_back({p.moves[i], static_cast<int>(i % 2)});
            board.setUp(stones, static_cast<int>(p.moves.size() % 2));
            std::int16_t squares[SQUARE_NB];
            int n = 0;
            for (std::int16_t s : board.inPlay())
                squares[n++] = s;
            for (int round = 0; round < 1000; ++round)
                for (int i = 0; i < n; ++i) {
                    board.play(squares[i]);
                    check += board.count(board.sideToMove(), SHAPE_FIVE);
                    board.undo();
                    ++pairs;
                }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("board: %llu play+undo pairs, %.0f pairs/s (check %llu)\n", static_cast<unsigned long long>(pairs),
                    pairs / seconds, static_cast<unsigned long long>(check));
    }
    std::printf("budgets: vcf %llu nodes, vct %llu nodes a position\n",
                static_cast<unsigned long long>(vcfBudget), static_cast<unsigned long long>(vctBudget));
    for (int which = 0; which < 2; ++which)
        for (int kind = 0; kind < 3; ++kind) {
            const Tally& t = which == 0 ? vcfTally[kind] : vctTally[kind];
            if (!t.positions)
                continue;
            std::printf("%s %-11s positions %4d  proven %4d (%5.1f%%)  bad lines %d  nodes %llu  nodes/s %.0f\n",
                        which == 0 ? "vcf" : "vct", kinds[kind], t.positions, t.proven,
                        100.0 * t.proven / t.positions, t.badLines, static_cast<unsigned long long>(t.nodes),
                        t.seconds > 0 ? t.nodes / t.seconds : 0.0);
        }
    return 0;
}
