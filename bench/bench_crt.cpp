// The engine as the program runs it, linked with the Windows C runtime, beside that runtime's
// own whole-text functions: GB/s on 64 MiB of text and the ratio to memcpy of the same bytes.
// Each figure is the best of several rounds. Run under Wine: bench_crt.exe
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "blocks.h"
#include "format.h"
#include "measure.h"
#include "replace.h"

void showReport(void *, const char *, const char *, int) {}

static const size_t kSize = 64u << 20;
static const int kRounds = 7;
static double memcpyRate;

// Lines of 0 to 120 bytes of words, each ended by LF, and the terminator.
static char *makeText(void)
{
    static const char *const words[] = {"the", "line", "of", "a", "converter", "text", "file", "ends",
                                        "with", "separator", "and", "windows", "unix", "mac", "bytes", "to"};
    char *t = (char *)malloc(kSize + 1);
    uint32_t rng = 12345;
    size_t n = 0;
    while (n < kSize) {
        rng = rng * 1103515245u + 12345u;
        size_t end = n + (rng >> 16) % 121;
        while (n < end && n < kSize) {
            rng = rng * 1103515245u + 12345u;
            const char *w = words[(rng >> 16) % 16];
            for (size_t i = 0; w[i] && n < end && n < kSize; i++)
                t[n++] = w[i];
            if (n < end && n < kSize)
                t[n++] = ' ';
        }
        if (n < kSize)
            t[n++] = '\n';
    }
    t[kSize] = '\0';
    return t;
}

static double now(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// Best time of fn over the rounds, printed as GB/s of bytes and as a ratio to memcpy.
static void report(const char *name, size_t bytes, void (*fn)(void *), void *arg)
{
    double best = 1e9;
    for (int r = 0; r < kRounds; r++) {
        double t0 = now();
        fn(arg);
        double t = now() - t0;
        if (t < best)
            best = t;
    }
    double rate = (double)bytes / best / 1e9;
    if (memcpyRate == 0)
        memcpyRate = rate;
    printf("%-38s %6.2f GB/s %6.2f x memcpy\n", name, rate, rate / memcpyRate);
}

static char *src, *dst;
static volatile size_t sink;

static void runMemcpy(void *) { memcpy(dst, src, kSize); sink = (size_t)dst[kSize / 2]; }
// Into a buffer just allocated, as the result of a conversion is: pays the first touch of every page.
static void runFreshMemcpy(void *)
{
    char *fresh = (char *)malloc(kSize);
    memcpy(fresh, src, kSize);
    sink = (size_t)fresh[kSize / 2];
    free(fresh);
}
static void runCountByte(void *) { sink = countByte(src, kSize, '\n'); }
static void runMemchr(void *) { sink = (size_t)memchr(src, '\0', kSize + 1); }
static void runStrlen(void *) { sink = strlen(src); }
static void runMeasure(void *)
{
    uint32_t len = 0;
    measureStr(src, MAX_MEASURE, &len);
    sink = len;
}
static void runCount(void *)
{
    uint32_t crlf, lf, cr;
    countSeps(src, kSize, &crlf, &lf, &cr);
    sink = lf;
}
// A fresh result buffer every round, as Convert has.
static void runReplace(void *seps)
{
    const char **s = (const char **)seps;
    char *out = NULL;
    replaceStr(src, s[0], s[1], &out);
    sink = (size_t)out[0];
    free(out);
}

int main(void)
{
    src = makeText();
    dst = (char *)malloc(kSize);
    memset(dst, 1, kSize);
    report("memcpy", kSize, runMemcpy, NULL);
    report("memcpy into a fresh buffer", kSize, runFreshMemcpy, NULL);
    report("C runtime memchr", kSize, runMemchr, NULL);
    report("C runtime strlen", kSize, runStrlen, NULL);
    report("measureStr", kSize, runMeasure, NULL);
    setBlockKernels(0);
    report("measureStr, plain loop", kSize, runMeasure, NULL);
    setBlockKernels(1);
    report("separator counting (detection)", kSize, runCount, NULL);
    report("counting LF (replacing's first pass)", kSize, runCountByte, NULL);
    const char *lfToCrlf[2] = {SEP_UNIX, SEP_WINDOWS};
    report("replaceStr LF to CR LF, fresh result", kSize, runReplace, lfToCrlf);
    // The same text with CR LF, to convert back.
    char *out = NULL;
    replaceStr(src, SEP_UNIX, SEP_WINDOWS, &out);
    free(src);
    src = out;
    const char *crlfToLf[2] = {SEP_WINDOWS, SEP_UNIX};
    report("replaceStr CR LF to LF, fresh result", strlen(src), runReplace, crlfToLf);
    return 0;
}
