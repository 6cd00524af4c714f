#include "blocks.h"

#ifdef PELLMARK_BLOCKS
#include <cpuid.h>
#endif

static int sse2Present(void)
{
#if defined(__x86_64__)
    return 1;
#elif defined(PELLMARK_BLOCKS)
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0;
#else
    return 0;
#endif
}

// -1 until the processor has been asked.
static int useBlocks = -1;

int blockKernels(void)
{
    if (useBlocks < 0)
        useBlocks = sse2Present();
    return useBlocks;
}

void setBlockKernels(int on)
{
    useBlocks = on ? sse2Present() : 0;
}

#ifdef PELLMARK_BLOCKS
// Each kernel does the whole blocks from *i on and leaves *i where the plain loop goes on.

// 16 bytes at a time: compare all against b, and a mask of the hits says where the first is.
BLOCK_KERNEL static uint32_t findByteBlocks(const char *s, uint32_t p, uint32_t len, char b)
{
    const __m128i pat = _mm_set1_epi8(b);
    while (len - p >= 16) {
        __m128i blk = _mm_loadu_si128((const __m128i *)(s + p));
        int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(blk, pat));
        if (hits != 0)
            return p + (uint32_t)__builtin_ctz((unsigned)hits);
        p += 16;
    }
    return p;
}

// The byte lanes of sum added up.
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
#endif

uint32_t findByte(const char *s, uint32_t from, uint32_t len, char b)
{
    uint32_t p = from;
#ifdef PELLMARK_BLOCKS
    if (blockKernels())
        p = findByteBlocks(s, p, len, b);
#endif
    while (p < len && s[p] != b)
        p++;
    return p;
}

uint32_t countByte(const char *s, uint32_t len, char b)
{
    uint32_t n = 0;
    uint32_t i = 0;
#ifdef PELLMARK_BLOCKS
    if (blockKernels())
        n = countByteBlocks(s, len, b, &i);
#endif
    for (; i < len; i++)
        n += s[i] == b;
    return n;
}

uint32_t countPair(const char *s, uint32_t len, char a, char b)
{
    uint32_t n = 0;
    uint32_t i = 0;
#ifdef PELLMARK_BLOCKS
    if (blockKernels())
        n = countPairBlocks(s, len, a, b, &i);
#endif
    for (; i + 1 < len; i++)
        n += s[i] == a && s[i + 1] == b;
    return n;
}

void countPairParts(const char *s, uint32_t len, char a, char b, uint32_t *nA, uint32_t *nB, uint32_t *nAB)
{
    uint32_t cA = 0, cB = 0, cAB = 0;
    uint32_t i = 0;
#ifdef PELLMARK_BLOCKS
    if (blockKernels())
        countPairPartsBlocks(s, len, a, b, &i, &cA, &cB, &cAB);
#endif
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
