// Stands for a DLL that a web page put beside Pellmark.exe in Downloads: loaded, it leaves a
// mark beside itself and declines, so that Wine goes on with its own copy.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t mark[MAX_PATH + 8];
        DWORD n = GetModuleFileNameW(self, mark, MAX_PATH);
        lstrcpyW(mark + n, L".loaded");
        CloseHandle(CreateFileW(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    return FALSE;
}
