// Block-wise byte scanning and counting, shared by replacing and detection.
#ifndef PELLMARK_BLOCKS_H
#define PELLMARK_BLOCKS_H

#include <stdint.h>

// The 16-byte kernels need SSE2, which not every processor that runs 32-bit Windows has.
// They are compiled for it alone and run only where the processor, asked once, has it;
// elsewhere plain loops do the same work.
#if defined(__i386__) || defined(__x86_64__)
#define PELLMARK_BLOCKS 1
#include <emmintrin.h>
#ifdef __i386__
// Windows keeps a 32-bit stack 4-byte aligned, and calls dialog procedures so: realign it.
#define BLOCK_KERNEL __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define BLOCK_KERNEL
#endif
#endif

// Nonzero when the block kernels run.
int blockKernels(void);
// For tests: 0 makes the plain loops do all the work, 1 asks the processor again.
void setBlockKernels(int on);

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
