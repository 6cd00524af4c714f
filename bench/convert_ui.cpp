// Converts one file LF to CR LF through Pellmark's own dialog, as a user would, and prints
// the box that answers: for finding the largest file the program converts.
// usage: convert_ui PELLMARK.EXE IN OUT
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "resource.h"

static DWORD pid;
static HWND found;

static BOOL CALLBACK findBox(HWND h, LPARAM caption)
{
    DWORD p = 0;
    char text[64] = "";
    GetWindowThreadProcessId(h, &p);
    GetWindowTextA(h, text, sizeof(text));
    if (p == pid && IsWindowVisible(h) && (caption ? strcmp(text, (const char *)caption) == 0 : strcmp(text, "Pellmark") != 0)) {
        found = h;
        return FALSE;
    }
    return TRUE;
}

// The first visible top-level window of the program with this caption (or any but the
// dialog's own, for null), waiting up to secs seconds.
static HWND waitWindow(const char *caption, int secs)
{
    for (int i = 0; i < secs * 10; i++) {
        found = NULL;
        EnumWindows(findBox, (LPARAM)caption);
        if (found != NULL)
            return found;
        Sleep(100);
    }
    return NULL;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: convert_ui PELLMARK.EXE IN OUT\n");
        return 2;
    }
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(argv[1], NULL, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 1;
    pid = pi.dwProcessId;
    HWND dlg = waitWindow("Pellmark", 60);
    if (dlg == NULL)
        return 1;
    SetDlgItemTextA(dlg, IDC_INPUT_PATH, argv[2]);
    SetDlgItemTextA(dlg, IDC_OUTPUT_PATH, argv[3]);
    SendDlgItemMessageA(dlg, IDC_IN_UNIX, BM_CLICK, 0, 0);
    SendDlgItemMessageA(dlg, IDC_OUT_WINDOWS, BM_CLICK, 0, 0);
    DWORD t0 = GetTickCount();
    PostMessageA(dlg, WM_COMMAND, IDC_CONVERT, 0);
    HWND box = waitWindow(NULL, 1800);
    char caption[64] = "", text[256] = "";
    if (box != NULL) {
        GetWindowTextA(box, caption, sizeof(caption));
        GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    }
    for (char *c = text; *c; c++)
        if (*c == '\n')
            *c = ' ';
    printf("%s: %s (%.1f s)\n", box ? caption : "no box", text, (GetTickCount() - t0) / 1000.0);
    TerminateProcess(pi.hProcess, 0);
    return 0;
}
