// Shortcuts (.lnk files) handed over by Explorer, taken as the files they point to.
#ifndef PELLMARK_SHORTCUT_H
#define PELLMARK_SHORTCUT_H

#include <windows.h>

// When path names a shortcut whose target the shell can read, puts that target's path into
// target (chars characters, the terminator included; a longer one is cut) and returns 1;
// otherwise returns 0. Shows nothing and changes no file. Needs COM on this thread.
int shortcutTarget(const wchar_t *path, wchar_t *target, int chars);

#endif
