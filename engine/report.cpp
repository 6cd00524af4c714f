#include <windows.h>

#include "report.h"

void showReport(void *owner, const char *text, const char *caption, int icon)
{
    UINT type = MB_OK;
    if (icon == IconError)
        type |= MB_ICONERROR;
    else if (icon == IconWarning)
        type |= MB_ICONWARNING;
    else
        type |= MB_ICONINFORMATION;
    MessageBoxA((HWND)owner, text, caption, type);
}
