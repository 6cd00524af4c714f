// Converting a file's line separators, path to path.
#ifndef PELLMARK_CONVERT_H
#define PELLMARK_CONVERT_H

#include <windows.h>

// Reads inPath whole, replaces every inSep by outSep and writes outPath.
// Tells the user the outcome; owner is the main dialog.
void convertFile(HWND owner, const char *inPath, const char *outPath,
                 const char *inSep, const char *outSep);

#endif
