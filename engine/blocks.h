// Block-wise byte scanning and counting, shared by replacing and detection.
#ifndef PELLMARK_BLOCKS_H
#define PELLMARK_BLOCKS_H

#include <stdint.h>

// Index of the first byte b in s[from..len), or len when there is none.
uint32_t findByte(const char *s, uint32_t from, uint32_t len, char b);

// How many of the bytes s[0..len) are b.
uint32_t countByte(const char *s, uint32_t len, char b);

// How many indexes i below len - 1 have s[i] == a and s[i + 1] == b.
uint32_t countPair(const char *s, uint32_t len, char a, char b);

// Over every index i below len, with n the byte after s[i] (NUL past the end):
// *nA counts s[i] == a, *nB counts n == b, *nAB counts both. Reads nothing at or past len.
void countPairParts(const char *s, uint32_t len, char a, char b, uint32_t *nA, uint32_t *nB, uint32_t *nAB);

#endif
