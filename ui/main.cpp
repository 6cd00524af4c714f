#include <windows.h>

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
    // A Unicode window, so that its path boxes hold any name.
    if (DialogBoxParamW(inst, MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, 0) == -1)
        showReport(NULL, "Creation of main window failed!", "Error", IconError);
    return 0;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmdLine, int show)
{
    (void)prev;
    (void)cmdLine;
    (void)show;
    return appMain(inst);
}
