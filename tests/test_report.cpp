// The real box behind every report: every other test records reports instead of showing them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "report.h"
#include "winfiles.h"

namespace {

// What the box showed, read from inside its own modal loop.
struct Seen {
    HWND box = NULL;
    HWND owner = NULL;
    std::string caption, text;
    HICON icon = NULL;
    int buttons = 0;
    int buttonId = 0;
    std::string buttonText;
} seen;
HHOOK hook;

BOOL CALLBACK lookAtChild(HWND c, LPARAM)
{
    char cls[32] = "";
    GetClassNameA(c, cls, sizeof(cls));
    if (!IsWindowVisible(c))
        return TRUE;
    if (_stricmp(cls, "Button") == 0) {
        seen.buttons++;
        seen.buttonId = GetDlgCtrlID(c);
        seen.buttonText = windowText(c);
    } else if (_stricmp(cls, "Static") == 0) {
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seen.icon = (HICON)SendMessageA(c, STM_GETICON, 0, 0);
        else if (GetDlgCtrlID(c) == 0xFFFF)
            seen.text = windowText(c);
    }
    return TRUE;
}

void CALLBACK lookAndPressOk(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    seen.owner = GetWindow(seen.box, GW_OWNER);
    seen.caption = windowText(seen.box);
    EnumChildWindows(seen.box, lookAtChild, 0);
    PostMessageA(seen.box, WM_COMMAND, IDOK, 0);
}

LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && seen.box == NULL) {
        seen.box = (HWND)wParam;
        SetTimer(NULL, 0, 50, lookAndPressOk);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

TEST(ShowReport, OneOkButtonTheSystemIconAndTheOwnerGiven)
{
    HWND owner = CreateWindowExA(0, "Static", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 NULL, NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_NE((HWND)NULL, owner) << "needs an X display";
    struct {
        int icon;
        LPCSTR systemIcon;
        HWND owner;
    } cases[] = {{IconError, IDI_ERROR, owner}, {IconWarning, IDI_WARNING, owner}, {IconInfo, IDI_INFORMATION, NULL}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.icon);
        seen = Seen();
        hook = SetWindowsHookExA(WH_CBT, cbtProc, NULL, GetCurrentThreadId());
        showReport(c.owner, "first line\nsecond line", "Caption", c.icon);
        UnhookWindowsHookEx(hook);
        ASSERT_NE((HWND)NULL, seen.box) << "no box was shown";
        EXPECT_EQ(c.owner, seen.owner);
        EXPECT_EQ("Caption", seen.caption);
        EXPECT_EQ("first line\nsecond line", seen.text);
        EXPECT_EQ(LoadIconA(NULL, c.systemIcon), seen.icon);
        EXPECT_EQ(1, seen.buttons);
        EXPECT_EQ(IDOK, seen.buttonId);
        EXPECT_EQ("OK", seen.buttonText);
        EXPECT_FALSE(IsWindow(seen.box)) << "the box waits for OK and is gone after it";
    }
    DestroyWindow(owner);
}

} // namespace
