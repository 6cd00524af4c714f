#include <windows.h>

#include "cmdline.h"
#include "dialogs.h"
#include "report.h"
#include "resource.h"
#include "syslibs.h"

int appMain(HINSTANCE inst)
{
    if (!loadSysLibs())
        return 0;
    INITCOMMONCONTROLSEX icc = {sizeof(INITCOMMONCONTROLSEX), 0};
    initCommonControlsEx(&icc);
    // Explorer hands a file over on the command line: dropped onto the program or a shortcut
    // to it, Send To, Open with. The first path is taken, the rest ignored; nothing is a switch.
    wchar_t self[MAX_PATH];
    wchar_t **args = NULL;
    DWORD n = GetModuleFileNameW(NULL, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        self[0] = L'\0';
    const wchar_t *arg = handedPath(GetCommandLineW(), self, &args);
    // A Unicode window, so that its path boxes hold any name.
    if (DialogBoxParamW(inst, MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, (LPARAM)arg) == -1)
        showReport(NULL, "Creation of main window failed!", "Error", IconError);
    LocalFree(args);
    return 0;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmdLine, int show)
{
    (void)prev;
    (void)cmdLine;
    (void)show;
    return appMain(inst);
}
