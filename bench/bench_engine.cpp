// Engine speed on 64 MiB of text that looks real, as ratios to memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#include "format.h"
#include "measure.h"
#include "replace.h"
#include "text.h"

void showReport(void *, const char *, const char *, int) {}

namespace {

const size_t kSize = 64u << 20;

// Lines of 0 to 120 bytes of words, each ended by sep; the same text for every run.
const std::string &text(const char *sep)
{
    static std::map<std::string, std::string> made;
    std::string &t = made[sep];
    if (!t.empty())
        return t;
    t.resize(kSize);
    makeText(&t[0], kSize, sep);
    return t;
}

void BM_memcpy(benchmark::State &state)
{
    const std::string &src = text("\n");
    char *dst = (char *)malloc(src.size());
    for (auto _ : state) {
        memcpy(dst, src.data(), src.size());
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)src.size());
    free(dst);
}

// memcpy into a buffer just allocated: pays the kernel's first touch of every page, as the
// result buffer of a conversion does.
void BM_memcpy_fresh(benchmark::State &state)
{
    const std::string &src = text("\n");
    for (auto _ : state) {
        char *dst = (char *)malloc(src.size());
        memcpy(dst, src.data(), src.size());
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
        free(dst);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)src.size());
}

// Large blocks from the heap, kept after free: the result buffer's pages are then warm
// from the previous round, which isolates the engine's own work from the first touch.
void keepHeap(bool on)
{
    mallopt(M_MMAP_MAX, on ? 0 : 65536);
    mallopt(M_TRIM_THRESHOLD, on ? 1 << 30 : 128 * 1024);
}

void replaceBench(benchmark::State &state, const char *oldS, const char *newS)
{
    const std::string &src = text(oldS);
    keepHeap(state.range(0) != 0);
    char *out = NULL;
    for (auto _ : state) {
        if (!replaceStr(src.c_str(), oldS, newS, &out))
            state.SkipWithError("replaceStr failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)src.size());
    free(out);
    keepHeap(false);
}

void BM_replace_LF_to_CRLF(benchmark::State &state) { replaceBench(state, "\n", "\r\n"); }
void BM_replace_CRLF_to_LF(benchmark::State &state) { replaceBench(state, "\r\n", "\n"); }
void BM_replace_CR_to_LF(benchmark::State &state) { replaceBench(state, "\r", "\n"); }

void BM_countSeps(benchmark::State &state)
{
    const std::string &src = text("\r\n");
    for (auto _ : state) {
        uint32_t crlf, lf, cr;
        countSeps(src.data(), (uint32_t)src.size(), &crlf, &lf, &cr);
        benchmark::DoNotOptimize(crlf + lf + cr);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)src.size());
}

void BM_measureStr(benchmark::State &state)
{
    const std::string &src = text("\n");
    for (auto _ : state) {
        uint32_t len = 0;
        measureStr(src.c_str(), MAX_MEASURE, &len);
        benchmark::DoNotOptimize(len);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)src.size());
}

BENCHMARK(BM_memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_fresh)->Unit(benchmark::kMillisecond);
// Argument 0: a fresh result buffer each round, as in the program; 1: a warm one.
BENCHMARK(BM_replace_LF_to_CRLF)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_replace_CRLF_to_LF)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_replace_CR_to_LF)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_countSeps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_measureStr)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's rate, to print it against memcpy's from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end())
                rates[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    double base = rep.rates["BM_memcpy"];
    double fresh = rep.rates["BM_memcpy_fresh"];
    if (base <= 0 || fresh <= 0)
        return 0;
    const struct {
        const char *name;
        double target;
    } goals[] = {{"BM_replace_LF_to_CRLF/0", 0.25}, {"BM_replace_CRLF_to_LF/0", 0.25}, {"BM_replace_CR_to_LF/0", 0.25},
                 {"BM_replace_LF_to_CRLF/1", 0.25}, {"BM_replace_CRLF_to_LF/1", 0.25}, {"BM_replace_CR_to_LF/1", 0.25},
                 {"BM_countSeps", 0.5}, {"BM_measureStr", 0.8}};
    printf("\nmemcpy: %.2f GB/s; into a fresh buffer: %.2f GB/s\n", base / 1e9, fresh / 1e9);
    printf("%-26s %10s %9s %9s %7s\n", "", "GB/s", "x memcpy", "x fresh", "target");
    for (const auto &g : goals) {
        double rate = rep.rates[g.name];
        printf("%-26s %10.2f %9.2f %9.2f %7.2f  %s\n", g.name, rate / 1e9, rate / base, rate / fresh, g.target,
               rate / base >= g.target ? "met" : "missed");
    }
    return 0;
}
