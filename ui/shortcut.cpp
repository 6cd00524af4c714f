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

int shortcutTarget(const wchar_t *path, wchar_t *target, int chars)
{
    if (coCreateInstance == NULL || !isShortcut(path))
        return 0;
    IShellLinkW *link = NULL;
    IPersistFile *file = NULL;
    int got = 0;
    // Loaded and read, never resolved: no search for a moved target, no box, no rewriting.
    HRESULT hr = coCreateInstance(__uuidof(ShellLink), NULL, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), (void **)&link);
    if (SUCCEEDED(hr) && SUCCEEDED(link->QueryInterface(__uuidof(IPersistFile), (void **)&file)) &&
        SUCCEEDED(file->Load(path, STGM_READ))) {
        // The target's item ids name it exactly, as Windows reads it; the path kept beside
        // them may have gone through the code page (Wine keeps only that). A target too long
        // for the ids' way is still told by the path, at a length that is refused.
        ITEMIDLIST *ids = NULL;
        if (chars >= MAX_PATH && SUCCEEDED(link->GetIDList(&ids)) && ids != NULL && shGetPathFromIDList(ids, target))
            got = 1;
        else
            got = link->GetPath(target, chars, NULL, 0) == S_OK && target[0] != L'\0';
        coTaskMemFree(ids);
    }
    if (file != NULL)
        file->Release();
    if (link != NULL)
        link->Release();
    return got;
}
