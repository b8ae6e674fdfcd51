// Reading record files: the two leading words, the triples with their
// one-character separators, and every way a record can end or be refused.
#include <gtest/gtest.h>

#include <vector>

#include "learn/learn.h"

namespace kelmo {
namespace {

using Ints = std::vector<std::int32_t>;

TEST(ReadRecord, TriplesAndTheirEnds) {
    struct Case {
        const char* what;
        const char* text;
        Ints X, Y;
    } cases[] = {
        {"plain", "a b\n10,10,0\n9,11,5\n", {10, 9}, {10, 11}},
        {"blanks around separators", "a b 7 , 8 , 0", {7}, {8}},
        {"a blank is no separator: the 8 is swallowed", "a b 7 8 0", {7}, {0}},
        {"any character separates", "a b 7;8x0 1y2z3", {7, 1}, {8, 2}},
        {"signed integers", "a b +7,+8,-3", {7}, {8}},
        {"line structure does not matter", "a b 1,2,\n3 4,5,6\t7,\r\n8,9", {1, 4, 7}, {2, 5, 8}},
        {"CR LF line ends", "a\tb\r\n7,8,0\r\n9,9,0\r\n", {7, 9}, {8, 9}},
        {"last triple without line end", "a b\n10,10,0\n12,10,345", {10, 12}, {10, 10}},
        {"last triple with line end", "a b\n10,10,0\n12,10,345\n", {10, 12}, {10, 10}},
        {"last triple followed by names", "a b\n10,10,0\n12,10,345\nAlice Bob\n3,3,3\n", {10, 12}, {10, 10}},
        {"last triple stops after y", "a b\n10,10,0\n12,10", {10, 12}, {10, 10}},
        {"last triple stops after its separator", "a b\n10,10,0\n12,10,", {10, 12}, {10, 10}},
        {"triple cut after x ends the record before it", "a b\n10,10,0\n12,", {10}, {10}},
        {"bare x at the end", "a b\n10,10,0\n12", {10}, {10}},
        {"y that is not a number", "a b\n10,10,0\n12,zz,0\n", {10}, {10}},
        {"t that is not a number ends after the triple", "a b\n10,10,0\n12,11,x\n5,5,5", {10, 12}, {10, 11}},
        {"t of any size is thrown away", "a b 1,2,99999999999999999999 3,4,-1", {1, 3}, {2, 4}},
        {"words of any length",
         "a-name-far-longer-than-thirty-characters-with-more another-word-longer-than-thirty-chars 1,2,3", {1},
         {2}},
        {"edges of the coordinate range", "a b 0,399,0 399,0,0", {0, 399}, {399, 0}},
        {"no triples", "a b\n", {}, {}},
        {"one word only", "lonely", {}, {}},
        {"empty file", "", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ints X{99}, Y{99};
        EXPECT_TRUE(readRecord(c.text, X, Y));
        EXPECT_EQ(X, c.X);
        EXPECT_EQ(Y, c.Y);
    }
}

TEST(ReadRecord, OutOfRangeCoordinateRefusesTheFile) {
    const char* cases[] = {
        "a b\n-1,10,0\n10,10,0\n",
        "a b\n10,10,0\n10,-1,0\n",
        "a b\n10,10,0\n11,11,0\n400,3,0\n",
        "a b\n10,10,0\n3,400,0\n",
        "a b\n10,10,0\n99999999999999999999,3,0\n",
        "a b\n10,10,0\n3,-99999999999999999999,0\n",
        // Refused even after a later line would have ended the record.
        "a b\n10,10,0\n-1\nAlice\n",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        Ints X, Y;
        EXPECT_FALSE(readRecord(text, X, Y));
    }
}

TEST(RecordName, SubstringRuleIsCaseSensitive) {
    struct Case {
        const char* name;
        bool record;
    } cases[] = {
        {"a.rec", true},     {"a.record", true}, {"a.rec.old", true}, {".rec", true},  {"x.recx.txt", true},
        {"A.REC", false},    {"a.Rec", false},   {"arec", false},     {"notes.txt", false}, {".", false},
        {"..", false},       {"a.re", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isRecordName(c.name), c.record) << c.name;
}

} // namespace
} // namespace kelmo
