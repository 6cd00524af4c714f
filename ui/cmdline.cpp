#include <stdlib.h>

#include "cmdline.h"
#include "syslibs.h"

static int isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Whether the n characters at name, as a command line writes a program, name the one at
// self: its path or the end of it from a folder on, with or without ".exe", in any case,
// with / for \.
static int namesSelf(const wchar_t *name, int n, const wchar_t *self)
{
    wchar_t buf[MAX_PATH + 5];
    int len = lstrlenW(self);
    if (n == 0 || n > MAX_PATH)
        return 0;
    for (int i = 0; i < n; i++)
        buf[i] = name[i] == L'/' ? L'\\' : name[i];
    lstrcpyW(buf + n, L".exe");
    for (int m = n; m <= n + 4; m += 4) {
        wchar_t last = buf[m];
        buf[m] = L'\0';
        int match = m <= len && lstrcmpiW(self + len - m, buf) == 0 && (m == len || self[len - m - 1] == L'\\');
        buf[m] = last;
        if (match)
            return 1;
    }
    return 0;
}

// Where the arguments begin. Windows starts a program whose path holds a space and is not
// quoted (as some schedulers and installers write it) and passes the line on as written:
// its name then ends at the first blank after which what comes before names this program.
static const wchar_t *afterName(const wchar_t *cmdLine, const wchar_t *self)
{
    const wchar_t *name = cmdLine;
    while (isBlank(*name))
        name++;
    if (*name == L'"') {
        const wchar_t *end = wcschr(name + 1, L'"');
        return end != NULL ? end + 1 : name + lstrlenW(name);
    }
    const wchar_t *first = NULL;
    for (const wchar_t *p = name;; p++) {
        if (!isBlank(*p) && *p != L'\0')
            continue;
        if (first == NULL)
            first = p;
        if (namesSelf(name, (int)(p - name), self))
            return p;
        if (*p == L'\0')
            return first;
    }
}

const wchar_t *handedPath(const wchar_t *cmdLine, const wchar_t *self, wchar_t ***args)
{
    *args = NULL;
    if (commandLineToArgv == NULL)
        return NULL;
    // Split as every program's arguments are, behind a name of our own.
    const wchar_t *rest = afterName(cmdLine, self);
    wchar_t *line = (wchar_t *)malloc((lstrlenW(rest) + 3) * sizeof(wchar_t));
    if (line == NULL)
        return NULL;
    lstrcpyW(line, L"x ");
    lstrcatW(line, rest);
    int argc = 0;
    *args = commandLineToArgv(line, &argc);
    free(line);
    for (int i = 1; *args != NULL && i < argc; i++) {
        const wchar_t *a = (*args)[i];
        while (isBlank(*a))
            a++;
        // An empty argument names no file, nor does one of blanks alone.
        if (*a != L'\0')
            return (*args)[i];
    }
    return NULL;
}
