// The common controls and the common dialogs, taken from the system folder only.
#ifndef PELLMARK_SYSLIBS_H
#define PELLMARK_SYSLIBS_H

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

extern BOOL(WINAPI *initCommonControlsEx)(const INITCOMMONCONTROLSEX *icc);
extern BOOL(WINAPI *getOpenFileName)(OPENFILENAMEW *ofn);
extern BOOL(WINAPI *getSaveFileName)(OPENFILENAMEW *ofn);
extern DWORD(WINAPI *commDlgExtendedError)(void);

// Keeps the program's own folder and the current one out of the DLL search, then loads the
// functions above. Returns 1; or, where the system lacks one, tells the user and returns 0.
int loadSysLibs(void);

#endif
