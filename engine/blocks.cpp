#include <string.h>

#include "blocks.h"

int occursAt(const char *p, const char *s, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++) {
        if (p[i] != s[i])
            return 0;
    }
    return 1;
}

// The plain loops, on byte positions that step a character at a time. Each also finishes
// what a block kernel leaves: the text from where it stopped.

template <int W>
static inline int same(const char *p, const char *c)
{
    for (int k = 0; k < W; k++) {
        if (p[k] != c[k])
            return 0;
    }
    return 1;
}

static const char nulChar[4] = {0, 0, 0, 0};

template <int W>
static uint32_t findCharPlain(const char *s, uint32_t from, uint32_t len, const char *c)
{
    uint32_t i = from * W, n = len * W;
    while (i < n && !same<W>(s + i, c))
        i += W;
    return i / W;
}

template <int W>
static uint32_t findNulPlain(const char *s, uint32_t maxLen)
{
    return findCharPlain<W>(s, 0, maxLen, nulChar);
}

template <int W>
static uint32_t countCharPlain(const char *s, uint32_t len, const char *c)
{
    uint32_t cnt = 0;
    for (uint32_t i = 0, n = len * W; i < n; i += W)
        cnt += same<W>(s + i, c);
    return cnt;
}

template <int W>
static uint32_t countPairsPlain(const char *s, uint32_t len, const char *a, const char *b)
{
    uint32_t cnt = 0;
    for (uint32_t i = 0, n = len * W; i + W < n; i += W)
        cnt += same<W>(s + i, a) && same<W>(s + i + W, b);
    return cnt;
}

template <int W>
static void countPairPartsPlain(const char *s, uint32_t len, const char *a, const char *b, uint32_t *nA, uint32_t *nB,
                                uint32_t *nAB)
{
    uint32_t cA = 0, cB = 0, cAB = 0;
    for (uint32_t i = 0, n = len * W; i < n; i += W) {
        int isA = same<W>(s + i, a);
        int isB = same<W>(i + W < n ? s + i + W : nulChar, b);
        cA += isA;
        cB += isB;
        cAB += isA & isB;
    }
    *nA = cA;
    *nB = cB;
    *nAB = cAB;
}

template <int W>
static void copyReplacePlain(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen, const char *newS,
                             uint32_t newLen, char *dst)
{
    uint32_t i = 0, o = 0, n = srcLen * W, oldBytes = oldLen * W, newBytes = newLen * W;
    while (i < n) {
        if (n - i >= oldBytes && occursAt(src + i, oldS, oldBytes)) {
            memcpy(dst + o, newS, newBytes);
            i += oldBytes;
            o += newBytes;
        } else {
            memcpy(dst + o, src + i, W);
            i += W;
            o += W;
        }
    }
    memset(dst + o, 0, W);
}

#define PLAIN_OPS(W) \
    {W, findCharPlain<W>, findNulPlain<W>, countCharPlain<W>, countPairsPlain<W>, countPairPartsPlain<W>, copyReplacePlain<W>}
static const CharOps plainOps[3] = {PLAIN_OPS(1), PLAIN_OPS(2), PLAIN_OPS(4)};

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>

// Compiled for SSE2 alone, and kept apart in .blocks, where the SSE check looks for them.
#ifdef __i386__
// Windows keeps a 32-bit stack 4-byte aligned, and calls dialog procedures so: realign it.
#define BLOCK_KERNEL __attribute__((target("sse2"), force_align_arg_pointer, section(".blocks")))
#else
#define BLOCK_KERNEL __attribute__((target("sse2"), section(".blocks")))
#endif
// Inlined into the kernels below; never a function of its own.
#define BLOCK_BODY __attribute__((target("sse2"), always_inline)) static inline

static int sse2Present(void)
{
#ifdef __x86_64__
    return 1;
#else
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0;
#endif
}

