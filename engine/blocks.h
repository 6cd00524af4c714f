// The engine's whole-text loops: finding, counting, measuring and the copy with replacing.
#ifndef PELLMARK_BLOCKS_H
#define PELLMARK_BLOCKS_H

#include <stdint.h>

// Each operation comes twice: as a plain loop, and led by a kernel that does whole 16-byte
// blocks with SSE2. Not every processor that runs 32-bit Windows has SSE2, so blocks.cpp is
// the only place with SSE: its kernels are compiled for SSE2 alone, placed in a section of
// their own, .blocks, and run only after the processor said it has SSE2. check_resources.py
// holds the i686 program to that: no SSE instruction outside .blocks. Everything else is
// built for the plain i686.
//
// A character is 1, 2 or 4 bytes (8-bit text, UTF-16, UTF-32), and two characters are equal
// when their bytes are: the byte order lies in the characters passed in, not in the loops.
// Lengths and indexes count characters; a length times the width fits in 32 bits.
struct CharOps {
    uint32_t width;  // bytes a character

    // Index of the first character c in s[from..len), or len when there is none.
    uint32_t (*findChar)(const char *s, uint32_t from, uint32_t len, const char *c);

    // Index of the first NUL character (all its bytes 0) among s[0..maxLen), or maxLen when
    // there is none. Reads no byte at or past maxLen that is not in an aligned 16-byte block
    // holding one before it, so none in a page the string does not reach; a bound of 0
    // reads nothing.
    uint32_t (*findNul)(const char *s, uint32_t maxLen);

    // How many of the characters s[0..len) are c.
    uint32_t (*countChar)(const char *s, uint32_t len, const char *c);

    // How many indexes i below len - 1 have s[i] == a and s[i + 1] == b.
    uint32_t (*countPairs)(const char *s, uint32_t len, const char *a, const char *b);

    // Over every index i below len, with n the character after s[i] (NUL past the end):
    // *nA counts s[i] == a, *nB counts n == b, *nAB counts both. Reads nothing past len.
    void (*countPairParts)(const char *s, uint32_t len, const char *a, const char *b, uint32_t *nA,
                           uint32_t *nB, uint32_t *nAB);

    // Writes src[0..srcLen) to dst with every occurrence of oldS, left to right, replaced by
    // newS, and a NUL character after it; dst has room for exactly that. An occurrence lies
    // wholly within srcLen.
    void (*copyReplace)(const char *src, uint32_t srcLen, const char *oldS, uint32_t oldLen, const char *newS,
                        uint32_t newLen, char *dst);
};

// The operations on characters of width bytes (1, 2 or 4): the block kernels where the
// processor has SSE2, else the plain loops. Picked once for a text, from its encoding.
const CharOps *charOps(uint32_t width);

// Nonzero when the block kernels run.
int blockKernels(void);
// For tests: 0 makes the plain loops do all the work, 1 asks the processor again.
void setBlockKernels(int on);

// Nonzero when the n bytes of s stand at p. Stops at the first difference.
int occursAt(const char *p, const char *s, uint32_t n);

#endif
