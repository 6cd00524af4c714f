// The benchmarks' text, one recipe for all of them: lines of 0 to 120 bytes of words, each
// ended by sep, cut at size bytes. The same bytes every time.
#ifndef PELLMARK_BENCH_TEXT_H
#define PELLMARK_BENCH_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

static inline void makeText(char *t, size_t size, const char *sep)
{
    static const char *const words[] = {"the", "line", "of", "a", "converter", "text", "file", "ends",
                                        "with", "separator", "and", "windows", "unix", "mac", "bytes", "to"};
    const size_t sepLen = strlen(sep);
    uint32_t rng = 12345;
    size_t n = 0;
    while (n < size) {
        rng = rng * 1103515245u + 12345u;
        size_t end = n + (rng >> 16) % 121;
        while (n < end && n < size) {
            rng = rng * 1103515245u + 12345u;
            const char *w = words[(rng >> 16) % 16];
            for (size_t i = 0; w[i] && n < end && n < size; i++)
                t[n++] = w[i];
            if (n < end && n < size)
                t[n++] = ' ';
        }
        for (size_t i = 0; i < sepLen && n < size; i++)
            t[n++] = sep[i];
    }
}

#endif
