#include <stdlib.h>
#include <string.h>

#include "blocks.h"
#include "measure.h"
#include "replace.h"
#include "report.h"

static int occursAt(const char *p, const char *oldS, uint32_t oldLen)
{
    // src's terminator differs from every char of oldS, so this never runs past it.
    for (uint32_t i = 0; i < oldLen; i++) {
        if (p[i] != oldS[i])
            return 0;
    }
    return 1;
}

// The left-to-right count: where oldS occurs, the scan resumes after the occurrence,
// so a self-overlapping oldS is counted exactly as often as it is replaced. Only places
// holding oldS's first char can match, so the scan jumps between those.
static uint32_t countScan(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen)
{
    uint32_t count = 0;
    uint32_t q = 0;
    while ((q = findByte(src, q, srcLen, oldS[0])) < srcLen) {
        if (occursAt(src + q, oldS, oldLen)) {
            count++;
            q += oldLen;
        } else {
            q++;
        }
    }
    return count;
}

#ifdef PELLMARK_BLOCKS
// Up to 16 bytes of s in a vector, zeros after them.
BLOCK_KERNEL static inline __m128i padded(const char *s, uint32_t len)
{
    char buf[16] = {0};
    memcpy(buf, s, len);
    return _mm_loadu_si128((const __m128i *)buf);
}

// Separators are one or two bytes. 16 source bytes at a time: the block is stored whole,
// and one compare per byte of oldS (the second against the block one byte on) gives the
// places where oldS occurs. At each, newS is stored and the source from the occurrence's
// end is stored again right after it, shifted by what the replacements so far added or
// removed. Loads and stores stay clear of both ends: *p and *w are left where the last
// bytes go on one by one.
BLOCK_KERNEL static void copyBlocks(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                                    const char *newS, uint32_t newLen, char *dst, uint32_t resLen,
                                    uint32_t *pp, uint32_t *wp)
{
    uint32_t p = *pp, w = *wp;
    const __m128i first = _mm_set1_epi8(oldS[0]);
    const __m128i second = _mm_set1_epi8(oldLen == 2 ? oldS[1] : 0);
    const __m128i newVec = padded(newS, newLen);
    const unsigned oldMask = (1u << oldLen) - 1;
    const int32_t delta = (int32_t)newLen - (int32_t)oldLen;
    while (srcLen - p >= 64 && resLen - w >= 64) {
        __m128i blk = _mm_loadu_si128((const __m128i *)(src + p));
        _mm_storeu_si128((__m128i *)(dst + w), blk);
        unsigned found = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(blk, first));
        if (oldLen == 2)
            found &= (unsigned)_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(src + p + 1)), second));
        uint32_t next = p + 16;
        int32_t shift = 0;
        while (found != 0) {
            uint32_t k = (uint32_t)__builtin_ctz(found);
            char *o = dst + w + k + shift;
            _mm_storeu_si128((__m128i *)o, newVec);
            _mm_storeu_si128((__m128i *)(o + newLen), _mm_loadu_si128((const __m128i *)(src + p + k + oldLen)));
            shift += delta;
            // Left to right: an occurrence's own bytes never start another.
            found &= ~(oldMask << k);
            if (p + k + oldLen > next)
                next = p + k + oldLen;
        }
        w += next - p + (uint32_t)shift;
        p = next;
    }
    *pp = p;
    *wp = w;
}
#endif

// Writes the replaced text to dst, which holds exactly resLen bytes and the terminator.
static void copyReplace(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                        const char *newS, uint32_t newLen, char *dst, uint32_t resLen)
{
    uint32_t p = 0, w = 0;
#ifdef PELLMARK_BLOCKS
    if (oldLen <= 2 && newLen <= 2 && blockKernels())
        copyBlocks(src, srcLen, oldS, oldLen, newS, newLen, dst, resLen, &p, &w);
#endif
    while (p < srcLen) {
        if (occursAt(src + p, oldS, oldLen)) {
            memcpy(dst + w, newS, newLen);
            p += oldLen;
            w += newLen;
        } else {
            dst[w++] = src[p++];
        }
    }
    dst[w] = '\0';
    (void)resLen;
}

static uint32_t countOccur(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen)
{
    // Every separator is one byte or two different bytes: such strings cannot overlap
    // themselves, so plain block counting gives the left-to-right count.
    if (oldLen == 1)
        return countByte(src, srcLen, oldS[0]);
    if (oldLen == 2 && oldS[0] != oldS[1])
        return countPair(src, srcLen, oldS[0], oldS[1]);
    return countScan(src, srcLen, oldS, oldLen);
}

int replaceStr(const char *src, const char *oldS, const char *newS, char **out)
{
    uint32_t srcLen = 0, oldLen = 0, newLen = 0;

    // A failed measurement leaves its length at 0, which ends the call below.
    if (measureStr(src, MAX_MEASURE, &srcLen) < 0) {
        showReport(NULL, "Failed to read input properly!\nThis could be because it is simply too large.",
                   "Error", IconError);
    }
    if (measureStr(oldS, MAX_MEASURE, &oldLen) < 0) {
        showReport(NULL, "Program Error!\nPlease notify the developer: replaceStr oldS error.",
                   "Error", IconError);
    }
    if (measureStr(newS, MAX_MEASURE, &newLen) < 0) {
        showReport(NULL, "Program Error!\nPlease notify the developer: replaceStr newS error.",
                   "Error", IconError);
    }
    if (srcLen == 0 || oldLen == 0 || newLen == 0)
        return 0;

    uint32_t count = countOccur(src, srcLen, oldS, oldLen);

    // Sized in 64 bits so that a result too long for a 32-bit count is refused, not wrapped.
    int64_t resLen = (int64_t)srcLen + (int64_t)count * ((int64_t)newLen - (int64_t)oldLen);
    free(*out);
    *out = NULL;
    if (resLen >= (int64_t)UINT32_MAX)
        return 0;
    char *res = (char *)malloc((size_t)resLen + 1);
    if (res == NULL)
        return 0;

    copyReplace(src, srcLen, oldS, oldLen, newS, newLen, res, (uint32_t)resLen);
    *out = res;
    return 1;
}
