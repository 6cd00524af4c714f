// Reading a whole file into a NUL-terminated buffer, shared by conversion and detection.
#ifndef PELLMARK_READWHOLE_H
#define PELLMARK_READWHOLE_H

#include <windows.h>
#include <stdint.h>

enum ReadResult {
    ReadOk = 0,
    ReadNoOpen,     // the file cannot be opened, or its size cannot be had
    ReadTooLarge,   // 4 GiB or more, or too large for size + 1 to fit in 32 bits
    ReadNoMemory,
    ReadFailed      // the read failed or delivered fewer bytes than the size
};

// Opens path for reading, shared for reading only, and reads it whole into a
// malloc'd buffer of size + 1 bytes with a NUL after the contents.
// *file and *buf are set as soon as they exist, also on failure: the caller
// closes and frees them, after it has told the user what went wrong.
int readWhole(const wchar_t *path, HANDLE *file, char **buf, uint32_t *size);

#endif
