#include "syslibs.h"
#include "report.h"

BOOL(WINAPI *initCommonControlsEx)(const INITCOMMONCONTROLSEX *icc);
BOOL(WINAPI *getOpenFileName)(OPENFILENAMEW *ofn);
BOOL(WINAPI *getSaveFileName)(OPENFILENAMEW *ofn);
DWORD(WINAPI *commDlgExtendedError)(void);
UINT(WINAPI *getDpiForWindow)(HWND wnd);
int(WINAPI *getSystemMetricsForDpi)(int index, UINT dpi);
void(WINAPI *dragAcceptFiles)(HWND wnd, BOOL accept);
UINT(WINAPI *dragQueryFile)(HDROP drop, UINT index, wchar_t *path, UINT chars);
BOOL(WINAPI *dragQueryPoint)(HDROP drop, POINT *pt);
void(WINAPI *dragFinish)(HDROP drop);
wchar_t **(WINAPI *commandLineToArgv)(const wchar_t *cmdLine, int *argc);
HRESULT(WINAPI *coInitializeEx)(void *reserved, DWORD coInit);
void(WINAPI *coUninitialize)(void);
HRESULT(WINAPI *coCreateInstance)(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID iid, void **obj);
void(WINAPI *coTaskMemFree)(void *mem);
HMODULE oleacc;
BOOL(WINAPI *shGetPathFromIDList)(const ITEMIDLIST *ids, wchar_t *path);
HRESULT(WINAPI *shGetNameFromIDList)(const ITEMIDLIST *ids, SIGDN form, wchar_t **name);

typedef void (*AnyFn)(void);

static AnyFn procOf(HMODULE lib, const char *name)
{
    return lib == NULL ? NULL : (AnyFn)GetProcAddress(lib, name);
}

// Windows looks for a DLL asked for by its bare name in the program's own folder first. That
// is usually Downloads, where a web page may have put a DLL of such a name, and the common
// controls and dialogs ask for many that are not on the system's list of known DLLs.
// Windows 8, and 7 and Vista with their update KB2533623, can be told to search the system
// folder alone; returns whether it was.
static int searchSystemOnly(HMODULE kernel)
{
    BOOL(WINAPI *setDefaultDirs)(DWORD) = (BOOL(WINAPI *)(DWORD))procOf(kernel, "SetDefaultDllDirectories");
    if (setDefaultDirs != NULL && setDefaultDirs(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return 1;
    // XP SP1 on: takes the current folder out at least.
    BOOL(WINAPI *setDllDir)(const wchar_t *) = (BOOL(WINAPI *)(const wchar_t *))procOf(kernel, "SetDllDirectoryW");
    if (setDllDir != NULL)
        setDllDir(L"");
    return 0;
}

// Where the search cannot be told so, each library comes from the system folder by its full
// path, and the libraries it imports are looked for beside it first.
static int restricted;

static HMODULE loadSystem(const wchar_t *name)
{
    if (restricted)
        return LoadLibraryW(name);
    wchar_t path[MAX_PATH + 32];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return NULL;
    lstrcatW(path, L"\\");
    lstrcatW(path, name);
    return LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The system libraries that the common controls, the file dialogs, the shell, COM and the
// accessibility library ask for by name later, some only as a file dialog opens: loaded from
// the system folder first, each later request by name finds them loaded. Those that a
// system lacks are passed over.
static const wchar_t *const asked[] = {
    L"uxtheme.dll", L"userenv.dll", L"setupapi.dll", L"apphelp.dll", L"propsys.dll", L"dwmapi.dll",
    L"cryptbase.dll", L"oleacc.dll", L"version.dll", L"profapi.dll", L"clbcatq.dll", L"msimg32.dll",
};

int loadSysLibs(void)
{
    restricted = searchSystemOnly(GetModuleHandleW(L"kernel32.dll"));
    for (size_t i = 0; !restricted && i < sizeof(asked) / sizeof(asked[0]); i++)
        loadSystem(asked[i]);
    // The manifest's activation context makes this version 6 of the common controls, which
    // Windows takes by name from its side-by-side store, never from the program's folder.
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    HMODULE dialogs = loadSystem(L"comdlg32.dll");
    initCommonControlsEx = (BOOL(WINAPI *)(const INITCOMMONCONTROLSEX *))procOf(controls, "InitCommonControlsEx");
    getOpenFileName = (BOOL(WINAPI *)(OPENFILENAMEW *))procOf(dialogs, "GetOpenFileNameW");
    getSaveFileName = (BOOL(WINAPI *)(OPENFILENAMEW *))procOf(dialogs, "GetSaveFileNameW");
    commDlgExtendedError = (DWORD(WINAPI *)(void))procOf(dialogs, "CommDlgExtendedError");
    HMODULE user = GetModuleHandleW(L"user32.dll");
    getDpiForWindow = (UINT(WINAPI *)(HWND))procOf(user, "GetDpiForWindow");
    getSystemMetricsForDpi = (int(WINAPI *)(int, UINT))procOf(user, "GetSystemMetricsForDpi");
    HMODULE shell = loadSystem(L"shell32.dll");
    dragQueryFile = (UINT(WINAPI *)(HDROP, UINT, wchar_t *, UINT))procOf(shell, "DragQueryFileW");
    dragQueryPoint = (BOOL(WINAPI *)(HDROP, POINT *))procOf(shell, "DragQueryPoint");
    dragFinish = (void(WINAPI *)(HDROP))procOf(shell, "DragFinish");
    dragAcceptFiles = (void(WINAPI *)(HWND, BOOL))procOf(shell, "DragAcceptFiles");
    if (!dragQueryFile || !dragQueryPoint || !dragFinish)
        dragAcceptFiles = NULL;
    commandLineToArgv = (wchar_t **(WINAPI *)(const wchar_t *, int *))procOf(shell, "CommandLineToArgvW");
    HMODULE com = loadSystem(L"ole32.dll");
    coInitializeEx = (HRESULT(WINAPI *)(void *, DWORD))procOf(com, "CoInitializeEx");
    coUninitialize = (void(WINAPI *)(void))procOf(com, "CoUninitialize");
    coCreateInstance = (HRESULT(WINAPI *)(REFCLSID, IUnknown *, DWORD, REFIID, void **))procOf(com, "CoCreateInstance");
    coTaskMemFree = (void(WINAPI *)(void *))procOf(com, "CoTaskMemFree");
    shGetPathFromIDList = (BOOL(WINAPI *)(const ITEMIDLIST *, wchar_t *))procOf(shell, "SHGetPathFromIDListW");
    shGetNameFromIDList = (HRESULT(WINAPI *)(const ITEMIDLIST *, SIGDN, wchar_t **))procOf(shell, "SHGetNameFromIDList");
    // Where the system lacks it, controls keep the names of their texts.
    oleacc = loadSystem(L"oleacc.dll");
    if (!coInitializeEx || !coUninitialize || !coCreateInstance || !coTaskMemFree || !shGetPathFromIDList) {
        coInitializeEx = NULL;
        coUninitialize = NULL;
        coCreateInstance = NULL;
    }
    if (initCommonControlsEx && getOpenFileName && getSaveFileName && commDlgExtendedError)
        return 1;
    showReport(NULL, "This version of Windows lacks the common controls or dialogs Pellmark needs!",
               "Error", IconError);
    return 0;
}
