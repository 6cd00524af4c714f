#include <stdlib.h>

#include "readwhole.h"

int readWhole(const wchar_t *path, HANDLE *file, char **buf, uint32_t *size)
{
    *file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                        FILE_ATTRIBUTE_ARCHIVE, NULL);
    if (*file == INVALID_HANDLE_VALUE)
        return ReadNoOpen;

    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(*file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return ReadNoOpen;
    // 0xFFFFFFFF bytes pass the high-part test, but the terminator would not fit.
    if (high != 0 || low == 0xFFFFFFFFu)
        return ReadTooLarge;

    *buf = (char *)malloc((size_t)low + 1);
    if (*buf == NULL)
        return ReadNoMemory;

    DWORD got = 0;
    // A short read is a failure: no byte that was not read may pass for contents.
    if (!ReadFile(*file, *buf, low, &got, NULL) || got != low)
        return ReadFailed;
    (*buf)[low] = '\0';
    *size = low;
    return ReadOk;
}
