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

// The left-to-right replacement: where oldS occurs, newS is written and the scan
// resumes after the occurrence. Only places holding oldS's first char can match, so
// the scan jumps between those. With dst null it only counts, so that count and copy
// agree for any oldS, even one that overlaps itself. Returns the number replaced.
static uint32_t scanReplace(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                            const char *newS, uint32_t newLen, char *dst)
{
    uint32_t count = 0;
    uint32_t runStart = 0;
    uint32_t q = 0;
    while ((q = findByte(src, q, srcLen, oldS[0])) < srcLen) {
        if (!occursAt(src + q, oldS, oldLen)) {
            q++;
            continue;
        }
        if (dst != NULL) {
            memcpy(dst, src + runStart, q - runStart);
            dst += q - runStart;
            memcpy(dst, newS, newLen);
            dst += newLen;
        }
        count++;
        q += oldLen;
        runStart = q;
    }
    if (dst != NULL) {
        memcpy(dst, src + runStart, srcLen - runStart);
        dst[srcLen - runStart] = '\0';
    }
    return count;
}

static uint32_t countOccur(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen)
{
    // Every separator is one byte or two different bytes: such strings cannot overlap
    // themselves, so plain block counting gives the left-to-right count.
    uint32_t nA = 0, nB = 0, nAB = 0;
    if (oldLen == 1) {
        countPairs(src, srcLen, oldS[0], oldS[0], &nA, &nB, &nAB);
        return nA;
    }
    if (oldLen == 2 && oldS[0] != oldS[1]) {
        countPairs(src, srcLen, oldS[0], oldS[1], &nA, &nB, &nAB);
        return nAB;
    }
    return scanReplace(src, srcLen, oldS, oldLen, NULL, 0, NULL);
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

    scanReplace(src, srcLen, oldS, oldLen, newS, newLen, res);
    *out = res;
    return 1;
}
