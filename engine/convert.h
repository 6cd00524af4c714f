// Converting a file's line separators, path to path.
#ifndef PELLMARK_CONVERT_H
#define PELLMARK_CONVERT_H

#include <windows.h>

// Reads inPath whole, replaces every inSep by outSep and writes outPath. Paths are UTF-16,
// so that any name reaches its own file; contents are text in the encoding encoding.h tells.
// Tells the user the outcome; owner is the main dialog.
void convertFile(HWND owner, const wchar_t *inPath, const wchar_t *outPath,
                 const char *inSep, const char *outSep);

#endif
