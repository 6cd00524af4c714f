// The file a command line hands over, as Explorer and other programs start Pellmark.
#ifndef PELLMARK_CMDLINE_H
#define PELLMARK_CMDLINE_H

#include <windows.h>

// The first argument of cmdLine after the program's own name that is not empty, or null.
// self is the program's full path. The path lies in *args, which the caller frees with
// LocalFree (null when there is nothing to free).
const wchar_t *handedPath(const wchar_t *cmdLine, const wchar_t *self, wchar_t ***args);

#endif
