#include <string.h>

#include "blocks.h"

// Every kernel does whole 16-byte blocks from *i on and leaves *i at the first byte it has
// not settled (a byte found, or the first of those too few for a block); the plain loop
// after it goes on from there, and where there is no kernel it does all the work.
struct Kernels {
    void (*findByte)(const char *s, uint32_t len, char b, uint32_t *i);
    void (*findNul)(const char *s, uint32_t maxLen, uint32_t *i);
    uint32_t (*countByte)(const char *s, uint32_t len, char b, uint32_t *i);
    uint32_t (*countPair)(const char *s, uint32_t len, char a, char b, uint32_t *i);
    void (*countPairParts)(const char *s, uint32_t len, char a, char b, uint32_t *i,
                           uint32_t *cA, uint32_t *cB, uint32_t *cAB);
    // Here *i is the source position and *w the result's.
    void (*copyReplace)(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                        const char *newS, uint32_t newLen, char *dst, uint32_t *i, uint32_t *w);
};

static const Kernels noKernels = {};

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

static int sse2Present(void)
{
#ifdef __x86_64__
    return 1;
#else
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0;
#endif
}

BLOCK_KERNEL static void findByteBlocks(const char *s, uint32_t len, char b, uint32_t *i)
{
    const __m128i pat = _mm_set1_epi8(b);
    uint32_t p = *i;
    while (len - p >= 16) {
        int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + p)), pat));
        if (hits != 0) {
            p += (uint32_t)__builtin_ctz((unsigned)hits);
            break;
        }
        p += 16;
    }
    *i = p;
}

// From aligned blocks: an aligned load never crosses into another page, so the bytes it
// reads before the string or past its terminator or bound lie in a page the string itself
// occupies; they are masked off or judged against the bound, never counted.
// AddressSanitizer would call those loads out of bounds; the fuzz target holds this kernel
// to the plain walk on strings that end right before an unmapped page instead.
BLOCK_KERNEL __attribute__((no_sanitize_address)) static void findNulBlocks(const char *s, uint32_t maxLen, uint32_t *i)
{
    // A bound of 0 reads nothing at all, not even the block the string starts in.
    if (maxLen == 0)
        return;
    const __m128i zero = _mm_setzero_si128();
    uint32_t skip = (uint32_t)((uintptr_t)s & 15);
    const __m128i *blk = (const __m128i *)(s - skip);
    unsigned hits = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(blk), zero)) >> skip;
    // The string's bytes before the block in which a NUL was found.
    uint32_t seen = 0;
    if (hits == 0) {
        seen = 16 - skip;
        while (seen < maxLen && (hits = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(++blk), zero))) == 0)
            seen += 16;
    }
    uint32_t n = hits != 0 ? seen + (uint32_t)__builtin_ctz(hits) : maxLen;
    *i = n < maxLen ? n : maxLen;
}

// The byte lanes of acc added up.
BLOCK_KERNEL static inline uint32_t laneSum(__m128i acc)
{
    __m128i sum = _mm_sad_epu8(acc, _mm_setzero_si128());
    return (uint32_t)(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
}

// A compare hit is 0xFF, i.e. -1 in its byte lane: subtracting it counts per lane, and
// the lanes are summed before one can overflow at 255. Four sets of lanes, 64 bytes a
// round, keep the additions independent of each other.
BLOCK_KERNEL static uint32_t countByteBlocks(const char *s, uint32_t len, char b, uint32_t *i)
{
    uint32_t n = 0;
    const __m128i pat = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    while (len - *i >= 64) {
        __m128i acc[4] = {zero, zero, zero, zero};
        for (int k = 0; k < 255 && len - *i >= 64; k++, *i += 64) {
            for (int j = 0; j < 4; j++)
                acc[j] = _mm_sub_epi8(acc[j], _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + *i + 16 * j)), pat));
        }
        for (int j = 0; j < 4; j++)
            n += laneSum(acc[j]);
    }
    return n;
}

// Counted as in countByteBlocks; each block is compared as itself for a and one byte on for b.
BLOCK_KERNEL static uint32_t countPairBlocks(const char *s, uint32_t len, char a, char b, uint32_t *i)
{
    uint32_t n = 0;
    const __m128i patA = _mm_set1_epi8(a), patB = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    while (len - *i >= 33) {
        __m128i acc[2] = {zero, zero};
        for (int k = 0; k < 255 && len - *i >= 33; k++, *i += 32) {
            for (int j = 0; j < 2; j++) {
                const char *at = s + *i + 16 * j;
                __m128i eqA = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)at), patA);
                __m128i eqB = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(at + 1)), patB);
                acc[j] = _mm_sub_epi8(acc[j], _mm_and_si128(eqA, eqB));
            }
        }
        n += laneSum(acc[0]) + laneSum(acc[1]);
    }
    return n;
}

