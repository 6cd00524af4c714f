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
static uint32_t countScan(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen, uint32_t w)
{
    uint32_t count = 0;
    uint32_t q = 0;
    while ((q = findChar(src, q, srcLen, oldS, w)) < srcLen) {
        if (srcLen - q >= oldLen && occursAt(src + q * w, oldS, oldLen * w)) {
            count++;
            q += oldLen;
        } else {
            q++;
        }
    }
    return count;
}

static uint32_t countOccur(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen, uint32_t w)
{
    // Every separator is one character or two different ones: such strings cannot overlap
    // themselves, so plain block counting gives the left-to-right count.
    if (oldLen == 1)
        return countChar(src, srcLen, oldS, w);
    if (oldLen == 2 && !occursAt(oldS, oldS + w, w))
        return countPair(src, srcLen, oldS, oldS + w, w);
    return countScan(src, srcLen, oldS, oldLen, w);
}

int replaceChars(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen, const char *newS,
                 uint32_t newLen, uint32_t w, uint32_t limit, char **out, uint32_t *outLen)
{
    uint32_t count = countOccur(src, srcLen, oldS, oldLen, w);

    // Sized in 64 bits, so that a result too long is refused before anything is allocated.
    int64_t resLen = (int64_t)srcLen + (int64_t)count * ((int64_t)newLen - (int64_t)oldLen);
    free(*out);
    *out = NULL;
    if (resLen * w >= limit)
        return 0;
    char *res = (char *)malloc((size_t)(resLen + 1) * w);
    if (res == NULL)
        return 0;

    copyReplace(src, srcLen, oldS, oldLen, newS, newLen, w, res);
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
    return replaceChars(src, srcLen, oldS, oldLen, newS, newLen, 1, UINT32_MAX, out, &resLen);
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
    uint32_t w = encodingWidth(enc), whole = size / w, tail = size - whole * w;
    // Where the text ends: 8-bit text is measured as every string is, wider text by its
    // characters.
    uint32_t len = 0;
    if (w > 1)
        len = findNul(buf, whole, w);
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
        !replaceChars(buf, len, oldS, oldLen, newS, newLen, w, MAX_MEASURE - tail, out, &resLen))
        return TextNone;
    memcpy(*out + resLen * w, buf + whole * w, tail);
    *outLen = resLen * w + tail;
    return TextOk;
}
