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
#include "text.h"

void showReport(void *, const char *, const char *, int) {}

static const size_t kSize = 64u << 20;
static const int kRounds = 7;
static double memcpyRate;

// The benchmarks' text with LF line ends, and the terminator.
static char *makeSource(void)
{
    char *t = (char *)malloc(kSize + 1);
    makeText(t, kSize, "\n");
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

// Best time of fn over the rounds, as GB/s of bytes and as a ratio to the rate ref (to the
// first row's, memcpy, when ref is 0).
static double report(const char *name, size_t bytes, void (*fn)(void *), void *arg, double ref = 0)
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
    printf("%-46s %6.2f GB/s %6.2f x %s\n", name, rate, rate / (ref ? ref : memcpyRate),
           ref ? "memcpy fresh" : "memcpy");
    return rate;
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

// One direction of conversion: its source, separators and result.
struct Job {
    const char *src, *oldS, *newS;
    uint32_t srcLen, resLen;
    char *result;
};

// A fresh result buffer every round, as Convert has.
static void runReplace(void *arg)
{
    Job *j = (Job *)arg;
    char *out = NULL;
    replaceStr(j->src, j->oldS, j->newS, &out);
    sink = (size_t)out[0];
    free(out);
}
// The copy with replacing alone, into a fresh buffer of the result's size.
static void runCopy(void *arg)
{
    Job *j = (Job *)arg;
    char *out = (char *)malloc(j->resLen + 1);
    copyReplace(j->src, j->srcLen, j->oldS, (uint32_t)strlen(j->oldS), j->newS, (uint32_t)strlen(j->newS), out);
    sink = (size_t)out[j->resLen / 2];
    free(out);
}
// The same into a buffer already touched: the copy's own work, without first-touch faults.
static void runCopyTouched(void *arg)
{
    Job *j = (Job *)arg;
    copyReplace(j->src, j->srcLen, j->oldS, (uint32_t)strlen(j->oldS), j->newS, (uint32_t)strlen(j->newS), dst);
    sink = (size_t)dst[j->resLen / 2];
}
// The floor for the copy: memcpy of the result's bytes into a fresh buffer of its size.
static void runResultMemcpy(void *arg)
{
    Job *j = (Job *)arg;
    char *out = (char *)malloc(j->resLen + 1);
    memcpy(out, j->result, j->resLen + 1);
    sink = (size_t)out[j->resLen / 2];
    free(out);
}
static void runResultMemcpyTouched(void *arg)
{
    Job *j = (Job *)arg;
    memcpy(dst, j->result, j->resLen + 1);
    sink = (size_t)dst[j->resLen / 2];
}

static Job makeJob(const char *text, const char *oldS, const char *newS)
{
    Job j = {text, oldS, newS, (uint32_t)strlen(text), 0, NULL};
    replaceStr(text, oldS, newS, &j.result);
    j.resLen = (uint32_t)strlen(j.result);
    return j;
}

static void reportDirection(const char *name, Job *j)
{
    printf("%s (%u bytes to %u):\n", name, j->srcLen, j->resLen);
    double fresh = report("  memcpy of the result, fresh buffer", j->resLen, runResultMemcpy, j);
    report("  copy with replacing, fresh buffer", j->resLen, runCopy, j, fresh);
    report("  replaceStr, fresh result (as in the program)", j->resLen, runReplace, j, fresh);
    report("  memcpy of the result, touched buffer", j->resLen, runResultMemcpyTouched, j, fresh);
    report("  copy with replacing, touched buffer", j->resLen, runCopyTouched, j, fresh);
}

int main(void)
{
    src = makeSource();
    // Room for the longer result of LF to CR LF.
    dst = (char *)malloc(2 * kSize + 1);
    memset(dst, 1, 2 * kSize + 1);
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
    Job lf = makeJob(src, SEP_UNIX, SEP_WINDOWS);
    reportDirection("LF to CR LF", &lf);
    Job crlf = makeJob(lf.result, SEP_WINDOWS, SEP_UNIX);
    reportDirection("CR LF to LF", &crlf);
    return 0;
}
