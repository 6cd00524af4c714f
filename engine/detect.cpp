#include <windows.h>
#include <stdlib.h>

#include "format.h"
#include "readwhole.h"

FileFormat detectFormat(const wchar_t *path)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    char *buf = NULL;
    uint32_t size = 0;
    int rr = readWhole(path, &file, &buf, &size);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);

    uint32_t crlf = 0, lf = 0, cr = 0;
    if (rr == ReadOk)
        countSeps(buf, size, &crlf, &lf, &cr);
    free(buf);
    return pickFormat(crlf, lf, cr);
}
