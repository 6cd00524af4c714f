#include <gtest/gtest.h>
#include <sys/mman.h>

#include <string.h>

#include <vector>

#include "measure.h"

namespace {

const uint32_t kUntouched = 0xDEADBEEF;

// A page that faults on any read: proves that a refused call looks at no character.
const char *noAccessPage()
{
    static void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return static_cast<const char *>(page);
}

TEST(MeasureStr, EmptyStringHasLengthZeroForEveryBound)
{
    for (uint32_t bound : {1u, 2u, 100u, MAX_MEASURE}) {
        uint32_t len = kUntouched;
        EXPECT_EQ(S_OK, measureStr("", bound, &len)) << bound;
        EXPECT_EQ(0u, len) << bound;
    }
}

TEST(MeasureStr, LongestMeasurableStringIsOneBelowTheBound)
{
    // Exactly maxLen bytes on the heap and no terminator among them: the sanitizers
    // catch any look past the bound.
    std::vector<char> exact(5, 'x');
    uint32_t len = kUntouched;
    EXPECT_EQ(E_INVALIDARG, measureStr(exact.data(), 5, &len));
    EXPECT_EQ(kUntouched, len);

    EXPECT_EQ(S_OK, measureStr("abcd", 5, &len));
    EXPECT_EQ(4u, len);
    EXPECT_EQ(E_INVALIDARG, measureStr("abcde", 5, &len));
    EXPECT_EQ(4u, len);

    // Strings that end right before an unmapped page, at every alignment: a look past the
    // terminator or the bound that leaves the string's own block faults.
    char *two = (char *)mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, (void *)two);
    ASSERT_EQ(0, mprotect(two + 4096, 4096, PROT_NONE));
    memset(two, 'x', 4096);
    for (uint32_t n = 1; n <= 40; n++) {
        const char *s = two + 4096 - n;
        EXPECT_EQ(E_INVALIDARG, measureStr(s, n, &len)) << n;
        two[4095] = '\0';
        EXPECT_EQ(S_OK, measureStr(s, n, &len)) << n;
        EXPECT_EQ(n - 1, len);
        two[4095] = 'x';
    }
    munmap(two, 8192);
}

TEST(MeasureStr, StopsAtTheFirstNul)
{
    uint32_t len = kUntouched;
    EXPECT_EQ(S_OK, measureStr("ab\0cd", MAX_MEASURE, &len));
    EXPECT_EQ(2u, len);
}

TEST(MeasureStr, ZeroBoundFailsEvenForAnEmptyString)
{
    uint32_t len = kUntouched;
    EXPECT_EQ(E_INVALIDARG, measureStr("", 0, &len));
    EXPECT_EQ(kUntouched, len);
    // A bound of 0 reads nothing, not even the block the string starts in.
    ASSERT_NE(MAP_FAILED, (void *)noAccessPage());
    EXPECT_EQ(E_INVALIDARG, measureStr(noAccessPage(), 0, &len));
    EXPECT_EQ(kUntouched, len);
}

TEST(MeasureStr, BadArgumentsFailWithoutReadingOrWriting)
{
    ASSERT_NE(MAP_FAILED, (void *)noAccessPage());
    uint32_t len = kUntouched;
    EXPECT_EQ(E_INVALIDARG, measureStr(nullptr, 10, &len));
    EXPECT_EQ(E_INVALIDARG, measureStr(noAccessPage(), 0x80000000u, &len));
    EXPECT_EQ(E_INVALIDARG, measureStr(noAccessPage(), 0xFFFFFFFFu, &len));
    EXPECT_EQ(kUntouched, len);
}

TEST(MeasureStr, NullOutLenStillReportsTheStatus)
{
    EXPECT_EQ(S_OK, measureStr("abc", 4, nullptr));
    EXPECT_EQ(E_INVALIDARG, measureStr("abc", 3, nullptr));
}

} // namespace
