// The common controls, the common dialogs, the shell's dropping of files and its command lines,
// COM and the accessibility library, taken from the system folder only.
#ifndef PELLMARK_SYSLIBS_H
#define PELLMARK_SYSLIBS_H

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

extern BOOL(WINAPI *initCommonControlsEx)(const INITCOMMONCONTROLSEX *icc);
extern BOOL(WINAPI *getOpenFileName)(OPENFILENAMEW *ofn);
extern BOOL(WINAPI *getSaveFileName)(OPENFILENAMEW *ofn);
extern DWORD(WINAPI *commDlgExtendedError)(void);

// Windows 10 (1607 on) draws a window at its monitor's scale: the scale and the sizes it asks
// for there. Null before.
extern UINT(WINAPI *getDpiForWindow)(HWND wnd);
extern int(WINAPI *getSystemMetricsForDpi)(int index, UINT dpi);

// Null where the shell lacks any of them: the program then takes no drops.
extern void(WINAPI *dragAcceptFiles)(HWND wnd, BOOL accept);
extern UINT(WINAPI *dragQueryFile)(HDROP drop, UINT index, wchar_t *path, UINT chars);
extern BOOL(WINAPI *dragQueryPoint)(HDROP drop, POINT *pt);
extern void(WINAPI *dragFinish)(HDROP drop);

// The shell's splitting of a command line into arguments, as every program's is split.
extern wchar_t **(WINAPI *commandLineToArgv)(const wchar_t *cmdLine, int *argc);

// The accessibility library, for the names screen readers read: null where it is missing.
extern HMODULE oleacc;

// COM and the shell's item ids, for its shortcuts and the names: null where any is missing.
extern HRESULT(WINAPI *coInitializeEx)(void *reserved, DWORD coInit);
extern void(WINAPI *coUninitialize)(void);
extern HRESULT(WINAPI *coCreateInstance)(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID iid, void **obj);
extern void(WINAPI *coTaskMemFree)(void *mem);
extern BOOL(WINAPI *shGetPathFromIDList)(const ITEMIDLIST *ids, wchar_t *path);
// A path of any length from item ids, from Vista on; null before.
extern HRESULT(WINAPI *shGetNameFromIDList)(const ITEMIDLIST *ids, SIGDN form, wchar_t **name);

// Keeps the program's own folder and the current one out of the DLL search, then loads the
// functions above. Returns 1; or, where the system lacks one of the controls or dialogs,
// tells the user and returns 0.
int loadSysLibs(void);

#endif
