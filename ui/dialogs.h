// The program's two dialogs and its main function.
#ifndef PELLMARK_DIALOGS_H
#define PELLMARK_DIALOGS_H

#include <windows.h>

INT_PTR CALLBACK MainDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs the main dialog until it ends; always returns 0.
int appMain(HINSTANCE inst);

#endif