// As in countPairBlocks, keeping all three counts.
BLOCK_KERNEL static void countPairPartsBlocks(const char *s, uint32_t len, char a, char b, uint32_t *i,
                                              uint32_t *cA, uint32_t *cB, uint32_t *cAB)
{
    const __m128i patA = _mm_set1_epi8(a), patB = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    while (len - *i >= 17) {
        __m128i accA = zero, accB = zero, accAB = zero;
        for (int k = 0; k < 255 && len - *i >= 17; k++, *i += 16) {
            __m128i eqA = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + *i)), patA);
            __m128i eqB = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + *i + 1)), patB);
            accA = _mm_sub_epi8(accA, eqA);
            accB = _mm_sub_epi8(accB, eqB);
            accAB = _mm_sub_epi8(accAB, _mm_and_si128(eqA, eqB));
        }
        *cA += laneSum(accA);
        *cB += laneSum(accB);
        *cAB += laneSum(accAB);
    }
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
// and then the source after the occurrence. Returns the bytes put out; *took, the source
// bytes taken (17 when a pair starts in the block's last byte).
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
        // Left to right: an occurrence's own bytes never start another.
        found &= ~(oldMask << k);
        if (k + oldLen > end)
            end = k + oldLen;
    }
    *took = end;
    return (uint32_t)((int32_t)end + shift);
}

// The constants of a copy: oldS's bytes in every lane, newS's first byte in every lane,
// and for the bytes after an occurrence newS's second byte (if any) in lane 0 over what
// `keep` keeps.
struct Seps {
    __m128i first, second, newFirst, newRest, keep, newVec;
};

// Copies src[*p..) to out[*j..), each occurrence of oldS (oldLen bytes, a constant where
// this is inlined) replaced by newS, in 16-byte source blocks until *j reaches jEnd or the
// source is 64 bytes from its end. Most blocks hold at most one occurrence, and take two
// stores and no branch on the text: the block with newS's first byte in the occurrence's
// place, and from the byte after it the rest of newS and the source after the occurrence.
// A block without one stores the latter past its own end, where the next block lands after
// it. Blocks with more go to copySeveral. Stores reach at most 36 bytes past *j.
BLOCK_KERNEL __attribute__((always_inline)) static inline void copyBlocks(
    const char *src, uint32_t srcLen, uint32_t *p, char *out, uint32_t *j, uint32_t jEnd,
    const Seps &c, uint32_t oldLen, uint32_t newLen)
{
    const int32_t delta = (int32_t)newLen - (int32_t)oldLen;
    uint32_t i = *p, o = *j;
    while (o < jEnd && srcLen - i >= 64) {
        __m128i blk = _mm_loadu_si128((const __m128i *)(src + i));
        // The processor's own prefetcher stops at each page, and each page of a fresh result
        // costs a fault that interrupts its stream: ask for the source well ahead.
        _mm_prefetch(src + i + 4096, _MM_HINT_T0);
        __m128i eq = _mm_cmpeq_epi8(blk, c.first);
        if (oldLen == 2)
            eq = _mm_and_si128(eq, _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(src + i + 1)), c.second));
        unsigned found = (unsigned)_mm_movemask_epi8(eq);
        if (__builtin_expect((found & (found - 1)) != 0, 0)) {
            _mm_storeu_si128((__m128i *)(out + o), blk);
            uint32_t took;
            o += copySeveral(src + i, out + o, found, oldLen, c.newVec, newLen, &took);
            i += took;
            continue;
        }
        _mm_storeu_si128((__m128i *)(out + o), _mm_or_si128(_mm_andnot_si128(eq, blk), _mm_and_si128(eq, c.newFirst)));
        uint32_t k = (uint32_t)__builtin_ctz(found | 0x10000);
        __m128i rest = _mm_loadu_si128((const __m128i *)(src + i + k + oldLen - newLen + 1));
        _mm_storeu_si128((__m128i *)(out + o + k + 1), _mm_or_si128(_mm_and_si128(rest, c.keep), c.newRest));
        // 1 when the block holds an occurrence, in arithmetic: a branch here would be
        // mispredicted at every few lines.
        uint32_t hit = (found + 0xFFFF) >> 16;
        o += (uint32_t)(16 + (int32_t)hit * delta);
        i += 16;
        // A pair that starts in the block's last byte ends in the next block's first. Rare,
        // and a branch: the next block's loads need not wait for this block's compares.
        if (oldLen == 2 && __builtin_expect(found >> 15, 0)) {
            i++;
            o++;
        }
    }
    *p = i;
    *j = o;
}

