#include "blocks.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

uint32_t findByte(const char *s, uint32_t from, uint32_t len, char b)
{
    uint32_t p = from;
#ifdef __SSE2__
    // 16 bytes at a time: compare all against b, and a mask of the hits says where the first is.
    const __m128i pat = _mm_set1_epi8(b);
    while (len - p >= 16) {
        __m128i blk = _mm_loadu_si128((const __m128i *)(s + p));
        int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(blk, pat));
        if (hits != 0)
            return p + (uint32_t)__builtin_ctz((unsigned)hits);
        p += 16;
    }
#endif
    while (p < len && s[p] != b)
        p++;
    return p;
}

uint32_t countByte(const char *s, uint32_t len, char b)
{
    uint32_t n = 0;
    uint32_t i = 0;
#ifdef __SSE2__
    // A compare hit is 0xFF, i.e. -1 in its byte lane: subtracting it counts per lane, and
    // the lanes are summed before one can overflow at 255. Four sets of lanes, 64 bytes a
    // round, keep the additions independent of each other.
    const __m128i pat = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    while (len - i >= 64) {
        __m128i acc[4] = {zero, zero, zero, zero};
        for (int k = 0; k < 255 && len - i >= 64; k++, i += 64) {
            for (int j = 0; j < 4; j++)
                acc[j] = _mm_sub_epi8(acc[j], _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + i + 16 * j)), pat));
        }
        __m128i sum = zero;
        for (int j = 0; j < 4; j++)
            sum = _mm_add_epi64(sum, _mm_sad_epu8(acc[j], zero));
        n += (uint32_t)(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
    }
#endif
    for (; i < len; i++)
        n += s[i] == b;
    return n;
}

uint32_t countPair(const char *s, uint32_t len, char a, char b)
{
    uint32_t n = 0;
    uint32_t i = 0;
#ifdef __SSE2__
    // Counted as in countByte; each block is compared as itself for a and one byte on for b.
    const __m128i patA = _mm_set1_epi8(a), patB = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    while (len - i >= 33) {
        __m128i acc[2] = {zero, zero};
        for (int k = 0; k < 255 && len - i >= 33; k++, i += 32) {
            for (int j = 0; j < 2; j++) {
                const char *at = s + i + 16 * j;
                __m128i eqA = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)at), patA);
                __m128i eqB = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(at + 1)), patB);
                acc[j] = _mm_sub_epi8(acc[j], _mm_and_si128(eqA, eqB));
            }
        }
        __m128i sum = _mm_add_epi64(_mm_sad_epu8(acc[0], zero), _mm_sad_epu8(acc[1], zero));
        n += (uint32_t)(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
    }
#endif
    for (; i + 1 < len; i++)
        n += s[i] == a && s[i + 1] == b;
    return n;
}

void countPairParts(const char *s, uint32_t len, char a, char b, uint32_t *nA, uint32_t *nB, uint32_t *nAB)
{
    uint32_t cA = 0, cB = 0, cAB = 0;
    uint32_t i = 0;
#ifdef __SSE2__
    // As in countPair, keeping all three counts.
    const __m128i patA = _mm_set1_epi8(a), patB = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    while (len - i >= 17) {
        __m128i accA = zero, accB = zero, accAB = zero;
        for (int k = 0; k < 255 && len - i >= 17; k++, i += 16) {
            __m128i eqA = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + i)), patA);
            __m128i eqB = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(s + i + 1)), patB);
            accA = _mm_sub_epi8(accA, eqA);
            accB = _mm_sub_epi8(accB, eqB);
            accAB = _mm_sub_epi8(accAB, _mm_and_si128(eqA, eqB));
        }
        __m128i sA = _mm_sad_epu8(accA, zero), sB = _mm_sad_epu8(accB, zero), sAB = _mm_sad_epu8(accAB, zero);
        cA += (uint32_t)(_mm_cvtsi128_si32(sA) + _mm_cvtsi128_si32(_mm_srli_si128(sA, 8)));
        cB += (uint32_t)(_mm_cvtsi128_si32(sB) + _mm_cvtsi128_si32(_mm_srli_si128(sB, 8)));
        cAB += (uint32_t)(_mm_cvtsi128_si32(sAB) + _mm_cvtsi128_si32(_mm_srli_si128(sAB, 8)));
    }
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
