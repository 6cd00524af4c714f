#include <windows.h>
#include <commdlg.h>
#include <stddef.h>

#include "access.h"
#include "convert.h"
#include "dialogs.h"
#include "format.h"
#include "report.h"
#include "resource.h"
#include "shortcut.h"
#include "syslibs.h"

// Paths are UTF-16 from the boxes and file dialogs to the engine: through the code page a
// name it cannot hold turns into a look-alike's name, or into one that opens nothing.
// Path buffers hold 260 characters with the terminator. The boxes take one character
// less, so that what the user typed is exactly what is read back and converted.
#define PATH_BUF 260
#define PATH_CHARS (PATH_BUF - 1)

// The structure without the later extension fields, which every Windows version accepts.
static_assert(sizeof(void *) != 4 || offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR) == 76,
              "76 bytes in the 32-bit build");

// Indexed by format - 1, in the order of the radio buttons.
static const char *const seps[3] = {SEP_WINDOWS, SEP_UNIX, SEP_MAC};

static void enableItem(HWND dlg, int id, BOOL on)
{
    HWND item = GetDlgItem(dlg, id);
    if (!IsWindowEnabled(item) != !on)
        EnableWindow(item, on);
}

static int isChecked(HWND dlg, int id)
{
    return SendDlgItemMessageW(dlg, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Tab enters a group of radio buttons only at one with WS_TABSTOP, which a button gains when
// checked and loses when unchecked: a group with none checked, or whose one stop is disabled,
// could not be reached by the keyboard at all. As in Windows' own dialogs, the checked button
// carries its group's stop, or with none checked the first enabled one.
static void keepTabStops(HWND dlg)
{
    static const int groups[2] = {IDC_IN_WINDOWS, IDC_OUT_WINDOWS};
    for (int first : groups) {
        HWND stop = NULL;
        for (int i = 0; i < 3 && stop == NULL; i++) {
            if (isChecked(dlg, first + i))
                stop = GetDlgItem(dlg, first + i);
        }
        for (int i = 0; i < 3 && stop == NULL; i++) {
            if (IsWindowEnabled(GetDlgItem(dlg, first + i)))
                stop = GetDlgItem(dlg, first + i);
        }
        // Each change of style is a message to the button; most commands change none.
        for (int i = 0; i < 3; i++) {
            HWND b = GetDlgItem(dlg, first + i);
            LONG style = GetWindowLongW(b, GWL_STYLE);
            LONG want = b == stop ? style | WS_TABSTOP : style & ~WS_TABSTOP;
            if (want != style)
                SetWindowLongW(b, GWL_STYLE, want);
        }
    }
}

// A format checked on one side is withdrawn from the other, and offered there again once
// it is not. Taken from the checks, not from which button notified: Windows' radio buttons
// click themselves when they get the focus unchecked, and some systems notify before the
// check, or without it.
static void syncFormats(HWND dlg)
{
    for (int i = 0; i < 3; i++) {
        enableItem(dlg, IDC_IN_WINDOWS + i, !isChecked(dlg, IDC_OUT_WINDOWS + i));
        enableItem(dlg, IDC_OUT_WINDOWS + i, !isChecked(dlg, IDC_IN_WINDOWS + i));
    }
    keepTabStops(dlg);
}

// That focus click would choose a format as the user merely tabs past it. From Vista on the
// buttons can be told not to; XP ignores the message, and its choice keeps the rules above.
static void noFocusClicks(HWND dlg)
{
    for (int i = 0; i < 3; i++) {
        SendDlgItemMessageW(dlg, IDC_IN_WINDOWS + i, BM_SETDONTCLICK, TRUE, 0);
        SendDlgItemMessageW(dlg, IDC_OUT_WINDOWS + i, BM_SETDONTCLICK, TRUE, 0);
    }
}

// Posted once Windows has laid the dialog out at another scale: wParam is the new DPI.
#define WM_FITSCALE (WM_APP + 1)
// Posted as the dialog is shown, so that any box it raises has a shown owner: lParam is the
// path on the command line, kept till then in the dialog's argProp.
#define WM_TAKEARG (WM_APP + 2)
// Posted when a format button notifies: its check may come after the notification.
#define WM_SYNCFORMATS (WM_APP + 3)
static const wchar_t argProp[] = L"PellmarkArg";

// The dialog's "MS Sans Serif" is a bitmap font without font linking: a name in another
// script would show as boxes. The shell's dialog font is a TrueType face that links to
// others. Held by the dialog, freed when it ends or is replaced.
static const wchar_t pathFontProp[] = L"PellmarkPathFont";

// Whether a line of font stands whole in box, top to bottom.
static int fitsIn(HWND box, HFONT font)
{
    RECT room;
    TEXTMETRICW tm;
    GetClientRect(box, &room);
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    return tm.tmHeight <= room.bottom;
}

// At the dialog font's size where the boxes have room for it. Wine draws "MS Sans Serif" no
// larger than at 144 DPI, which keeps the dialog and its boxes small at a larger scale: the
// font then takes the height the boxes have.
static void fitPathFont(HWND dlg)
{
    LOGFONTW lf;
    if (!GetObjectW((HFONT)SendMessageW(dlg, WM_GETFONT, 0, 0), sizeof(lf), &lf))
        return;
    lstrcpyW(lf.lfFaceName, L"MS Shell Dlg");
    lf.lfCharSet = DEFAULT_CHARSET;
    HWND box = GetDlgItem(dlg, IDC_INPUT_PATH);
    HFONT font;
    // A dialog font's height is its characters', negative.
    while ((font = CreateFontIndirectW(&lf)) != NULL && !fitsIn(box, font) && lf.lfHeight < -1) {
        DeleteObject(font);
        lf.lfHeight++;
    }
    if (font == NULL)
        return;
    SendDlgItemMessageW(dlg, IDC_INPUT_PATH, WM_SETFONT, (WPARAM)font, TRUE);
    SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, WM_SETFONT, (WPARAM)font, TRUE);
    HFONT old = (HFONT)GetPropW(dlg, pathFontProp);
    SetPropW(dlg, pathFontProp, font);
    if (old != NULL)
        DeleteObject(old);
}

// The window's icons at the sizes Windows asks for at dpi (0: at the system's), from the
// icon's images; each replaces and frees the one before.
static void setIcons(HWND dlg, UINT dpi)
{
    static const int which[2][3] = {{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}, {ICON_BIG, SM_CXICON, SM_CYICON}};
    for (const auto &w : which) {
        int cx = dpi != 0 ? getSystemMetricsForDpi(w[1], dpi) : GetSystemMetrics(w[1]);
        int cy = dpi != 0 ? getSystemMetricsForDpi(w[2], dpi) : GetSystemMetrics(w[2]);
        HANDLE icon = LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR);
        HICON old = (HICON)SendMessageA(dlg, WM_SETICON, w[0], (LPARAM)icon);
        if (old != NULL)
            DestroyIcon(old);
    }
}

