#include <stdlib.h>
#include <string.h>

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

// Counts exactly the occurrences the copy pass will replace: left to right,
// resuming after each match, so a self-overlapping oldS is not counted twice.
static uint32_t countOccur(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen)
{
    uint32_t count = 0;
    uint32_t p = 0;
    while (p < srcLen) {
        if (occursAt(src + p, oldS, oldLen)) {
            count++;
            p += oldLen;
        } else {
            p++;
        }
    }
    return count;
}

static void copyReplaced(const char *src, const char *oldS, uint32_t oldLen,
                         const char *newS, uint32_t newLen, char *dst)
{
    while (*src != '\0') {
        if (occursAt(src, oldS, oldLen)) {
            memcpy(dst, newS, newLen);
            dst += newLen;
            src += oldLen;
        } else {
            *dst++ = *src++;
        }
    }
    *dst = '\0';
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

    copyReplaced(src, oldS, oldLen, newS, newLen, res);
    *out = res;
    return 1;
}