// Separators are one or two bytes. The result is built in a small buffer that stays in the
// first-level cache, where the overlapping unaligned stores of copyBlocks are cheap, and
// goes out from there in aligned 16-byte stores, each line of the result written once.
// (Streaming stores, which skip the cache, were slower: the result is a fresh buffer, and
// the system has just zeroed each page through the cache when the first store faults it
// in.) Each round the buffer starts half a page away from the source, counted within a
// page: a load from an address whose last 12 bits match a recent store's waits for that
// store. What remains is the plain loop's.
BLOCK_KERNEL static void copyReplaceBlocks(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                                           const char *newS, uint32_t newLen, char *dst, uint32_t *i, uint32_t *w)
{
    enum { Stage = 4096, Page = 4096 };
    if (oldLen > 2 || newLen > 2)
        return;
    __attribute__((aligned(16))) char mem[Stage + Page + 64];
    Seps c;
    c.first = _mm_set1_epi8(oldS[0]);
    c.second = _mm_set1_epi8(oldLen == 2 ? oldS[1] : 0);
    c.newFirst = _mm_set1_epi8(newS[0]);
    c.newRest = padded(newS + 1, newLen - 1);
    c.keep = _mm_cmpeq_epi8(padded("\xff", newLen - 1), _mm_setzero_si128());
    c.newVec = padded(newS, newLen);
    uint32_t p = *i;
    // stage[k] is the result's byte at base + k, base 16-aligned in memory; the head bytes
    // before the first one are not the kernel's to write.
    uint32_t head = (uint32_t)((uintptr_t)(dst + *w) & 15);
    char *base = dst + *w - head;
    char *stage = mem;
    uint32_t j = head;
    for (;;) {
        char *at = mem + (((uintptr_t)(src + p) + Page / 2 - (uintptr_t)mem) & (Page - 16));
        // What went past the end of the last round (less than 34 bytes) begins this one.
        _mm_store_si128((__m128i *)at, _mm_load_si128((const __m128i *)stage));
        _mm_store_si128((__m128i *)(at + 16), _mm_load_si128((const __m128i *)(stage + 16)));
        _mm_store_si128((__m128i *)(at + 32), _mm_load_si128((const __m128i *)(stage + 32)));
        stage = at;
        if (oldLen == 1)
            copyBlocks(src, srcLen, &p, stage, &j, Stage, c, 1, newLen);
        else
            copyBlocks(src, srcLen, &p, stage, &j, Stage, c, 2, newLen);
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
    *i = p;
    *w = (uint32_t)(base + j - dst);
}

static const Kernels blockKernelSet = {findByteBlocks, findNulBlocks, countByteBlocks, countPairBlocks,
                                       countPairPartsBlocks, copyReplaceBlocks};
#else
static int sse2Present(void)
{
    return 0;
}
static const Kernels blockKernelSet = {};
#endif

static const Kernels *kernels = NULL;

// The one choice between the block kernels and the plain loops alone: the kernels need
// SSE2, which the processor is asked for once (every x86_64 processor has it).
static const Kernels *pick(int on)
{
    kernels = on && sse2Present() ? &blockKernelSet : &noKernels;
    return kernels;
}

static const Kernels *use(void)
{
    return kernels != NULL ? kernels : pick(1);
}

int blockKernels(void)
{
    return use() == &blockKernelSet;
}

void setBlockKernels(int on)
{
    pick(on);
}

int occursAt(const char *p, const char *s, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++) {
        if (p[i] != s[i])
            return 0;
    }
    return 1;
}

uint32_t findByte(const char *s, uint32_t from, uint32_t len, char b)
{
    uint32_t i = from;
    if (use()->findByte)
        use()->findByte(s, len, b, &i);
    while (i < len && s[i] != b)
        i++;
    return i;
}

uint32_t findNul(const char *s, uint32_t maxLen)
{
    uint32_t i = 0;
    if (use()->findNul)
        use()->findNul(s, maxLen, &i);
    while (i < maxLen && s[i] != '\0')
        i++;
    return i;
}

uint32_t countByte(const char *s, uint32_t len, char b)
{
    uint32_t n = 0, i = 0;
    if (use()->countByte)
        n = use()->countByte(s, len, b, &i);
    for (; i < len; i++)
        n += s[i] == b;
    return n;
}

uint32_t countPair(const char *s, uint32_t len, char a, char b)
{
    uint32_t n = 0, i = 0;
    if (use()->countPair)
        n = use()->countPair(s, len, a, b, &i);
    for (; i + 1 < len; i++)
        n += s[i] == a && s[i + 1] == b;
    return n;
}

void countPairParts(const char *s, uint32_t len, char a, char b, uint32_t *nA, uint32_t *nB, uint32_t *nAB)
{
    uint32_t cA = 0, cB = 0, cAB = 0, i = 0;
    if (use()->countPairParts)
        use()->countPairParts(s, len, a, b, &i, &cA, &cB, &cAB);
    for (; i < len; i++) {
        int isA = s[i] == a;
        int isB = (i + 1 < len ? s[i + 1] : '\0') == b;
        cA += isA;
        cB += isB;
        cAB += isA & isB;
    }
    *nA = cA;
    *nB = cB;
    *nAB = cAB;
}

void copyReplace(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                 const char *newS, uint32_t newLen, char *dst)
{
    uint32_t i = 0, w = 0;
    if (use()->copyReplace)
        use()->copyReplace(src, srcLen, oldS, oldLen, newS, newLen, dst, &i, &w);
    while (i < srcLen) {
        if (occursAt(src + i, oldS, oldLen)) {
            memcpy(dst + w, newS, newLen);
            i += oldLen;
            w += newLen;
        } else {
            dst[w++] = src[i++];
        }
    }
    dst[w] = '\0';
}