// What the dialog draws itself, at the scale it is shown at.
static void fitScale(HWND dlg, UINT dpi)
{
    setIcons(dlg, getSystemMetricsForDpi != NULL ? dpi : 0);
    fitPathFont(dlg);
}

// Drops are taken while the dialog waits for the user, and not while one of its commands runs:
// a box or a dialog it opened is up, or a conversion still has its files open. Commands may
// run inside another's ownerless box, hence a depth.
static int busy;

static void setBusy(HWND dlg, int delta)
{
    busy += delta;
    if (dragAcceptFiles != NULL)
        dragAcceptFiles(dlg, busy == 0);
}

// COM, for the shell's shortcuts and the names, once for the dialog's thread while it lives.
static int comStarted;

static void onDestroy(HWND dlg)
{
    unnameControls(dlg);
    if (comStarted)
        coUninitialize();
    comStarted = 0;
    RemovePropW(dlg, argProp);
    HFONT font = (HFONT)RemovePropW(dlg, pathFontProp);
    if (font != NULL)
        DeleteObject(font);
    static const WPARAM icons[2] = {ICON_SMALL, ICON_BIG};
    for (WPARAM which : icons) {
        HICON icon = (HICON)SendMessageA(dlg, WM_SETICON, which, 0);
        if (icon != NULL)
            DestroyIcon(icon);
    }
}

// arg: the path the program was started with, or null.
static void onInit(HWND dlg, const wchar_t *arg)
{
    // Apartment-threaded, as the file dialogs want it.
    comStarted = coInitializeEx != NULL && SUCCEEDED(coInitializeEx(NULL, COINIT_APARTMENTTHREADED));
    nameControls(dlg);
    fitScale(dlg, getDpiForWindow != NULL ? getDpiForWindow(dlg) : 0);
    SendDlgItemMessageW(dlg, IDC_INPUT_PATH, EM_LIMITTEXT, PATH_CHARS, 0);
    SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, EM_LIMITTEXT, PATH_CHARS, 0);
    setBusy(dlg, 0);
    noFocusClicks(dlg);
    keepTabStops(dlg);
    if (arg != NULL)
        SetPropW(dlg, argProp, (HANDLE)arg);
}

