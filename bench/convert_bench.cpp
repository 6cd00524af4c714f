// Converts one file with the engine, as Convert does, and prints the outcome and the most
// memory it held. Ends with 0 only when the conversion succeeded.
// usage: convert_bench IN OUT FROM TO   (FROM, TO: windows, unix or mac)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include "convert.h"
#include "format.h"
#include "report.h"

static int succeeded;

// Reports go to the console: there is nobody to press OK.
void showReport(void *, const char *text, const char *caption, int icon)
{
    printf("%s: %s\n", caption, text);
    succeeded = icon == IconInfo;
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

int main(int argc, char **argv)
{
    if (argc != 5 || !sepOf(argv[3]) || !sepOf(argv[4])) {
        fprintf(stderr, "usage: convert_bench IN OUT windows|unix|mac windows|unix|mac\n");
        return 2;
    }
    wchar_t in[MAX_PATH], out[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, in, MAX_PATH);
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, out, MAX_PATH);
    convertFile(NULL, in, out, sepOf(argv[3]), sepOf(argv[4]));
    PROCESS_MEMORY_COUNTERS pmc;
    ZeroMemory(&pmc, sizeof(pmc));
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    printf("peak memory: %.1f MiB\n", pmc.PeakWorkingSetSize / 1048576.0);
    return succeeded ? 0 : 1;
}
