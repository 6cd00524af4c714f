// Replacing every occurrence of one string by another.
#ifndef PELLMARK_REPLACE_H
#define PELLMARK_REPLACE_H

// Builds src with each oldS replaced by newS, matched left to right.
// *out: on entry null or a malloc'd buffer the caller no longer needs (freed here);
// on success the new malloc'd result, owned by the caller. Returns 1 or 0.
int replaceStr(const char *src, const char *oldS, const char *newS, char **out);

#endif