// Each lane of W bytes: all ones where a and b hold the same character.
template <int W>
BLOCK_BODY __m128i sameLanes(__m128i a, __m128i b)
{
    if constexpr (W == 1)
        return _mm_cmpeq_epi8(a, b);
    else if constexpr (W == 2)
        return _mm_cmpeq_epi16(a, b);
    else
        return _mm_cmpeq_epi32(a, b);
}

// The character c in every lane.
template <int W>
BLOCK_BODY __m128i splat(const char *c)
{
    char buf[16];
    for (int k = 0; k < 16; k++)
        buf[k] = c[k % W];
    return _mm_loadu_si128((const __m128i *)buf);
}

// A byte mask's bits that stand for whole characters: the first of each lane's W bits.
template <int W>
static constexpr unsigned laneStarts = W == 1 ? 0xFFFF : W == 2 ? 0x5555 : 0x1111;

// The byte lanes of acc added up, over the W bytes a character's count was added to.
template <int W>
BLOCK_BODY uint32_t laneSum(__m128i acc)
{
    __m128i sum = _mm_sad_epu8(acc, _mm_setzero_si128());
    return (uint32_t)(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8))) / W;
}

// Where a loop keeps several counts, GCC 12 copies them from register to register at every
// block, which took a fifth off detection's speed: this holds each in its register.
#define KEEP_IN_REGISTER(v) __asm__("" : "+x"(v))

// How many blocks of step bytes a round takes from the left bytes: no more than 255, so
// that a byte lane's count cannot overflow.
BLOCK_BODY uint32_t roundOf(uint32_t left, uint32_t step)
{
    return left / step < 255 ? left / step : 255;
}

// The block kernels. Each does whole 16-byte blocks, counting in bytes from the text's first
// character, so that a block's lanes are its characters of W bytes; the plain loop does the
// rest from the first character it has not settled (one found, or the first of those too
// few for a block).

template <int W>
BLOCK_BODY uint32_t findCharBlocks(const char *s, uint32_t from, uint32_t len, const char *c)
{
    const __m128i pat = splat<W>(c);
    uint32_t p = from * W, n = len * W;
    while (n - p >= 16) {
        int hits = _mm_movemask_epi8(sameLanes<W>(_mm_loadu_si128((const __m128i *)(s + p)), pat));
        if (hits != 0)
            return (p + (uint32_t)__builtin_ctz((unsigned)hits)) / W;
        p += 16;
    }
    return findCharPlain<W>(s, p / W, len, c);
}

// From aligned blocks: an aligned load never crosses into another page, so the bytes it
// reads before the string or past its terminator or bound lie in a page the string itself
// occupies; they are masked off or judged against the bound, never counted. A string of
// wider characters that does not start on a character's boundary is left to the plain loop.
// AddressSanitizer would call those loads out of bounds; the fuzz target holds this kernel
// to the plain walk on strings that end right before an unmapped page instead.
template <int W>
BLOCK_BODY __attribute__((no_sanitize_address)) uint32_t findNulBlocks(const char *s, uint32_t maxLen)
{
    // A bound of 0 reads nothing at all, not even the block the string starts in.
    if (maxLen == 0 || (uintptr_t)s % W != 0)
        return findNulPlain<W>(s, maxLen);
    const __m128i zero = _mm_setzero_si128();
    uint32_t skip = (uint32_t)((uintptr_t)s & 15);
    const __m128i *blk = (const __m128i *)(s - skip);
    unsigned hits = ((unsigned)_mm_movemask_epi8(sameLanes<W>(_mm_load_si128(blk), zero)) & laneStarts<W>) >> skip;
    // Where a block stands is told by its address, not by a count of bytes: near 4 GiB such
    // a count would wrap and walk on past the bound. A bound beyond the top of the address
    // space (measuring a string above 2 GiB in 32 bits) ends there. at: the string's bytes
    // before the block.
    size_t bytes = (size_t)maxLen * W, room = UINTPTR_MAX - (uintptr_t)s;
    const char *end = bytes < room ? s + bytes : (const char *)UINTPTR_MAX;
    size_t at = 0;
    while (hits == 0 && (const char *)++blk < end) {
        hits = (unsigned)_mm_movemask_epi8(sameLanes<W>(_mm_load_si128(blk), zero)) & laneStarts<W>;
        at = (size_t)((const char *)blk - s);
    }
    size_t n = hits != 0 ? (at + (size_t)__builtin_ctz(hits)) / W : maxLen;
    return n < maxLen ? (uint32_t)n : maxLen;
}

