#include <stdlib.h>

#include "convert.h"
#include "output.h"
#include "readwhole.h"
#include "replace.h"
#include "report.h"

static void convertRead(HWND owner, const char *buf, uint32_t size, const wchar_t *outPath,
                        const char *inSep, const char *outSep)
{
    char *result = NULL;
    uint32_t len = 0;
    switch (convertText(buf, size, inSep, outSep, &result, &len)) {
    case TextOk:
        writeOutput(owner, outPath, result, len);
        break;
    case TextHasNul:
        showReport(NULL, "File Conversion Error:\nInput file holds a NUL character!", "Error", IconError);
        break;
    default:
        showReport(NULL, "File Conversion Error", "Error", IconError);
        break;
    }
    free(result);
}

void convertFile(HWND owner, const wchar_t *inPath, const wchar_t *outPath,
                 const char *inSep, const char *outSep)
{
    HANDLE in = INVALID_HANDLE_VALUE;
    char *buf = NULL;
    uint32_t size = 0;

    // The input stays open, shared for reading only, until the output is written.
    switch (readWhole(inPath, &in, &buf, &size)) {
    case ReadOk:
        convertRead(owner, buf, size, outPath, inSep, outSep);
        break;
    case ReadNoOpen:
        showReport(owner, "Could not open the input file!", "Error", IconError);
        break;
    case ReadTooLarge:
    case ReadNoMemory:
        showReport(NULL, "File Conversion Error:\nInput file too large!", "Error", IconError);
        break;
    default:
        showReport(owner, "Could not read the input file!", "Error", IconError);
        break;
    }

    free(buf);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
}
