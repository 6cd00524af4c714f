#include <gtest/gtest.h>

#include <string>

#include "blocks.h"
#include "format.h"

namespace {

struct Counts {
    uint32_t crlf, lf, cr;
};

Counts count(const std::string &s)
{
    Counts c = {99, 99, 99};
    countSeps(s.data(), (uint32_t)s.size(), &c.crlf, &c.lf, &c.cr);
    return c;
}

FileFormat detect(const std::string &s)
{
    Counts c = count(s);
    return pickFormat(c.crlf, c.lf, c.cr);
}

std::string repeat(const std::string &s, int n)
{
    std::string r;
    for (int i = 0; i < n; i++)
        r += s;
    return r;
}

#define EXPECT_COUNTS(crlf_, lf_, cr_, text)      \
    do {                                          \
        Counts c_ = count(text);                  \
        EXPECT_EQ(crlf_, c_.crlf) << "crlf";      \
        EXPECT_EQ(lf_, c_.lf) << "lf";            \
        EXPECT_EQ(cr_, c_.cr) << "cr";            \
    } while (0)

TEST(CountSeps, EachKindOfSeparator)
{
    EXPECT_COUNTS(2u, 0u, 0u, std::string("a\r\nb\r\n"));
    EXPECT_COUNTS(0u, 2u, 0u, std::string("a\nb\n"));
    EXPECT_COUNTS(0u, 0u, 2u, std::string("a\rb\r"));
    EXPECT_COUNTS(0u, 0u, 0u, std::string("no separators at all"));
    EXPECT_COUNTS(0u, 0u, 0u, std::string());
}

TEST(CountSeps, LfAtIndexZeroIsNeverCounted)
{
    EXPECT_COUNTS(0u, 0u, 0u, std::string("\n"));
    EXPECT_COUNTS(0u, 1u, 0u, std::string("\n\n"));
}

TEST(CountSeps, TrailingLoneCrCounts)
{
    EXPECT_COUNTS(0u, 0u, 1u, std::string("x\r"));
    EXPECT_COUNTS(0u, 0u, 1u, std::string("\r"));
}

TEST(CountSeps, CrCrLfIsOneCrAndOnePair)
{
    EXPECT_COUNTS(1u, 0u, 1u, std::string("\r\r\n"));
    EXPECT_COUNTS(1u, 1u, 0u, std::string("\r\n\n"));
}

TEST(CountSeps, NulInsideDoesNotStopTheCount)
{
    EXPECT_COUNTS(1u, 1u, 1u, std::string("a\0b\r\nc\nd\r", 10));
    // A NUL before an LF is "not a CR": the LF counts as Unix.
    EXPECT_COUNTS(0u, 1u, 0u, std::string("\0\n", 2));
}

TEST(CountSeps, NeverReadsPastTheSize)
{
    // The byte after the buffer would make this a pair; the last CR must count alone.
    std::string s("ab\r\n");
    Counts c = {0, 0, 0};
    countSeps(s.data(), 3, &c.crlf, &c.lf, &c.cr);
    EXPECT_EQ(0u, c.crlf);
    EXPECT_EQ(1u, c.cr);
}

TEST(CountSeps, LongRunsAndEveryBlockEdge)
{
    // Long runs overflow 8-bit per-lane counters unless they are summed in time.
    EXPECT_COUNTS(0u, 0u, 70001u, std::string(70001, '\r'));
    EXPECT_COUNTS(0u, 70000u, 0u, std::string(70001, '\n'));
    EXPECT_COUNTS(35000u, 0u, 0u, repeat("\r\n", 35000));
    // Replacing sizes its result with this count: short by one summing round, a longer newS
    // would overflow the result, while a shorter one hides the fault in a roomier buffer.
    EXPECT_EQ(35000u, charOps(1)->countPairs(repeat("\r\n", 35000).data(), 70000, "\r", "\n"));
    // A pair split across every possible block edge, and a CR ending the buffer there.
    for (size_t at = 0; at < 40; at++) {
        std::string s(at, 'x');
        SCOPED_TRACE(at);
        EXPECT_COUNTS(1u, 0u, 0u, s + "\r\n" + std::string(40, 'y'));
        EXPECT_COUNTS(0u, 0u, 1u, s + "\r");
    }
    // The switch that the plain runs and the fuzzers' plain passes stand on.
    const char *plainEnv = getenv("PELLMARK_PLAIN");
    int plain = plainEnv != NULL && *plainEnv != '\0';
    EXPECT_EQ(!plain, blockKernels()) << "PELLMARK_PLAIN";
    setBlockKernels(0);
    EXPECT_EQ(0, blockKernels());
    setBlockKernels(1);
    EXPECT_EQ(1, blockKernels()) << "every x86_64 processor has SSE2";
    setBlockKernels(!plain);
}

TEST(PickFormat, MoreThanNineTenthsDecides)
{
    EXPECT_EQ(FileFormat::Windows, detect(repeat("x\r\n", 10) + "y\n"));
    EXPECT_EQ(FileFormat::Unknown, detect(repeat("x\r\n", 9) + "y\n"));
    EXPECT_EQ(FileFormat::Unix, detect(repeat("x\n", 10) + "y\r"));
    EXPECT_EQ(FileFormat::Unknown, detect(repeat("x\n", 9) + "y\r"));
    EXPECT_EQ(FileFormat::Mac, detect(repeat("x\r", 10) + "y\r\n"));
    EXPECT_EQ(FileFormat::Unknown, detect(repeat("x\r", 9) + "y\r\n"));
}

TEST(PickFormat, NothingOrAnEvenMixIsUnknown)
{
    EXPECT_EQ(FileFormat::Unknown, detect("no separators"));
    EXPECT_EQ(FileFormat::Unknown, detect("\n"));
    EXPECT_EQ(FileFormat::Unknown, detect("a\r\nb\n"));
    EXPECT_EQ(FileFormat::Windows, detect("a\r\n"));
    EXPECT_EQ(FileFormat::Unix, detect("a\n"));
    EXPECT_EQ(FileFormat::Mac, detect("a\r"));
}

TEST(PickFormat, LargeCountsDoNotOverflow)
{
    // Counts beyond 31 bits: 10 x count in 32 bits would wrap and lose the answer.
    EXPECT_EQ(FileFormat::Windows, pickFormat(4000000000u, 1, 1));
    EXPECT_EQ(FileFormat::Unix, pickFormat(0, 0xFFFFFFFFu, 0));
    EXPECT_EQ(FileFormat::Unknown, pickFormat(2000000000u, 2000000000u, 0));
    // Exactly nine tenths is not enough, also at this scale.
    EXPECT_EQ(FileFormat::Unknown, pickFormat(3600000000u, 400000000u, 0));
    EXPECT_EQ(FileFormat::Mac, pickFormat(0, 400000000u, 3600000001u));
}

} // namespace