// A compare hit is 0xFF in each of its bytes, i.e. -1: subtracting it counts per byte lane,
// and the lanes are summed before one can overflow at 255. Four sets of lanes, 64 bytes a
// round, keep the additions independent of each other.
template <int W>
BLOCK_BODY uint32_t countCharBlocks(const char *s, uint32_t len, const char *c)
{
    uint32_t cnt = 0, i = 0, n = len * W;
    const __m128i pat = splat<W>(c), zero = _mm_setzero_si128();
    while (n - i >= 64) {
        __m128i acc[4] = {zero, zero, zero, zero};
        for (uint32_t k = roundOf(n - i, 64); k > 0; k--, i += 64) {
            for (int j = 0; j < 4; j++)
                acc[j] = _mm_sub_epi8(acc[j], sameLanes<W>(_mm_loadu_si128((const __m128i *)(s + i + 16 * j)), pat));
        }
        for (int j = 0; j < 4; j++)
            cnt += laneSum<W>(acc[j]);
    }
    return cnt + countCharPlain<W>(s + i, len - i / W, c);
}

// Counted as in countCharBlocks; each block is compared as itself for a and one character
// on for b.
template <int W>
BLOCK_BODY uint32_t countPairsBlocks(const char *s, uint32_t len, const char *a, const char *b)
{
    uint32_t cnt = 0, i = 0, n = len * W;
    const __m128i patA = splat<W>(a), patB = splat<W>(b), zero = _mm_setzero_si128();
    while (n - i >= 32 + W) {
        __m128i acc[2] = {zero, zero};
        for (uint32_t k = roundOf(n - i - W, 32); k > 0; k--, i += 32) {
            for (int j = 0; j < 2; j++) {
                const char *at = s + i + 16 * j;
                __m128i eqA = sameLanes<W>(_mm_loadu_si128((const __m128i *)at), patA);
                __m128i eqB = sameLanes<W>(_mm_loadu_si128((const __m128i *)(at + W)), patB);
                acc[j] = _mm_sub_epi8(acc[j], _mm_and_si128(eqA, eqB));
            }
            KEEP_IN_REGISTER(acc[0]);
            KEEP_IN_REGISTER(acc[1]);
        }
        cnt += laneSum<W>(acc[0]) + laneSum<W>(acc[1]);
    }
    return cnt + countPairsPlain<W>(s + i, len - i / W, a, b);
}

// As in countPairsBlocks, keeping all three counts.
template <int W>
BLOCK_BODY void countPairPartsBlocks(const char *s, uint32_t len, const char *a, const char *b, uint32_t *nA,
                                     uint32_t *nB, uint32_t *nAB)
{
    uint32_t cA = 0, cB = 0, cAB = 0, i = 0, n = len * W;
    const __m128i patA = splat<W>(a), patB = splat<W>(b), zero = _mm_setzero_si128();
    while (n - i >= 16 + W) {
        __m128i accA = zero, accB = zero, accAB = zero;
        for (uint32_t k = roundOf(n - i - W, 16); k > 0; k--, i += 16) {
            __m128i eqA = sameLanes<W>(_mm_loadu_si128((const __m128i *)(s + i)), patA);
            __m128i eqB = sameLanes<W>(_mm_loadu_si128((const __m128i *)(s + i + W)), patB);
            accA = _mm_sub_epi8(accA, eqA);
            accB = _mm_sub_epi8(accB, eqB);
            accAB = _mm_sub_epi8(accAB, _mm_and_si128(eqA, eqB));
            KEEP_IN_REGISTER(accA);
            KEEP_IN_REGISTER(accB);
            KEEP_IN_REGISTER(accAB);
        }
        cA += laneSum<W>(accA);
        cB += laneSum<W>(accB);
        cAB += laneSum<W>(accAB);
    }
    countPairPartsPlain<W>(s + i, len - i / W, a, b, nA, nB, nAB);
    *nA += cA;
    *nB += cB;
    *nAB += cAB;
}

