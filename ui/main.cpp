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
    // Explorer hands a file over on the command line: dropped onto the program or a shortcut
    // to it, Send To, Open with. The first path is taken, the rest ignored; nothing is a switch.
    int argc = 0;
    wchar_t **argv = commandLineToArgv != NULL ? commandLineToArgv(GetCommandLineW(), &argc) : NULL;
    LPARAM arg = argv != NULL && argc > 1 ? (LPARAM)argv[1] : 0;
    // A Unicode window, so that its path boxes hold any name.
    if (DialogBoxParamW(inst, MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, arg) == -1)
        showReport(NULL, "Creation of main window failed!", "Error", IconError);
    LocalFree(argv);
    return 0;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmdLine, int show)
{
    (void)prev;
    (void)cmdLine;
    (void)show;
    return appMain(inst);
}
