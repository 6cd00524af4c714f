// The engine's whole-text loops beside the C runtime the program links (msvcrt.dll in a
// Windows build, glibc natively): GB/s on the benchmarks' text and the ratio to memcpy of
// the same bytes, the best of several rounds; then whole files converted as Convert does,
// UTF-16 LE against 8-bit text of as many bytes. Before timing anything it checks that the
// block kernels and the plain loops build the same results, and fails if they do not.
// usage: bench_engine [MIB [ROUNDS]]   (64 MiB and 7 rounds by default)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>

#include "blocks.h"
#include "format.h"
#include "measure.h"
#include "replace.h"
#include "text.h"

void showReport(void *, const char *, const char *, int) {}

namespace {

size_t size;
int rounds;
char *src, *dst;
double memcpyRate;
volatile size_t sink;

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Best time of fn over the rounds, in seconds.
double bestTime(void (*fn)(void *), void *arg)
{
    double best = 1e9;
    for (int r = 0; r < rounds; r++) {
        double t0 = now();
        fn(arg);
        double t = now() - t0;
        if (t < best)
            best = t;
    }
    return best;
}

// Best time of fn over the rounds, as GB/s of bytes and as a ratio to the rate ref (to the
// first row's, memcpy, when ref is 0).
double report(const char *name, size_t bytes, void (*fn)(void *), void *arg, double ref = 0)
{
    double rate = (double)bytes / bestTime(fn, arg) / 1e9;
    if (memcpyRate == 0)
        memcpyRate = rate;
    printf("%-46s %6.2f GB/s %6.2f x %s\n", name, rate, rate / (ref ? ref : memcpyRate),
           ref ? "memcpy fresh" : "memcpy");
    return rate;
}

void runMemcpy(void *)
{
    memcpy(dst, src, size);
    sink = (size_t)dst[size / 2];
}
// Into a buffer just allocated, as the result of a conversion is: pays the first touch of every page.
void runFreshMemcpy(void *)
{
    char *fresh = (char *)malloc(size);
    memcpy(fresh, src, size);
    sink = (size_t)fresh[size / 2];
    free(fresh);
}
void runMemchr(void *) { sink = (size_t)memchr(src, '\0', size + 1); }
void runStrlen(void *) { sink = strlen(src); }
void runMeasure(void *)
{
    uint32_t len = 0;
    measureStr(src, MAX_MEASURE, &len);
    sink = len;
}
void runCountSeps(void *)
{
    uint32_t crlf, lf, cr;
    countSeps(src, (uint32_t)size, &crlf, &lf, &cr);
    sink = lf;
}
void runCountByte(void *) { sink = charOps(1)->countChar(src, (uint32_t)size, "\n"); }

// One direction of conversion: its source, separators and result.
struct Job {
    const char *src, *oldS, *newS;
    uint32_t srcLen, resLen;
    char *result;
};

// A fresh result buffer every round, as Convert has.
void runReplace(void *arg)
{
    Job *j = (Job *)arg;
    char *out = NULL;
    replaceStr(j->src, j->oldS, j->newS, &out);
    sink = (size_t)out[0];
    free(out);
}
void copyInto(Job *j, char *out)
{
    charOps(1)->copyReplace(j->src, j->srcLen, j->oldS, (uint32_t)strlen(j->oldS), j->newS, (uint32_t)strlen(j->newS), out);
    sink = (size_t)out[j->resLen / 2];
}
// The copy with replacing alone, into a fresh buffer of the result's size.
void runCopy(void *arg)
{
    Job *j = (Job *)arg;
    char *out = (char *)malloc(j->resLen + 1);
    copyInto(j, out);
    free(out);
}
// The same into a buffer already touched: the copy's own work, without first-touch faults.
void runCopyTouched(void *arg) { copyInto((Job *)arg, dst); }
// The floor for the copy: memcpy of the result's bytes into a fresh buffer of its size.
void runResultMemcpy(void *arg)
{
    Job *j = (Job *)arg;
    char *out = (char *)malloc(j->resLen + 1);
    memcpy(out, j->result, j->resLen + 1);
    sink = (size_t)out[j->resLen / 2];
    free(out);
}
void runResultMemcpyTouched(void *arg)
{
    Job *j = (Job *)arg;
    memcpy(dst, j->result, j->resLen + 1);
    sink = (size_t)dst[j->resLen / 2];
}

// The job's result from the kernels, held to the plain loops' result. False if they differ.
bool makeJob(Job *j, const char *text, const char *oldS, const char *newS)
{
    *j = {text, oldS, newS, (uint32_t)strlen(text), 0, NULL};
    char *plain = NULL;
    setBlockKernels(0);
    replaceStr(text, oldS, newS, &plain);
    setBlockKernels(1);
    replaceStr(text, oldS, newS, &j->result);
    j->resLen = (uint32_t)strlen(j->result);
    bool same = strcmp(plain, j->result) == 0;
    free(plain);
    return same;
}

void reportDirection(const char *name, Job *j)
{
    printf("%s (%u bytes to %u):\n", name, j->srcLen, j->resLen);
    double fresh = report("  memcpy of the result, fresh buffer", j->resLen, runResultMemcpy, j);
    report("  copy with replacing, fresh buffer", j->resLen, runCopy, j, fresh);
    report("  replaceStr, fresh result (as in the program)", j->resLen, runReplace, j, fresh);
    report("  memcpy of the result, touched buffer", j->resLen, runResultMemcpyTouched, j, fresh);
    report("  copy with replacing, touched buffer", j->resLen, runCopyTouched, j, fresh);
}

// A whole file, with the NUL byte after it that reading puts there, to convert one way.
struct FileJob {
    const char *file;
    uint32_t size;
    const char *inSep, *outSep;
};

void runConvertText(void *arg)
{
    FileJob *j = (FileJob *)arg;
    char *out = NULL;
    uint32_t len = 0;
    convertText(j->file, j->size, j->inSep, j->outSep, &out, &len);
    sink = len;
    free(out);
}

// The job's result from the kernels, held to the plain loops' result, as the file to convert
// back. False if they differ.
bool convertBack(const FileJob *j, FileJob *back)
{
    char *out[2] = {NULL, NULL};
    uint32_t len[2] = {0, 0};
    for (int k = 0; k < 2; k++) {
        setBlockKernels(k);
        convertText(j->file, j->size, j->inSep, j->outSep, &out[k], &len[k]);
    }
    *back = {out[1], len[1], j->outSep, j->inSep};
    bool same = len[0] == len[1] && memcmp(out[0], out[1], len[0]) == 0;
    free(out[0]);
    return same;
}

// Each direction's time for 8-bit text and for UTF-16 LE, and the one as a ratio to the other.
void reportForms(const FileJob *bytes, const FileJob *wide)
{
    printf("whole files as Convert has them, %u bytes each (best of %d rounds):\n", bytes->size, rounds);
    for (int k = 0; k < 2; k++, bytes++, wide++) {
        double t8 = bestTime(runConvertText, (void *)bytes), t16 = bestTime(runConvertText, (void *)wide);
        printf("  %-12s 8-bit %7.3f s, UTF-16 LE %7.3f s: %5.2f x\n", k == 0 ? "LF to CR LF" : "CR LF to LF", t8,
               t16, t16 / t8);
    }
}

} // namespace