// Up to 16 bytes of s in a vector, zeros after them.
BLOCK_KERNEL static inline __m128i padded(const char *s, uint32_t len)
{
    char buf[16] = {0};
    for (uint32_t k = 0; k < len; k++)
        buf[k] = s[k];
    return _mm_loadu_si128((const __m128i *)buf);
}

// A block with several occurrences, out of the way of the usual one: each in turn, newS
// and then the source after the occurrence. found has a bit at each occurrence's first
// byte; lengths are in bytes. Returns the bytes put out; *took, the source bytes taken
// (more than 16 when a pair starts in the block's last character).
BLOCK_KERNEL __attribute__((noinline)) static uint32_t copySeveral(const char *src, char *out, unsigned found, uint32_t oldLen,
                                                                   __m128i newVec, uint32_t newLen, uint32_t *took)
{
    const unsigned oldMask = (1u << oldLen) - 1;
    uint32_t end = 16;
    int32_t shift = 0;
    while (found != 0) {
        uint32_t k = (uint32_t)__builtin_ctz(found);
        char *o = out + (int32_t)k + shift;
        _mm_storeu_si128((__m128i *)o, newVec);
        _mm_storeu_si128((__m128i *)(o + newLen), _mm_loadu_si128((const __m128i *)(src + k + oldLen)));
        shift += (int32_t)newLen - (int32_t)oldLen;
        // Left to right: an occurrence's own characters never start another.
        found &= ~(oldMask << k);
        if (k + oldLen > end)
            end = k + oldLen;
    }
    *took = end;
    return (uint32_t)((int32_t)end + shift);
}

// The constants of a copy: oldS's characters in every lane, newS's first character in every
// lane, and for the bytes after an occurrence newS's later characters (if any) in the first
// lanes over what `keep` keeps.
struct Seps {
    __m128i first, second, newFirst, newRest, keep, newVec;
};

