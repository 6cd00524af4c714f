#include <windows.h>
#include <shlobj.h>

#include "shortcut.h"
#include "syslibs.h"

// A shortcut is told by its extension, as Explorer tells it.
static int isShortcut(const wchar_t *path)
{
    int n = lstrlenW(path);
    return n >= 4 && lstrcmpiW(path + n - 4, L".lnk") == 0;
}

// The path of the item that ids name, if it is in the file system: whole from Vista on, cut
// to fit target; before, only within MAX_PATH, as the system itself takes paths then.
static int idsPath(const ITEMIDLIST *ids, wchar_t *target, int chars)
{
    wchar_t *name = NULL;
    if (shGetNameFromIDList == NULL)
        return chars >= MAX_PATH && shGetPathFromIDList(ids, target);
    if (FAILED(shGetNameFromIDList(ids, SIGDN_FILESYSPATH, &name)))
        return 0;
    lstrcpynW(target, name, chars);
    coTaskMemFree(name);
    return 1;
}

int shortcutTarget(const wchar_t *path, wchar_t *target, int chars)
{
    if (!isShortcut(path))
        return LinkNone;
    // A shortcut that cannot be read leads nowhere the program can tell, and is not text.
    if (coCreateInstance == NULL)
        return LinkNoFile;
    IShellLinkW *link = NULL;
    IPersistFile *file = NULL;
    int got = LinkNoFile;
    // Loaded and read, never resolved: no search for a moved target, no box, no rewriting.
    HRESULT hr = coCreateInstance(__uuidof(ShellLink), NULL, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), (void **)&link);
    if (SUCCEEDED(hr) && SUCCEEDED(link->QueryInterface(__uuidof(IPersistFile), (void **)&file)) &&
        SUCCEEDED(file->Load(path, STGM_READ))) {
        // The target's item ids name it exactly, as Windows reads it; the path kept beside
        // them may have gone through the code page (Wine keeps only that). A target too long
        // for the ids' way on XP is still told by the path, at a length that is refused.
        ITEMIDLIST *ids = NULL;
        if ((SUCCEEDED(link->GetIDList(&ids)) && ids != NULL && idsPath(ids, target, chars)) ||
            (link->GetPath(target, chars, NULL, 0) == S_OK && target[0] != L'\0'))
            got = LinkFile;
        coTaskMemFree(ids);
    }
    if (file != NULL)
        file->Release();
    if (link != NULL)
        link->Release();
    return got;
}
