// Shortcuts (.lnk files) handed over by Explorer, taken as the files they point to.
#ifndef PELLMARK_SHORTCUT_H
#define PELLMARK_SHORTCUT_H

#include <windows.h>

enum LinkKind {
    LinkNone = 0, // not a shortcut
    LinkFile,     // a shortcut to a file or a folder
    LinkNoFile    // a shortcut to what is no file (This PC, a Control Panel item, an app), or damaged
};

// Tells what path is. For a shortcut to a file or folder, puts that target's path into
// target (chars characters, the terminator included; a longer one is cut). Shows nothing
// and changes no file. Needs COM on this thread.
int shortcutTarget(const wchar_t *path, wchar_t *target, int chars);

#endif
