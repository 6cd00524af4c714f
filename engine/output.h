// Putting a conversion's result where the user asked, and telling the user how it went.
#ifndef PELLMARK_OUTPUT_H
#define PELLMARK_OUTPUT_H

#include <windows.h>
#include <stdint.h>

// Writes len bytes of result to outPath (UTF-16). A disk file is only ever replaced whole:
// the result goes to a new file beside it first, on the disk before it takes the output's
// place, and a failure leaves the old one as it was. A device is written directly. Shows
// the outcome; owner is the main dialog.
void writeOutput(HWND owner, const wchar_t *outPath, const char *result, uint32_t len);

#endif