// Copies src[*p..) to out[*j..), each occurrence of oldS (oldLen characters, a constant where
// this is inlined) replaced by newS, in 16-byte source blocks until *j reaches jEnd or the
// source is 64 bytes from its end; positions and lengths in bytes here. Most blocks hold at
// most one occurrence, and take two stores and no branch on the text: the block with newS's
// first character in the occurrence's place, and from the character after it the rest of
// newS and the source after the occurrence. A block without one stores the latter past its
// own end, where the next block lands after it. Blocks with more go to copySeveral. A block
// puts out at most 32 bytes (16 separators of one byte made two), so *j ends less than 32
// past jEnd; no store reaches more than 20 bytes past *j.
template <int W>
BLOCK_BODY void copyBlocks(
    const char *src, uint32_t srcLen, uint32_t *p, char *out, uint32_t *j, uint32_t jEnd,
    const Seps &c, uint32_t oldLen, uint32_t newLen)
{
    const uint32_t oldBytes = oldLen * W, newBytes = newLen * W;
    const int32_t delta = (int32_t)newBytes - (int32_t)oldBytes;
    uint32_t i = *p, o = *j;
    while (o < jEnd && srcLen - i >= 64) {
        __m128i blk = _mm_loadu_si128((const __m128i *)(src + i));
        // The processor's own prefetcher stops at each page, and each page of a fresh result
        // costs a fault that interrupts its stream: ask for the source well ahead.
        _mm_prefetch(src + i + 4096, _MM_HINT_T0);
        __m128i eq = sameLanes<W>(blk, c.first);
        if (oldLen == 2)
            eq = _mm_and_si128(eq, sameLanes<W>(_mm_loadu_si128((const __m128i *)(src + i + W)), c.second));
        unsigned found = (unsigned)_mm_movemask_epi8(eq) & laneStarts<W>;
        if (__builtin_expect((found & (found - 1)) != 0, 0)) {
            _mm_storeu_si128((__m128i *)(out + o), blk);
            uint32_t took;
            o += copySeveral(src + i, out + o, found, oldBytes, c.newVec, newBytes, &took);
            i += took;
            continue;
        }
        _mm_storeu_si128((__m128i *)(out + o), _mm_or_si128(_mm_andnot_si128(eq, blk), _mm_and_si128(eq, c.newFirst)));
        uint32_t k = (uint32_t)__builtin_ctz(found | 0x10000);
        __m128i rest = _mm_loadu_si128((const __m128i *)(src + i + k + oldBytes - newBytes + W));
        _mm_storeu_si128((__m128i *)(out + o + k + W), _mm_or_si128(_mm_and_si128(rest, c.keep), c.newRest));
        // 1 when the block holds an occurrence, in arithmetic: a branch here would be
        // mispredicted at every few lines.
        uint32_t hit = (found + 0xFFFF) >> 16;
        o += (uint32_t)(16 + (int32_t)hit * delta);
        i += 16;
        // A pair that starts in the block's last character ends in the next block's first.
        // Rare, and a branch: the next block's loads need not wait for this block's compares.
        if (oldLen == 2 && __builtin_expect(found >> (16 - W), 0)) {
            i += W;
            o += W;
        }
    }
    *p = i;
    *j = o;
}

