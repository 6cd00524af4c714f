#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "blocks.h"
#include "format.h"
#include "measure.h"
#include "record.h"
#include "reference.h"
#include "replace.h"
#include "report.h"

namespace {

const MessageReport kSourceError = {nullptr,
    "Failed to read input properly!\nThis could be because it is simply too large.", "Error", IconError};
const MessageReport kOldError = {nullptr,
    "Program Error!\nPlease notify the developer: replaceStr oldS error.", "Error", IconError};
const MessageReport kNewError = {nullptr,
    "Program Error!\nPlease notify the developer: replaceStr newS error.", "Error", IconError};

class ReplaceStr : public ::testing::Test {
protected:
    void SetUp() override { clearReports(); }
    void TearDown() override { free(out); }

    // Runs replaceStr, expecting it to build a result, and returns that as a string.
    std::string run(const char *src, const char *oldS, const char *newS)
    {
        EXPECT_EQ(1, replaceStr(src, oldS, newS, &out));
        if (out == nullptr)
            return "<null>";
        return std::string(out);
    }

    char *out = nullptr;
};

TEST_F(ReplaceStr, SeparatorConversions)
{
    EXPECT_EQ("a\nb\n", run("a\r\nb\r\n", "\r\n", "\n"));
    EXPECT_EQ("a\r\nb\r\n", run("a\nb\n", "\n", "\r\n"));
    EXPECT_EQ("a\rb\r", run("a\r\nb\r\n", "\r\n", "\r"));
    EXPECT_EQ("\r\na\r\n", run("\ra\r", "\r", "\r\n"));
    EXPECT_TRUE(reports.empty());
}

TEST_F(ReplaceStr, LfToCrLfIsAPlainSubstringReplacement)
{
    // An existing CR LF gains a second CR: nothing but LF is looked at.
    EXPECT_EQ("a\r\nb\r\r\n", run("a\nb\r\n", "\n", "\r\n"));
}

TEST_F(ReplaceStr, CrToLfTurnsCrCrLfIntoThreeLfs)
{
    EXPECT_EQ("\n\n\n", run("\r\r\n", "\r", "\n"));
}

TEST_F(ReplaceStr, SourceWithoutOccurrenceIsCopiedExactly)
{
    EXPECT_EQ("plain text\twith \x7f and \xff bytes", run("plain text\twith \x7f and \xff bytes", "\r\n", "\n"));
}

TEST_F(ReplaceStr, OldEqualToNewCopiesTheSource)
{
    EXPECT_EQ("x\r\ny\r\n", run("x\r\ny\r\n", "\r\n", "\r\n"));
}

TEST_F(ReplaceStr, StopsAtTheFirstNul)
{
    const char src[] = "a\nb\0c\n";
    EXPECT_EQ("a\r\nb", run(src, "\n", "\r\n"));
}

TEST_F(ReplaceStr, SeparatorAtEitherEndAndOnly)
{
    EXPECT_EQ("\n", run("\r\n", "\r\n", "\n"));
    EXPECT_EQ("\r\n\r\n", run("\n\n", "\n", "\r\n"));
    EXPECT_EQ("\nx", run("\r\nx", "\r\n", "\n"));
    // A lone CR at the end is not half of a CR LF.
    EXPECT_EQ("x\r", run("x\r", "\r\n", "\n"));
}

TEST_F(ReplaceStr, LongTextsAndEveryBlockEdge)
{
    EXPECT_EQ(std::string(140000, '\n'), run(std::string(70000, '\r').c_str(), "\r", "\n\n"));
    std::string crlf;
    for (int i = 0; i < 30000; i++)
        crlf += "\r\n";
    EXPECT_EQ(std::string(30000, '\n'), run(crlf.c_str(), "\r\n", "\n"));
    for (size_t at = 0; at < 40; at++) {
        std::string pad(at, 'x');
        EXPECT_EQ(pad + "\n" + pad, run((pad + "\r\n" + pad).c_str(), "\r\n", "\n")) << at;
        EXPECT_EQ(pad + "\r", run((pad + "\r").c_str(), "\r\n", "\n")) << at;
    }
    // Lines of 0 to 40 bytes ended by every kind of separator and by odd mixes, over many
    // 4 KiB rounds of the copy, for each pair of separators, against a plain walk.
    std::string text;
    const char *const ends[] = {"\r\n", "\n", "\r", "\r\r\n", "\n\r"};
    for (uint32_t n = 0, rng = 1; n < 20000; n++) {
        rng = rng * 1103515245u + 12345u;
        text += std::string((rng >> 16) % 41, 'a' + n % 26) + ends[(rng >> 8) % 5];
    }
    const char *const seps[] = {"\r\n", "\n", "\r"};
    for (const char *oldS : seps) {
        for (const char *newS : seps) {
            std::string want;
            for (size_t p = 0; p < text.size();) {
                bool at = text.compare(p, strlen(oldS), oldS) == 0;
                want += at ? std::string(newS) : text.substr(p, 1);
                p += at ? strlen(oldS) : 1;
            }
            EXPECT_TRUE(want == run(text.c_str(), oldS, newS)) << (int)oldS[0] << " to " << (int)newS[0];
            // The copy alone, into a result at every place within a 16-byte block.
            std::string buf(want.size() + 17, '?');
            for (size_t at = 0; at < 16; at++) {
                charOps(1)->copyReplace(text.c_str(), (uint32_t)text.size(), oldS, (uint32_t)strlen(oldS), newS,
                                        (uint32_t)strlen(newS), &buf[at]);
                EXPECT_TRUE(buf.compare(at, want.size() + 1, want.c_str(), want.size() + 1) == 0) << at;
            }
        }
    }

    // At the sizes people convert: 6 MiB, far past the caches and through some two thousand
    // rounds of the copy, the kernels against the plain loops.
    if (!blockKernels())
        return;
    std::string big;
    for (uint32_t n = 0, rng = 7; big.size() < (6u << 20); n++) {
        rng = rng * 1103515245u + 12345u;
        big += std::string((rng >> 16) % 97, 'a' + n % 26) + ends[(rng >> 8) % 5];
    }
    for (const char *oldS : seps) {
        for (const char *newS : seps) {
            setBlockKernels(0);
            std::string plain = run(big.c_str(), oldS, newS);
            setBlockKernels(1);
            std::string blocks = run(big.c_str(), oldS, newS);
            ASSERT_EQ(plain.size(), blocks.size()) << (int)oldS[0] << " to " << (int)newS[0];
            size_t diff = std::mismatch(plain.begin(), plain.end(), blocks.begin()).first - plain.begin();
            EXPECT_EQ(plain.size(), diff) << (int)oldS[0] << " to " << (int)newS[0] << ": first difference";
        }
    }
}

// text after its mark in UTF-16 LE, UTF-16 BE, UTF-32 LE or UTF-32 BE (form 0 to 3).
std::string encodeText(int form, const std::u32string &text)
{
    std::vector<uint32_t> units = {0xFEFF};
    for (uint32_t c : text) {
        if (form < 2 && c > 0xFFFF) {
            units.push_back(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        units.push_back(c);
    }
    return refBytes(units, {form < 2 ? 2u : 4u, form % 2 == 1});
}

TEST(TextForms, EachIsConvertedAndCountedInItsOwnCharacters)
{
    // Characters whose bytes look like separators' (U+010A, U+010D, U+0A0D, U+0D0A), a
    // surrogate pair, bytes too few for a character, a NUL character inside and last, the mark
    // alone, and a text long enough for the block kernels, its separators at every place in a
    // block.
    std::u32string longText;
    const char32_t *const pieces[] = {U"\r\n", U"\n", U"\r", U"\u010A", U"\u0D0A", U"x", U"\U0001F600", U"\r\r\n"};
    for (uint32_t n = 0, rng = 5; n < 30000; n++) {
        rng = rng * 1103515245u + 12345u;
        longText += pieces[(rng >> 16) % 8];
    }
    const struct {
        std::u32string text;
        size_t tail;
    } rows[] = {
        {U"a\u010A\r\nb\u010D\nc\u0A0D\rd\u0D0A\r\r\ne\n\rf", 0},
        {U"\U0001F600\r\n\U0001F600\n", 0},
        {U"odd\r\ntail\r", 3},
        {std::u32string(U"a\r\n\0b\r\n", 7), 1},
        {std::u32string(U"a\r\n\0", 4), 0},
        {U"", 0},
        {longText, 0},
    };
    // A UTF-8 mark leaves a text 8-bit (U+010A is C4 8A there); so does the lack of a mark, and
    // then a NUL byte anywhere, as in UTF-16 LE, ends it early.
    std::vector<std::string> files = {"\xEF\xBB\xBF" "a\xC4\x8A\r\nb\n\rc", std::string("\0a\r\nb", 5),
                                      std::string("a\r\n\0b\n", 6), std::string("a\r\nb\0", 5), std::string(3, '\0'),
                                      std::string("o\0n\0e\0\r\0\n\0t\0w\0o\0", 16)};
    for (const auto &row : rows) {
        for (int form = 0; form < 4; form++) {
            // After the characters, the first bytes of an LF, which with the NUL after the
            // buffer would make a whole one.
            size_t tail = std::min(row.tail, form < 2 ? (size_t)1 : 3);
            files.push_back(encodeText(form, row.text) + std::string("\n\0\0", 3).substr(0, tail));
        }
    }
    const char *const seps[] = {"\r\n", "\n", "\r"};
    for (const std::string &file : files) {
        SCOPED_TRACE("a file of " + std::to_string(file.size()) + " bytes, " + std::to_string((unsigned char)file[1]) + " second");
        uint32_t want[3], got[3];
        refCount(file, &want[0], &want[1], &want[2]);
        countSeps(file.c_str(), (uint32_t)file.size(), &got[0], &got[1], &got[2]);
        EXPECT_TRUE(std::equal(want, want + 3, got)) << got[0] << " " << got[1] << " " << got[2];
        for (const char *inSep : seps) {
            for (const char *outSep : seps) {
                std::string expected;
                int made = refConvert(file, inSep, outSep, &expected);
                char *res = nullptr;
                uint32_t len = 0;
                EXPECT_EQ(made, convertText(file.c_str(), (uint32_t)file.size(), inSep, outSep, &res, &len));
                EXPECT_TRUE(made != TextOk || std::string(res, len) == expected)
                    << (int)inSep[0] << " to " << (int)outSep[0];
                free(res);
            }
        }
    }
}

TEST(TextForms, AUtf32TextJustUnder4GiBIsReadToItsEnd)
{
    // Its mark, 0x3FFFFFFD characters "a", a NUL character and the byte "x", with the NUL a
    // read puts after it and an unmapped page after that: 4 GiB of addresses, 16 MiB of memory
    // mapped over and over, so that every index near the top of the 32-bit range is really
    // walked, and a search that stopped early would find no NUL.
    const size_t chunk = 16u << 20, size = 0xFFFFFFFDu, span = 1ull << 32;
    int fd = memfd_create("utf32", 0);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, chunk) == 0);
    char *one = (char *)mmap(nullptr, chunk, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(MAP_FAILED, one);
    for (size_t i = 0; i < chunk; i += 4)
        one[i] = 'a';
    munmap(one, chunk);
    char *buf = (char *)mmap(nullptr, span + 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(MAP_FAILED, buf);
    for (size_t at = 0; at < span; at += chunk)
        ASSERT_EQ(buf + at, mmap(buf + at, chunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, 0));
    memcpy(buf, "\xFF\xFE\0\0", 4);
    buf[size - 5] = '\0';
    buf[size - 1] = 'x';
    buf[size] = '\0';

    EXPECT_EQ(0x3FFFFFFEu, charOps(4)->findNul(buf, size / 4)) << "the search stopped short";
    char *out = nullptr;
    uint32_t len = 0;
    EXPECT_EQ(TextHasNul, convertText(buf, size, "\r", "\n", &out, &len));
    EXPECT_EQ(nullptr, out);
    munmap(buf, span + 4096);
    close(fd);
}

TEST_F(ReplaceStr, SelfOverlappingOldIsCountedAsItIsReplaced)
{
    // "aa" in "aaaaa" occurs at four places but is replaced twice; a result sized
    // from four would be too short when newS is shorter (the sanitizers see the overrun).
    EXPECT_EQ("bba", run("aaaaa", "aa", "b"));
    EXPECT_EQ("xyzxyza", run("aaaaa", "aa", "xyz"));
    EXPECT_EQ("a-aba", run("abababa", "bab", "-"));
}

TEST_F(ReplaceStr, EmptyStringsBuildNothingAndSayNothing)
{
    char sentinel[] = "untouched";
    out = sentinel;
    EXPECT_EQ(0, replaceStr("", "\n", "\r\n", &out));
    EXPECT_EQ(0, replaceStr("abc", "", "\r\n", &out));
    EXPECT_EQ(0, replaceStr("abc", "\n", "", &out));
    const char nulFirst[] = "\0a\nb";
    EXPECT_EQ(0, replaceStr(nulFirst, "\n", "\r\n", &out));
    EXPECT_EQ(sentinel, out);
    EXPECT_TRUE(reports.empty());
    out = nullptr;
}

TEST_F(ReplaceStr, PreviousBufferIsFreedAndReplaced)
{
    // The leak checker fails this test if the old buffer is not freed.
    out = static_cast<char *>(malloc(64));
    strcpy(out, "old");
    EXPECT_EQ("n\r\n", run("n\n", "\n", "\r\n"));
}

TEST_F(ReplaceStr, EachUnmeasurableStringIsReportedInOrder)
{
    char sentinel[] = "untouched";
    out = sentinel;
    EXPECT_EQ(0, replaceStr(nullptr, "\n", "\r\n", &out));
    EXPECT_EQ(0, replaceStr("a\n", nullptr, "\r\n", &out));
    EXPECT_EQ(0, replaceStr("a\n", "\n", nullptr, &out));
    EXPECT_EQ(0, replaceStr(nullptr, nullptr, nullptr, &out));
    EXPECT_EQ(sentinel, out);
    const std::vector<MessageReport> expected = {kSourceError, kOldError, kNewError,
                                                 kSourceError, kOldError, kNewError};
    EXPECT_EQ(expected, reports);
    out = nullptr;
}

// A string of MAX_MEASURE characters without a terminator, as a 2 GiB input
// without a NUL would be.
class HugeText : public ReplaceStr {
protected:
    void SetUp() override
    {
        ReplaceStr::SetUp();
        void *p = mmap(nullptr, MAX_MEASURE, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        ASSERT_NE(MAP_FAILED, p);
        huge = static_cast<char *>(p);
        memset(huge, 'a', MAX_MEASURE);
    }
    void TearDown() override
    {
        if (huge != nullptr)
            munmap(huge, MAX_MEASURE);
        ReplaceStr::TearDown();
    }
    char *huge = nullptr;
};

TEST_F(HugeText, TooLongStringsAreReportedAndNothingIsBuilt)
{
    EXPECT_EQ(0, replaceStr(huge, huge, huge, &out));
    EXPECT_EQ(nullptr, out);
    const std::vector<MessageReport> expected = {kSourceError, kOldError, kNewError};
    EXPECT_EQ(expected, reports);
}

TEST_F(ReplaceStr, ResultTooLongForA32BitCountIsRefused)
{
    // 4.3 million separators, each becoming 1000 bytes: over 4 GiB of result.
    std::string src(4300000, '\n');
    std::string newS(1000, 'x');
    out = static_cast<char *>(malloc(16));
    EXPECT_EQ(0, replaceStr(src.c_str(), "\n", newS.c_str(), &out));
    EXPECT_EQ(nullptr, out);
    // Exactly 2^32 - 1 bytes: with its terminator, no 32-bit count holds the buffer's size.
    std::string exact(65537, '\n');
    std::string wide(65535, 'x');
    out = static_cast<char *>(malloc(16));
    EXPECT_EQ(0, replaceStr(exact.c_str(), "\n", wide.c_str(), &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_TRUE(reports.empty());
}

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif

TEST_F(ReplaceStr, FailedAllocationLeavesNoDanglingBuffer)
{
#ifdef UNDER_ASAN
    GTEST_SKIP() << "an address-space limit breaks the sanitizer's shadow memory";
#else
    // 3 million separators of 1000 bytes: a 3 GB result that a 1 GiB address space cannot hold.
    std::string src(3000000, '\n');
    std::string newS(1000, 'x');
    rlimit old;
    ASSERT_EQ(0, getrlimit(RLIMIT_AS, &old));
    rlimit low = old;
    low.rlim_cur = 1ull << 30;
    ASSERT_EQ(0, setrlimit(RLIMIT_AS, &low));
    out = static_cast<char *>(malloc(16));
    int res = replaceStr(src.c_str(), "\n", newS.c_str(), &out);
    setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(0, res);
    EXPECT_EQ(nullptr, out);
    EXPECT_TRUE(reports.empty());
#endif
}

} // namespace
