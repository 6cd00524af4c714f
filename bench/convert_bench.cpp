// Converts one file with the engine, as Convert does, and prints the time and memory it took.
// usage: convert_bench IN OUT FROM TO   (FROM, TO: windows, unix or mac)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include "convert.h"
#include "format.h"
#include "report.h"

// Reports go to the console: there is nobody to press OK.
void showReport(void *, const char *text, const char *caption, int)
{
    printf("%s: %s\n", caption, text);
}

static const char *sepOf(const char *name)
{
    if (strcmp(name, "windows") == 0)
        return SEP_WINDOWS;
    if (strcmp(name, "unix") == 0)
        return SEP_UNIX;
    if (strcmp(name, "mac") == 0)
        return SEP_MAC;
    return NULL;
}

static SIZE_T peakMemory()
{
    PROCESS_MEMORY_COUNTERS pmc;
    ZeroMemory(&pmc, sizeof(pmc));
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    return pmc.PeakWorkingSetSize;
}

int main(int argc, char **argv)
{
    if (argc != 5 || !sepOf(argv[3]) || !sepOf(argv[4])) {
        fprintf(stderr, "usage: convert_bench IN OUT windows|unix|mac windows|unix|mac\n");
        return 2;
    }
    SIZE_T before = peakMemory();
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    wchar_t in[MAX_PATH], out[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, in, MAX_PATH);
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, out, MAX_PATH);
    convertFile(NULL, in, out, sepOf(argv[3]), sepOf(argv[4]));
    QueryPerformanceCounter(&t1);
    SIZE_T after = peakMemory();
    printf("seconds %.3f\npeak_before_mib %.1f\npeak_after_mib %.1f\n", (double)(t1.QuadPart - t0.QuadPart) / (double)freq.QuadPart,
           before / 1048576.0, after / 1048576.0);
    return 0;
}