// Separators are one or two characters. The result is built in a small buffer that stays in
// the first-level cache, where the overlapping unaligned stores of copyBlocks are cheap, and
// goes out from there in aligned 16-byte stores, each line of the result written once.
// (Streaming stores, which skip the cache, were slower: the result is a fresh buffer, and
// the system has just zeroed each page through the cache when the first store faults it
// in.) Each round the buffer starts half a page away from the source, counted within a
// page: a load from an address whose last 12 bits match a recent store's waits for that
// store. What remains is the plain loop's.
template <int W>
BLOCK_BODY void copyReplaceBlocks(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                                  const char *newS, uint32_t newLen, char *dst)
{
    enum { Stage = 4096, Page = 4096 };
    static const char ones[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    if (oldLen > 2 || newLen > 2)
        return copyReplacePlain<W>(src, srcLen, oldS, oldLen, newS, newLen, dst);
    __attribute__((aligned(16))) char mem[Stage + Page + 64];
    Seps c;
    c.first = splat<W>(oldS);
    c.second = oldLen == 2 ? splat<W>(oldS + W) : _mm_setzero_si128();
    c.newFirst = splat<W>(newS);
    c.newRest = padded(newS + W, (newLen - 1) * W);
    c.keep = _mm_cmpeq_epi8(padded(ones, (newLen - 1) * W), _mm_setzero_si128());
    c.newVec = padded(newS, newLen * W);
    uint32_t p = 0, n = srcLen * W;
    // stage[k] is the result's byte at base + k, base 16-aligned in memory; the head bytes
    // before the first one are not the kernel's to write.
    uint32_t head = (uint32_t)((uintptr_t)dst & 15);
    char *base = dst - head;
    char *stage = mem;
    uint32_t j = head;
    for (;;) {
        char *at = mem + (((uintptr_t)(src + p) + Page / 2 - (uintptr_t)mem) & (Page - 16));
        // What went past the end of the last round (less than 32 bytes) begins this one.
        _mm_store_si128((__m128i *)at, _mm_load_si128((const __m128i *)stage));
        _mm_store_si128((__m128i *)(at + 16), _mm_load_si128((const __m128i *)(stage + 16)));
        _mm_store_si128((__m128i *)(at + 32), _mm_load_si128((const __m128i *)(stage + 32)));
        stage = at;
        if (oldLen == 1)
            copyBlocks<W>(src, n, &p, stage, &j, Stage, c, 1, newLen);
        else
            copyBlocks<W>(src, n, &p, stage, &j, Stage, c, 2, newLen);
        if (j < Stage)
            break;
        for (uint32_t k = head; k < 16; k++)
            base[k] = stage[k];
        for (uint32_t k = 16; k < Stage; k += 16)
            _mm_store_si128((__m128i *)(base + k), _mm_load_si128((const __m128i *)(stage + k)));
        head = 0;
        base += Stage;
        j -= Stage;
        stage += Stage;
    }
    for (uint32_t k = head; k < j; k++)
        base[k] = stage[k];
    copyReplacePlain<W>(src + p, srcLen - p / W, oldS, oldLen, newS, newLen, base + j);
}

// The block kernels for characters of W bytes, each a plain function: an instance of a
// template lands in .text whatever section it names.
#define BLOCK_OPS(W)                                                                                         \
    BLOCK_KERNEL static uint32_t findChar##W(const char *s, uint32_t from, uint32_t len, const char *c)     \
    {                                                                                                        \
        return findCharBlocks<W>(s, from, len, c);                                                           \
    }                                                                                                        \
    BLOCK_KERNEL __attribute__((no_sanitize_address)) static uint32_t findNul##W(const char *s, uint32_t maxLen) \
    {                                                                                                        \
        return findNulBlocks<W>(s, maxLen);                                                                  \
    }                                                                                                        \
    BLOCK_KERNEL static uint32_t countChar##W(const char *s, uint32_t len, const char *c)                    \
    {                                                                                                        \
        return countCharBlocks<W>(s, len, c);                                                                \
    }                                                                                                        \
    BLOCK_KERNEL static uint32_t countPairs##W(const char *s, uint32_t len, const char *a, const char *b)    \
    {                                                                                                        \
        return countPairsBlocks<W>(s, len, a, b);                                                            \
    }                                                                                                        \
    BLOCK_KERNEL static void countPairParts##W(const char *s, uint32_t len, const char *a, const char *b,    \
                                               uint32_t *nA, uint32_t *nB, uint32_t *nAB)                    \
    {                                                                                                        \
        countPairPartsBlocks<W>(s, len, a, b, nA, nB, nAB);                                                  \
    }                                                                                                        \
    BLOCK_KERNEL static void copyReplace##W(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen, \
                                            const char *newS, uint32_t newLen, char *dst)                    \
    {                                                                                                        \
        copyReplaceBlocks<W>(src, srcLen, oldS, oldLen, newS, newLen, dst);                                  \
    }
BLOCK_OPS(1)
BLOCK_OPS(2)
BLOCK_OPS(4)
#define BLOCK_ROW(W) {W, findChar##W, findNul##W, countChar##W, countPairs##W, countPairParts##W, copyReplace##W}
static const CharOps blockOps[3] = {BLOCK_ROW(1), BLOCK_ROW(2), BLOCK_ROW(4)};
#else
static int sse2Present(void)
{
    return 0;
}
static const CharOps *const blockOps = plainOps;
#endif

// plainOps or blockOps: the one choice between the block kernels and the plain loops. The
// kernels need SSE2, which the processor is asked for once (every x86_64 processor has it).
static const CharOps *opsSet = NULL;

static const CharOps *pick(int on)
{
    opsSet = on && sse2Present() ? blockOps : plainOps;
    return opsSet;
}

const CharOps *charOps(uint32_t width)
{
    const CharOps *set = opsSet != NULL ? opsSet : pick(1);
    return &set[width == 4 ? 2 : width - 1];
}

int blockKernels(void)
{
    return charOps(1) != &plainOps[0];
}

void setBlockKernels(int on)
{
    pick(on);
}
