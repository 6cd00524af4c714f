#include <stdlib.h>
#include <string.h>

#include "blocks.h"
#include "encoding.h"
#include "measure.h"
#include "replace.h"
#include "report.h"

// The left-to-right count: where oldS occurs, the scan resumes after the occurrence,
// so a self-overlapping oldS is counted exactly as often as it is replaced. Only places
// holding oldS's first character can match, so the scan jumps between those.
static uint32_t countScan(const CharOps *ops, const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen)
{
    uint32_t count = 0;
    uint32_t q = 0;
    while ((q = ops->findChar(src, q, srcLen, oldS)) < srcLen) {
        if (srcLen - q >= oldLen && occursAt(src + q * ops->width, oldS, oldLen * ops->width)) {
            count++;
            q += oldLen;
        } else {
            q++;
        }
    }
    return count;
}

static uint32_t countOccur(const CharOps *ops, const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen)
{
    // Every separator is one character or two different ones: such strings cannot overlap
    // themselves, so plain block counting gives the left-to-right count.
    if (oldLen == 1)
        return ops->countChar(src, srcLen, oldS);
    if (oldLen == 2 && !occursAt(oldS, oldS + ops->width, ops->width))
        return ops->countPairs(src, srcLen, oldS, oldS + ops->width);
    return countScan(ops, src, srcLen, oldS, oldLen);
}

// The replacing every text takes, in characters of ops->width bytes: src holds srcLen of
// them, oldS oldLen and newS newLen. Frees *out and returns 1 with *out the result, a NUL
// character after it, and *outLen its characters; or 0 with *out null, also when the
// result would take limit bytes or more, which is known from the count before anything
// is allocated.
static int replaceChars(const CharOps *ops, const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen,
                        const char *newS, uint32_t newLen, uint32_t limit, char **out, uint32_t *outLen)
{
    uint32_t count = countOccur(ops, src, srcLen, oldS, oldLen);
    int64_t resLen = (int64_t)srcLen + (int64_t)count * ((int64_t)newLen - (int64_t)oldLen);
    free(*out);
    *out = NULL;
    if (resLen * ops->width >= limit)
        return 0;
    char *res = (char *)malloc((size_t)(resLen + 1) * ops->width);
    if (res == NULL)
        return 0;

    ops->copyReplace(src, srcLen, oldS, oldLen, newS, newLen, res);
    *out = res;
    *outLen = (uint32_t)resLen;
    return 1;
}

// Measures the source as replaceStr does; when it cannot, tells the user and returns 0.
static int measureSrc(const char *src, uint32_t *len)
{
    if (measureStr(src, MAX_MEASURE, len) >= 0)
        return 1;
    showReport(NULL, "Failed to read input properly!\nThis could be because it is simply too large.", "Error",
               IconError);
    return 0;
}

int replaceStr(const char *src, const char *oldS, const char *newS, char **out)
{
    uint32_t srcLen = 0, oldLen = 0, newLen = 0;

    // A failed measurement leaves its length at 0, which ends the call below.
    measureSrc(src, &srcLen);
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
    // A result whose size, with its terminator, no 32-bit count holds is refused.
    uint32_t resLen = 0;
    return replaceChars(charOps(1), src, srcLen, oldS, oldLen, newS, newLen, UINT32_MAX, out, &resLen);
}

// A separator of one or two 8-bit characters, as characters in enc: their count.
static uint32_t encodeSep(int enc, const char *sep, char *out)
{
    uint32_t n = 0;
    for (; n < 2 && sep[n] != '\0'; n++)
        encodeChar(enc, sep[n], out + n * encodingWidth(enc));
    return n;
}

int convertText(const char *buf, uint32_t size, const char *inSep, const char *outSep, char **out, uint32_t *outLen)
{
    int enc = textEncoding(buf, size);
    const CharOps *ops = charOps(encodingWidth(enc));
    uint32_t whole = size / ops->width, tail = size - whole * ops->width;
    // Where the text ends: 8-bit text is measured as every string is, wider text by its
    // characters.
    uint32_t len = 0;
    if (ops->width > 1)
        len = ops->findNul(buf, whole);
    else if (!measureSrc(buf, &len))
        return TextNone;
    // A text that ends before the file does would be written short.
    if (len < whole)
        return TextHasNul;
    if (len == 0)
        return TextNone;  // an empty file
    char oldS[8], newS[8];
    uint32_t oldLen = encodeSep(enc, inSep, oldS), newLen = encodeSep(enc, outSep, newS), resLen = 0;
    // Within what a measured string may hold; bytes too few for a character follow the text.
    if (oldLen == 0 || newLen == 0 ||
        !replaceChars(ops, buf, len, oldS, oldLen, newS, newLen, MAX_MEASURE - tail, out, &resLen))
        return TextNone;
    memcpy(*out + resLen * ops->width, buf + whole * ops->width, tail);
    *outLen = resLen * ops->width + tail;
    return TextOk;
}