int main(int argc, char **argv)
{
    size = (size_t)(argc > 1 ? atoi(argv[1]) : 64) << 20;
    rounds = argc > 2 ? atoi(argv[2]) : 7;
    src = (char *)malloc(size + 1);
    makeText(src, size, "\n");
    src[size] = '\0';
    Job lf, crlf;
    if (!makeJob(&lf, src, SEP_UNIX, SEP_WINDOWS) || !makeJob(&crlf, lf.result, SEP_WINDOWS, SEP_UNIX)) {
        fprintf(stderr, "the block kernels and the plain loops build different results\n");
        return 1;
    }
    // The same bytes as UTF-16 LE: its mark, then the 8-bit text's first characters widened.
    char *wide = (char *)calloc(size + 2, 1);
    wide[0] = '\xFF';
    wide[1] = '\xFE';
    for (size_t k = 0; k < size / 2 - 1; k++)
        wide[2 + 2 * k] = src[k];
    FileJob files[4] = {
        {src, (uint32_t)size, SEP_UNIX, SEP_WINDOWS}, {}, {wide, (uint32_t)(size & ~1u), SEP_UNIX, SEP_WINDOWS}, {}};
    if (!convertBack(&files[0], &files[1]) || !convertBack(&files[2], &files[3])) {
        fprintf(stderr, "the block kernels and the plain loops convert files differently\n");
        return 1;
    }
    // Room for the longer result of LF to CR LF.
    dst = (char *)malloc(2 * size + 1);
    memset(dst, 1, 2 * size + 1);

    printf("%u MiB of text, best of %d rounds; block kernels %s\n", (unsigned)(size >> 20), rounds,
           blockKernels() ? "on" : "off (no SSE2)");
    report("memcpy", size, runMemcpy, NULL);
    report("memcpy into a fresh buffer", size, runFreshMemcpy, NULL);
    report("C runtime memchr", size, runMemchr, NULL);
    report("C runtime strlen", size, runStrlen, NULL);
    report("measureStr", size, runMeasure, NULL);
    setBlockKernels(0);
    report("measureStr, plain loop", size, runMeasure, NULL);
    setBlockKernels(1);
    report("separator counting (detection)", size, runCountSeps, NULL);
    report("counting LF (replacing's first pass)", size, runCountByte, NULL);
    reportDirection("LF to CR LF", &lf);
    reportDirection("CR LF to LF", &crlf);
    reportForms(&files[0], &files[2]);
    return 0;
}