static void reportTooLong(HWND dlg)
{
    showReport(dlg, "The chosen path is too long!", "Error", IconError);
}

// Shows the open or save dialog; path receives the choice. Returns 0 when cancelled, and
// also when the dialog failed, which it then tells the user: failing is not cancelling.
static BOOL askPath(HWND dlg, wchar_t *path, DWORD flags, BOOL save)
{
    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof(ofn));
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = dlg;
    ofn.lpstrFilter = L"Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = PATH_BUF;
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = flags;
    if (save ? getSaveFileName(&ofn) : getOpenFileName(&ofn))
        return TRUE;
    DWORD err = commDlgExtendedError();
    if (err == FNERR_BUFFERTOOSMALL)
        reportTooLong(dlg);
    else if (err != 0)
        showReport(dlg, "File dialog failed!", "Error", IconError);
    return FALSE;
}

// The input chosen, by browsing or dropping: in its box, and its format detected.
static void takeInput(HWND dlg, const wchar_t *path)
{
    SendDlgItemMessageW(dlg, IDC_INPUT_PATH, WM_SETTEXT, 0, (LPARAM)path);

    FileFormat fmt = detectFormat(path);
    if (fmt == FileFormat::Unknown) {
        showReport(dlg, "Couldn't automatically detect text format.\nPlease select one manually.",
                   "Alert", IconWarning);
        return;
    }
    int in = IDC_IN_WINDOWS + (int)fmt - 1;
    // An earlier output choice may have disabled it, and a disabled button ignores clicks.
    enableItem(dlg, in, TRUE);
    SendDlgItemMessageW(dlg, in + 4, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageW(dlg, in, BM_CLICK, 0, 0);
    // Windows may drop the click while the dialog is not the active window, as when the user
    // turned elsewhere during a long detection: the check is then set as the click would.
    if (!isChecked(dlg, in))
        CheckRadioButton(dlg, IDC_IN_WINDOWS, IDC_IN_MAC, in);
}

static void onBrowseInput(HWND dlg)
{
    wchar_t path[PATH_BUF] = L"";
    if (askPath(dlg, path, OFN_EXPLORER | OFN_HIDEREADONLY, FALSE))
        takeInput(dlg, path);
}

static void onBrowseOutput(HWND dlg)
{
    wchar_t path[PATH_BUF] = L"";
    if (!askPath(dlg, path, OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, TRUE))
        return;
    SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, WM_SETTEXT, 0, (LPARAM)path);
}

// The separator of the first checked of the three buttons from first on, or null.
static const char *checkedSep(HWND dlg, int first)
{
    for (int i = 0; i < 3; i++) {
        if (isChecked(dlg, first + i))
            return seps[i];
    }
    return NULL;
}

static void onConvert(HWND dlg)
{
    wchar_t inPath[PATH_BUF] = {0};
    wchar_t outPath[PATH_BUF] = {0};
    SendDlgItemMessageW(dlg, IDC_INPUT_PATH, WM_GETTEXT, PATH_BUF, (LPARAM)inPath);
    SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, WM_GETTEXT, PATH_BUF, (LPARAM)outPath);

    const char *inSep = checkedSep(dlg, IDC_IN_WINDOWS);
    if (inSep == NULL) {
        showReport(dlg, "No input format was specified!", "Error", IconError);
        return;
    }
    const char *outSep = checkedSep(dlg, IDC_OUT_WINDOWS);
    if (outSep == NULL) {
        showReport(dlg, "No output format was specified!", "Error", IconError);
        return;
    }
    convertFile(dlg, inPath, outPath, inSep, outSep);
}

static void onAbout(HWND dlg)
{
    if (DialogBoxParamW(GetModuleHandleA(NULL), MAKEINTRESOURCEW(IDD_ABOUT), dlg, AboutDlgProc, 0) == -1)
        showReport(dlg, "About dialog failed!", "Error", IconInfo);
}

// A path Explorer handed over, dropped or on the command line, as the output or as the input,
// as if browsed to. A shortcut is taken as the file it points to, as the file dialogs take it.
static void takeHanded(HWND dlg, const wchar_t *path, BOOL asOutput)
{
    // One character more than a box holds: a target cut there is too long either way.
    wchar_t target[PATH_BUF + 1];
    switch (shortcutTarget(path, target, PATH_BUF + 1)) {
    case LinkNoFile:
        // Taken as itself, it would be converted as text, or replaced by the result.
        showReport(dlg, "The shortcut does not lead to a file!", "Error", IconError);
        return;
    case LinkFile:
        if (lstrlenW(target) > PATH_CHARS) {
            reportTooLong(dlg);
            return;
        }
        path = target;
        break;
    }
    if (asOutput)
        SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, WM_SETTEXT, 0, (LPARAM)path);
    else
        takeInput(dlg, path);
}

