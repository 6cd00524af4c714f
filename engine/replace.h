// Replacing every occurrence of one string by another, and converting a file's text.
#ifndef PELLMARK_REPLACE_H
#define PELLMARK_REPLACE_H

#include <stdint.h>

// Builds src with each oldS replaced by newS, matched left to right.
// *out: on entry null or a malloc'd buffer the caller no longer needs. When src, oldS or
// newS is empty (or cannot be measured), returns 0 and leaves *out as it was. Otherwise
// frees that buffer and returns 1 with *out the new malloc'd result, owned by the caller,
// or 0 with *out null when the result is too long for 32 bits or cannot be allocated.
int replaceStr(const char *src, const char *oldS, const char *newS, char **out);

enum TextResult {
    TextNone = 0,   // nothing can be built: an empty file, or a result too large
    TextOk = 1,
    TextHasNul = 2  // the text ends at a NUL before the file does
};

// Converts the file buf[0..size), followed by a NUL byte, replacing every inSep by outSep
// (separator strings, as "\r\n") in the text's own characters (encoding.h), its encoding
// and mark kept. Returns TextOk with *out the result (malloc'd) and *outLen its bytes, or
// why nothing was built. *out starts null; the caller frees it either way.
int convertText(const char *buf, uint32_t size, const char *inSep, const char *outSep, char **out, uint32_t *outLen);

#endif
