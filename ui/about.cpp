#include "dialogs.h"
#include "resource.h"

INT_PTR CALLBACK AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        EndDialog(dlg, 0);
        return TRUE;
    case WM_COMMAND:
        // Esc arrives as IDCANCEL and is ignored: only OK closes the box.
        if (LOWORD(wParam) == IDOK)
            EndDialog(dlg, 1);
        return TRUE;
    }
    return FALSE;
}