// Files dropped from Explorer: the first is taken, onto the output box as the output and
// anywhere else in the dialog as the input.
static void onDrop(HWND dlg, HDROP drop)
{
    wchar_t path[PATH_BUF] = L"";
    if (dragQueryFile(drop, 0, NULL, 0) > PATH_CHARS) {
        reportTooLong(dlg);
        return;
    }
    if (dragQueryFile(drop, 0, path, PATH_BUF) == 0)
        return;
    POINT pt;
    RECT out;
    GetWindowRect(GetDlgItem(dlg, IDC_OUTPUT_PATH), &out);
    MapWindowPoints(NULL, dlg, (POINT *)&out, 2);
    takeHanded(dlg, path, dragQueryPoint(drop, &pt) && PtInRect(&out, pt));
}

// The path the program was started with, as a drop onto the input box; a relative one is
// taken from the current folder, and its length is known only then.
static void onArg(HWND dlg, const wchar_t *arg)
{
    wchar_t path[PATH_BUF];
    DWORD n = GetFullPathNameW(arg, PATH_BUF, path, NULL);
    if (n >= PATH_BUF)
        reportTooLong(dlg);
    else
        takeHanded(dlg, n != 0 ? path : arg, FALSE);
}

static void onCommand(HWND dlg, int id)
{
    switch (id) {
    case IDC_INPUT_BROWSE:
        onBrowseInput(dlg);
        break;
    case IDC_IN_WINDOWS:
    case IDC_IN_UNIX:
    case IDC_IN_MAC:
    case IDC_OUT_WINDOWS:
    case IDC_OUT_UNIX:
    case IDC_OUT_MAC:
        // Withdrawn from the other side after every command; and again once the check is made.
        PostMessageW(dlg, WM_SYNCFORMATS, 0, 0);
        break;
    case IDC_OUTPUT_BROWSE:
        onBrowseOutput(dlg);
        break;
    case IDC_CONVERT:
        onConvert(dlg);
        break;
    case IDC_ABOUT:
        onAbout(dlg);
        break;
    case IDC_EXIT:
        EndDialog(dlg, 0);
        break;
    }
}

INT_PTR CALLBACK MainDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        onInit(dlg, (const wchar_t *)lParam);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dlg, 0);
        return TRUE;
    case WM_DESTROY:
        onDestroy(dlg);
        return FALSE; // the dialog manager frees what it made, too
    case WM_DPICHANGED:
        // Moved to a monitor of another scale (per-monitor aware, Windows 10 1703 on): after
        // this the dialog manager lays the dialog out again and gives every control the new
        // dialog font, the boxes theirs included; they and the icons follow after it.
        PostMessageW(dlg, WM_FITSCALE, LOWORD(wParam), 0);
        return FALSE;
    case WM_FITSCALE:
        fitScale(dlg, (UINT)wParam);
        return TRUE;
    case WM_SHOWWINDOW:
        // A dialog box is shown only once its first messages are handled.
        if (wParam && GetPropW(dlg, argProp) != NULL)
            PostMessageW(dlg, WM_TAKEARG, 0, (LPARAM)RemovePropW(dlg, argProp));
        return FALSE;
    case WM_TAKEARG:
        setBusy(dlg, 1);
        onArg(dlg, (const wchar_t *)lParam);
        setBusy(dlg, -1);
        syncFormats(dlg);
        return TRUE;
    case WM_SYNCFORMATS:
        syncFormats(dlg);
        return TRUE;

    case WM_COMMAND:
        // Esc (IDCANCEL) and the path boxes' notifications fall outside the table.
        setBusy(dlg, 1);
        onCommand(dlg, LOWORD(wParam));
        setBusy(dlg, -1);
        syncFormats(dlg);
        return TRUE;
    case WM_DROPFILES:
        // Offered only where the shell has all it takes.
        if (dragAcceptFiles == NULL)
            return FALSE;
        if (busy == 0) {
            setBusy(dlg, 1);
            onDrop(dlg, (HDROP)wParam);
            setBusy(dlg, -1);
            syncFormats(dlg);
        }
        dragFinish((HDROP)wParam);
        return TRUE;
    }
    return FALSE;
}
