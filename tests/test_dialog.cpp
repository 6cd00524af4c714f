#include <gtest/gtest.h>
#include <oleacc.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>

#include "cmdline.h"
#include "dialogs.h"
#include "record.h"
#include "report.h"
#include "resource.h"
#include "syslibs.h"
#include "winfiles.h"

namespace {

const int kInIds[3] = {IDC_IN_WINDOWS, IDC_IN_UNIX, IDC_IN_MAC};
const int kOutIds[3] = {IDC_OUT_WINDOWS, IDC_OUT_UNIX, IDC_OUT_MAC};
const int kFileNameCombo = 0x47C; // cmb13, where Wine's file dialogs take the typed name
const int kFileTypeCombo = 0x470; // cmb1, the list of file types
const int kReadOnlyBox = 0x410;   // chx1, "Open as read-only"

// Drives the modal windows that a command opens, from inside their own modal loop:
// a thread timer started when such a window is activated does the next step.
struct Driver {
    std::string typePath;    // for a file dialog: type this and press OK
    bool cancel = false;     // for a file dialog: press Cancel instead
    bool elsewhere = false;  // for a file dialog: first make another window active
    HWND other = NULL;       // that window
    int fileDialogs = 0;
    std::string fileDialog;  // what the last file dialog offered, as fileDialogSeen says it
    int aboutBoxes = 0;
    bool aboutSurvivedEsc = false;
    bool aboutByCloseBox = false; // close the About box with its close box instead
    bool aboutStuck = false;      // the close box left it open
    UINT_PTR stuckTimer = 0;
    HWND active = NULL;
    HHOOK hook = NULL;
} drv;

// What the next main dialog run modally is sent once it is up.
UINT closeMsg;
WPARAM closeWParam;

bool isDialog(HWND h)
{
    char cls[32] = "";
    GetClassNameA(h, cls, sizeof(cls));
    return strcmp(cls, "#32770") == 0;
}

void CALLBACK aboutStep2(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    drv.aboutSurvivedEsc = IsWindow(drv.active) && IsWindowVisible(drv.active);
    // Enter on the box: the default button's command.
    PostMessageA(drv.active, WM_COMMAND, IDOK, 0);
}

// Runs only if the box outlived the close box's message: the modal loop ends right after it.
void CALLBACK aboutStuckStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    drv.aboutStuck = true;
    PostMessageA(drv.active, WM_COMMAND, IDOK, 0);
}

// A file dialog as the user sees it: its owner, the file types offered (the one shown first
// marked *), and whether it offers to open read-only.
std::string fileDialogSeen(HWND h)
{
    char owner[32];
    snprintf(owner, sizeof(owner), "%p", (void *)GetWindow(h, GW_OWNER));
    std::string seen = std::string("owner ") + owner + "; types";
    HWND types = GetDlgItem(h, kFileTypeCombo);
    LRESULT shown = SendMessageA(types, CB_GETCURSEL, 0, 0);
    for (LRESULT i = 0, n = SendMessageA(types, CB_GETCOUNT, 0, 0); i < n; i++) {
        char item[256] = "";
        SendMessageA(types, CB_GETLBTEXT, i, (LPARAM)item);
        seen += std::string(i == shown ? " *" : " ") + item + ";";
    }
    return seen + (IsWindowVisible(GetDlgItem(h, kReadOnlyBox)) ? " read-only box" : "");
}

void CALLBACK driveStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    HWND h = drv.active;
    if (GetDlgItem(h, kFileNameCombo) != NULL) {
        drv.fileDialogs++;
        drv.fileDialog = fileDialogSeen(h);
        if (drv.elsewhere && drv.other == NULL) {
            // The user turns to another window while the dialog works on the choice.
            drv.other = CreateWindowExW(0, L"Static", L"elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 60, 20,
                                        NULL, NULL, NULL, NULL);
            SetActiveWindow(drv.other);
        }
        if (drv.cancel) {
            PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
        } else {
            SetDlgItemTextW(h, kFileNameCombo, wide(drv.typePath).c_str());
            PostMessageA(h, WM_COMMAND, IDOK, 0);
        }
    } else if (windowText(h) == "About This Program") {
        drv.aboutBoxes++;
        if (drv.aboutByCloseBox) {
            PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            drv.stuckTimer = SetTimer(NULL, 0, 150, aboutStuckStep);
            return;
        }
        PostMessageA(h, WM_COMMAND, IDCANCEL, 0); // Esc
        SetTimer(NULL, 0, 150, aboutStep2);
    } else {
        // Fail now, not when the test's time is up: say what appeared, close it, and cancel
        // the file dialog that may have opened it, so that the command ends.
        ADD_FAILURE() << "unexpected window \"" << windowText(h) << "\": " << windowText(GetDlgItem(h, 0xFFFF));
        drv.cancel = true;
        for (WPARAM id : {IDCANCEL, IDNO, IDOK})
            PostMessageA(h, WM_COMMAND, id, 0);
    }
}

LRESULT CALLBACK asOnWindows(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    // Every radio button, from its birth: held to Windows' ways.
    HWND h = (HWND)wParam;
    char cls[16] = "";
    if (code == HCBT_CREATEWND && GetClassNameA(h, cls, sizeof(cls)) && _stricmp(cls, "Button") == 0 &&
        (((CBT_CREATEWNDA *)lParam)->lpcs->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
        SetPropA(h, "wineProc", (HANDLE)SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)asOnWindows));
    // Every dialog but a main one, owned or not. A window may be activated again when
    // another program takes the focus: act once.
    if (code == HCBT_ACTIVATE && isDialog(h) && GetDlgItem(h, IDC_CONVERT) == NULL && h != drv.active) {
        drv.active = (HWND)wParam;
        SetTimer(NULL, 0, 50, driveStep);
    }
    return CallNextHookEx(drv.hook, code, wParam, lParam);
}

// How a radio button answers the focus while unchecked. Windows' check themselves and notify
// their dialog, from Vista on unless told BM_SETDONTCLICK; XP's know no such message, and may
// notify first; later Wine's notify alone; Wine 8's do nothing, so the tests play the others.
enum FocusClick { VistaClick, XpClick, XpNotifyFirst, NotifyOnly };
FocusClick focusClick;

void playFocusClick(HWND h)
{
    const WPARAM note = MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED);
    if (focusClick == XpNotifyFirst || focusClick == NotifyOnly)
        SendMessageW(GetParent(h), WM_COMMAND, note, (LPARAM)h);
    if (focusClick != NotifyOnly)
        SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
    if (focusClick == VistaClick || focusClick == XpClick)
        SendMessageW(GetParent(h), WM_COMMAND, note, (LPARAM)h);
}

// Windows drops BM_CLICK on a disabled button, and may drop it while the dialog is not the
// active window; Wine acts on it. The radio buttons are held to Windows' way, so that a
// click the dialog relies on is lost here too; and they click on focus as Windows' do.
int droppedClicks, styleChanges;
LRESULT CALLBACK asOnWindows(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == BM_CLICK && (!IsWindowEnabled(h) || GetActiveWindow() != GetParent(h))) {
        droppedClicks++;
        return 0;
    }
    if (msg == BM_SETDONTCLICK)
        SetPropA(h, "dontClick", (HANDLE)wParam);
    styleChanges += msg == WM_STYLECHANGED;
    const bool unchecked = SendMessageW(h, BM_GETCHECK, 0, 0) == BST_UNCHECKED;
    LRESULT r = CallWindowProcW((WNDPROC)GetPropA(h, "wineProc"), h, msg, wParam, lParam);
    // Windows' own buttons click as Vista's do; the other ways are played everywhere.
    if (msg == WM_SETFOCUS && unchecked && !(focusClick == VistaClick && (GetPropA(h, "dontClick") || !onWine())))
        playFocusClick(h);
    return r;
}

// Drops handed to the dialog, and drops it handed back to the shell, which frees them.
int dropsMade, dropsFinished;
void(WINAPI *realDragFinish)(HDROP);
void WINAPI countDragFinish(HDROP drop)
{
    dropsFinished++;
    realDragFinish(drop);
}

// Files let go at pt of dlg's client area, as the shell hands them over: a DROPFILES header,
// then the full paths, wide, each ended, and an empty one.
void dropAt(HWND dlg, POINT pt, const std::vector<std::string> &paths)
{
    dropsMade++;
    const DROPFILES head = {sizeof(DROPFILES), pt, FALSE, TRUE};
    std::wstring all;
    for (const std::string &p : paths)
        all += wide(p) + L'\0';
    std::string block = std::string((const char *)&head, sizeof(head)) + std::string((const char *)all.c_str(), 2 * all.size() + 2);
    SendMessageW(dlg, WM_DROPFILES, (WPARAM)memcpy(GlobalAlloc(GMEM_FIXED, block.size()), block.data(), block.size()), 0);
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearReports();
        drv = Driver();
        drv.hook = SetWindowsHookExA(WH_CBT, cbtProc, NULL, GetCurrentThreadId());
        dir = makeTempDir();
        ASSERT_TRUE(loadSysLibs());
        focusClick = VistaClick;
        open();
        ASSERT_NE((HWND)NULL, dlg) << "needs an X display";
    }
    // A new dialog.
    void open()
    {
        if (dlg)
            DestroyWindow(dlg);
        dlg = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, 0);
        ShowWindow(dlg, SW_SHOW);
        styleChanges = 0;
    }
    void TearDown() override
    {
        if (dlg)
            DestroyWindow(dlg);
        if (drv.other)
            DestroyWindow(drv.other);
        UnhookWindowsHookEx(drv.hook);
        removeTree(dir);
        clearReports();
    }

    bool checked(int id) { return SendDlgItemMessageA(dlg, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool enabled(int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
    // As the user clicks, which also makes the dialog the active window.
    void click(int id)
    {
        SetActiveWindow(dlg);
        SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0);
    }
    void command(int id) { SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // Lets the dialog take what it posted itself; not an earlier test's timers, when all run
    // in one process.
    void settle()
    {
        MSG msg;
        while (PeekMessageW(&msg, dlg, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    std::string text(int id) { return windowText(GetDlgItem(dlg, id)); }
    // As a paste does.
    void setText(int id, const std::string &s) { SetDlgItemTextW(dlg, id, wide(s).c_str()); }
    // As the user types: one WM_CHAR a UTF-16 unit, so the box's limit applies.
    void type(int id, const std::string &s)
    {
        for (wchar_t c : wide(s))
            SendDlgItemMessageW(dlg, id, WM_CHAR, c, 0);
    }
    // Drops files onto the middle of a control, or with none onto the dialog's corner.
    void drop(HWND onto, const std::vector<std::string> &paths)
    {
        RECT r = {0, 0, 2, 2};
        if (onto != NULL) {
            GetWindowRect(onto, &r);
            MapWindowPoints(NULL, dlg, (POINT *)&r, 2);
        }
        dropAt(dlg, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}, paths);
    }
    void browseInput(const std::string &path)
    {
        drv.typePath = path;
        command(IDC_INPUT_BROWSE);
    }
    // Checked states of the six format buttons, in and out, as "in|out" with one char each:
    // C checked, - unchecked enabled, x unchecked disabled (X checked disabled); then, should
    // Tab and the arrow keys not reach an enabled control by the dialog manager's own rules,
    // which ones.
    std::string formats()
    {
        std::string s;
        for (int i = 0; i < 6; i++) {
            int id = i < 3 ? kInIds[i] : kOutIds[i - 3];
            if (i == 3)
                s += '|';
            s += checked(id) ? (enabled(id) ? 'C' : 'X') : (enabled(id) ? '-' : 'x');
        }
        std::set<HWND> seen, tabbed;
        for (HWND h = GetNextDlgTabItem(dlg, NULL, FALSE); h != NULL && tabbed.insert(h).second;
             h = GetNextDlgTabItem(dlg, h, FALSE)) {
            for (HWND g = h; g != NULL && seen.insert(g).second;)
                g = GetNextDlgGroupItem(dlg, g, FALSE);
        }
        for (int id = IDC_INPUT_PATH; id <= IDC_EXIT; id++) {
            HWND c = GetDlgItem(dlg, id);
            if (c != NULL && IsWindowEnabled(c) && !seen.count(c))
                s += " unreached " + std::to_string(id);
        }
        return s;
    }

    // The dialog's rule: each format button is disabled exactly when the same format is checked
    // on the other side.
    bool rulesHeld()
    {
        for (int i = 0; i < 6; i++) {
            if (enabled(i < 3 ? kInIds[i] : kOutIds[i - 3]) == checked(i < 3 ? kOutIds[i] : kInIds[i - 3]))
                return false;
        }
        return true;
    }

    // What both file dialogs must offer: owned by the dialog, the two types with text files
    // shown first, no read-only choice.
    std::string fileDialogWanted()
    {
        char owner[32];
        snprintf(owner, sizeof(owner), "%p", (void *)dlg);
        return std::string("owner ") + owner + "; types *Text Files (*.txt); All Files (*.*);";
    }

    HWND dlg = NULL;
    std::string dir;
};

TEST_F(MainDialog, StartsEmptyWithEveryFormatOffered)
{
    EXPECT_EQ("", text(IDC_INPUT_PATH));
    EXPECT_EQ("", text(IDC_OUTPUT_PATH));
    EXPECT_EQ("---|---", formats());
    EXPECT_EQ("Pellmark", windowText(dlg));
    EXPECT_NE((LRESULT)0, SendMessageA(dlg, WM_GETICON, ICON_SMALL, 0));
    EXPECT_NE((LRESULT)0, SendMessageA(dlg, WM_GETICON, ICON_BIG, 0));

    // The manifest still brings version 6 of the common controls, from the side-by-side store
    // (Wine's copy there answers DllGetVersion with 5).
    wchar_t controls[MAX_PATH] = L"";
    GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), controls, MAX_PATH);
    std::string where = utf8(CharLowerW(controls));
    EXPECT_TRUE(where.find("\\winsxs\\") != std::string::npos && where.find("_6.0.") != std::string::npos) << where;

    // The path boxes, and they only, draw in the shell's dialog font, at the dialog font's
    // size, which lives as long as the dialog.
    LOGFONTW dlgFont, boxFont;
    ASSERT_TRUE(GetObjectW((HFONT)SendMessageW(dlg, WM_GETFONT, 0, 0), sizeof(dlgFont), &dlgFont));
    HFONT font = (HFONT)SendDlgItemMessageW(dlg, IDC_INPUT_PATH, WM_GETFONT, 0, 0);
    EXPECT_EQ(font, (HFONT)SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, WM_GETFONT, 0, 0));
    ASSERT_TRUE(GetObjectW(font, sizeof(boxFont), &boxFont));
    EXPECT_EQ("MS Shell Dlg / MS Sans Serif", utf8(boxFont.lfFaceName) + " / " + utf8(dlgFont.lfFaceName));
    EXPECT_EQ(dlgFont.lfHeight, boxFont.lfHeight);
    DestroyWindow(dlg);
    dlg = NULL;
    EXPECT_EQ(0u, GetObjectType(font)) << "the font outlives the dialog";
}

// As each system answers the focus: clicks keep the rules, and Tab alone chooses nothing
// where the system can be told so. A format button is disabled exactly when the same format
// is checked on the other side, whatever notification arrived, and in whatever order.
TEST_F(MainDialog, ChoosingAFormatWithdrawsItFromTheOtherSide)
{
    const struct {
        FocusClick how;
        const char *tabbed;  // what tabbing through the dialog twice leaves
    } ways[] = {{VistaClick, "---|---"}, {NotifyOnly, "---|---"}, {XpClick, "Cx-|xC-"}, {XpNotifyFirst, "Cx-|xC-"}};
    for (const auto &w : ways) {
        SCOPED_TRACE("focus click " + std::to_string(w.how));
        focusClick = w.how;
        open();
        SetFocus(GetDlgItem(dlg, IDC_INPUT_PATH));
        for (int tab = 0; tab < 26; tab++) {
            SendMessageW(dlg, WM_NEXTDLGCTL, 0, FALSE);
            settle();
            ASSERT_TRUE(rulesHeld()) << formats() << " after Tab " << tab;
        }
        EXPECT_EQ(w.tabbed, formats());

        open();
        const struct {
            int id;
            const char *after;
        } clicks[] = {{IDC_IN_WINDOWS, "C--|x--"}, {IDC_IN_UNIX, "-C-|-x-"}, {IDC_IN_MAC, "--C|--x"},
                      {IDC_OUT_WINDOWS, "x-C|C-x"}, {IDC_OUT_UNIX, "-xC|-Cx"},
                      // Mac is withdrawn from the input, but the input's check stays where it was.
                      {IDC_IN_WINDOWS, "Cx-|xC-"}, {IDC_OUT_MAC, "C-x|x-C"}};
        for (const auto &c : clicks) {
            click(c.id);
            settle();
            EXPECT_EQ(c.after, formats()) << c.id;
        }
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(MainDialog, ConvertNamesTheMissingFormat)
{
    const MessageReport noIn = {dlg, "No input format was specified!", "Error", IconError};
    command(IDC_CONVERT);
    click(IDC_OUT_UNIX);
    command(IDC_CONVERT);
    std::vector<MessageReport> expected = {noIn, noIn};
    EXPECT_EQ(expected, reports);

    clearReports();
    DestroyWindow(dlg);
    dlg = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, 0);
    click(IDC_IN_MAC);
    command(IDC_CONVERT);
    const MessageReport noOut = {dlg, "No output format was specified!", "Error", IconError};
    EXPECT_EQ(std::vector<MessageReport>{noOut}, reports);
}

TEST_F(MainDialog, ConvertUsesTheTypedPathsAndCheckedFormats)
{
    writeBytes(dir + "in.txt", "a\rb\r");
    setText(IDC_INPUT_PATH, dir + "in.txt");
    setText(IDC_OUTPUT_PATH, dir + "out.txt");
    click(IDC_IN_MAC);
    click(IDC_OUT_WINDOWS);
    command(IDC_CONVERT);
    EXPECT_EQ("a\r\nb\r\n", readBytes(dir + "out.txt"));
    const MessageReport ok = {nullptr, "File converted successfully!", "Success", IconInfo};
    EXPECT_EQ(std::vector<MessageReport>{ok}, reports);
    // The conversion's own boxes that belong to the dialog are owned by it; the others have no owner.
    clearReports();
    setText(IDC_INPUT_PATH, dir + "absent.txt");
    command(IDC_CONVERT);
    writeBytes(dir + "with a NUL.txt", std::string("a\r\0b\r", 5));
    setText(IDC_INPUT_PATH, dir + "with a NUL.txt");
    command(IDC_CONVERT);
    const MessageReport noOpen = {dlg, "Could not open the input file!", "Error", IconError};
    const MessageReport hasNul = {nullptr, "File Conversion Error:\nInput file holds a NUL character!", "Error", IconError};
    EXPECT_EQ(std::vector<MessageReport>({noOpen, hasNul}), reports);
    EXPECT_EQ("a\r\nb\r\n", readBytes(dir + "out.txt"));
}

TEST_F(MainDialog, ATypedPathOfTheLongestLengthIsConvertedExactly)
{
    // 259 characters is the longest path a box takes; a 260th typed character is refused,
    // so no other file than the one typed can be read.
    size_t dirChars = wide(dir).size();
    std::string in = dir + "in" + std::string(259 - dirChars - 6, 'p') + ".txt";
    ASSERT_EQ(259u, wide(in).size());
    writeBytes(in, "x\ny\n");
    ASSERT_EQ("x\ny\n", readBytes(in)) << "the file system refuses such a long name";
    type(IDC_INPUT_PATH, in + "q");
    EXPECT_EQ(in, text(IDC_INPUT_PATH));
    std::string out = dir + "out" + std::string(259 - dirChars - 7, 'p') + ".txt";
    type(IDC_OUTPUT_PATH, out + "q");
    EXPECT_EQ(out, text(IDC_OUTPUT_PATH));
    click(IDC_IN_UNIX);
    click(IDC_OUT_WINDOWS);
    command(IDC_CONVERT);
    EXPECT_EQ("x\r\ny\r\n", readBytes(out));
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ("File converted successfully!", reports[0].text);
}

TEST_F(MainDialog, BrowsingDetectsAndChecksTheInputFormat)
{
    writeBytes(dir + "unix.txt", "1\n2\n3\n");
    writeBytes(dir + "win.txt", "1\r\n2\r\n");
    writeBytes(dir + "mac.txt", "1\r2\r");

    browseInput(dir + "unix.txt");
    EXPECT_EQ(1, drv.fileDialogs);
    EXPECT_EQ(fileDialogWanted(), drv.fileDialog);
    EXPECT_EQ(dir + "unix.txt", text(IDC_INPUT_PATH));
    EXPECT_EQ("-C-|-x-", formats());

    browseInput(dir + "mac.txt");
    EXPECT_EQ("--C|--x", formats());

    // Output Windows withdrew input Windows; detection must bring it back and check it.
    click(IDC_OUT_WINDOWS);
    EXPECT_EQ("x-C|C-x", formats());
    browseInput(dir + "win.txt");
    EXPECT_EQ("C--|x--", formats());

    // With the user in another window, the detected button's click may be dropped.
    droppedClicks = 0;
    drv.elsewhere = true;
    browseInput(dir + "unix.txt");
    EXPECT_EQ(1, droppedClicks) << "the click was not dropped: this step shows nothing";
    EXPECT_EQ("-C-|-x-", formats());
    EXPECT_TRUE(reports.empty());

    // UTF-16 LE, as Notepad saves it ("1", CR LF, U+010A, CR LF): found to be Windows, and
    // converted in its own characters.
    drv.elsewhere = false;
    writeBytes(dir + "wide.txt", std::string("\xFF\xFE" "1\0\r\0\n\0" "\x0A\x01\r\0\n\0", 14));
    browseInput(dir + "wide.txt");
    EXPECT_EQ("C--|x--", formats());
    setText(IDC_OUTPUT_PATH, dir + "out.txt");
    click(IDC_OUT_UNIX);
    command(IDC_CONVERT);
    EXPECT_EQ(std::string("\xFF\xFE" "1\0\n\0" "\x0A\x01\n\0", 10), readBytes(dir + "out.txt"));
}

// What a name turns into through the ANSI code page, as the A functions would pass it: a
// look-alike's name, or "" where the code page holds it or makes it one that opens nothing.
std::string lookAlike(const std::string &name)
{
    std::wstring w = wide(name);
    char ansi[MAX_PATH] = "";
    wchar_t back[MAX_PATH] = L"";
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, ansi, MAX_PATH, NULL, NULL);
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH);
    return back == w || wcschr(back, L'?') ? "" : utf8(back);
}

TEST_F(MainDialog, AnyNameReachesItsOwnFileAndNoOther)
{
    ASSERT_TRUE(CreateDirectoryW(wide(dir + "Łukasz 😀").c_str(), NULL));
    const struct {
        std::string folder, name;
    } cases[] = {{"", "Łódź.txt"}, {"", "Привет.txt"}, {"", "Καλημέρα.txt"}, {"", "日本.txt"},
                 {"", "😀 emoji.txt"}, {"Łukasz 😀\\", "Привет.txt"}};
    // Each look-alike is there to be taken by mistake: under 1252, Łódź's is Lódz; the other
    // names have none, they would open nothing.
    std::vector<std::string> lookAlikes;
    for (const auto &c : cases) {
        for (const std::string &name : {c.name, "out " + c.name, "back " + c.name}) {
            std::string l = c.folder.empty() ? lookAlike(name) : "";
            if (!l.empty())
                lookAlikes.push_back(dir + l);
        }
    }
    for (const std::string &l : lookAlikes)
        writeBytes(l, "a different file\n");
    const MessageReport ok = {nullptr, "File converted successfully!", "Success", IconInfo};

    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder + c.name);
        clearReports();
        std::string at = dir + c.folder;
        std::string in = at + c.name, out = at + "out " + c.name, back = at + "back " + c.name;
        writeBytes(in, "the real file\r");
        // Picked in the open dialog and detected from the named file: Mac, not the look-alike's Unix.
        browseInput(in);
        EXPECT_EQ(in, text(IDC_INPUT_PATH));
        EXPECT_EQ('C', formats()[2]);
        // Picked in the save dialog.
        drv.typePath = out;
        command(IDC_OUTPUT_BROWSE);
        EXPECT_EQ(out, text(IDC_OUTPUT_PATH));
        click(IDC_OUT_WINDOWS);
        command(IDC_CONVERT);
        EXPECT_EQ("the real file\r\n", readBytes(out));
        // Typed, and back again.
        setText(IDC_INPUT_PATH, out);
        setText(IDC_OUTPUT_PATH, back);
        click(IDC_OUT_UNIX);
        click(IDC_IN_WINDOWS);
        command(IDC_CONVERT);
        EXPECT_EQ("the real file\n", readBytes(back));
        EXPECT_EQ(std::vector<MessageReport>({ok, ok}), reports);
    }
    for (const std::string &l : lookAlikes)
        EXPECT_EQ("a different file\n", readBytes(l)) << l;
}

TEST_F(MainDialog, DroppedFilesAreTakenAsIfBrowsedTo)
{
    // Where there is no network share, a local folder stands in, and the test says so.
    const std::string share = makeShareDir(), remote = share.empty() ? dir : share;
    const std::string unix = dir + "unix.txt", mac = dir + "mac.txt", privet = dir + "Привет.txt",
                      folder = dir + "a folder", shared = remote + "on a share.txt",
                      longest = dir + std::string(259 - dir.size() - 4, 'p') + ".txt";
    for (const auto &file : {std::make_pair(unix, "1\n2\n"), {mac, "1\r2\r"}, {privet, "1\r\n2\r\n"}, {shared, "1\n2\n"},
                             {longest, "1\r2\r"}})
        writeBytes(file.first, file.second);
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), NULL));
    writeBytes(dir + "broken.lnk", "L\0\0\0 not a shortcut");
    for (const auto &link : {std::make_pair("notes.lnk", privet), {"computer.lnk", ""}, {"folder.lnk", folder}})
        ASSERT_TRUE(makeShortcut(dir + link.first, link.second)) << link.first;
    realDragFinish = dragFinish;
    dragFinish = countDragFinish;
    dropsMade = dropsFinished = 0;
    EXPECT_TRUE(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "the shell is not told the dialog takes drops";

    // Inside every box of the dialog, another file is dropped: it must be refused, and the
    // shell told that none is taken.
    static HWND busyDlg;
    static bool tookDrops;
    busyDlg = dlg;
    tookDrops = false;
    auto dropInBox = [](const MessageReport &) {
        tookDrops |= (GetWindowLongW(busyDlg, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
        dropAt(busyDlg, {1, 1}, {windowText(GetDlgItem(busyDlg, IDC_OUTPUT_PATH))});
    };
    const MessageReport alert = {dlg, "Couldn't automatically detect text format.\nPlease select one manually.",
                                 "Alert", IconWarning};
    const MessageReport tooLong = {dlg, "The chosen path is too long!", "Error", IconError};
    const MessageReport noFile = {dlg, "The shortcut does not lead to a file!", "Error", IconError};
    const struct {
        const char *what;
        std::vector<std::string> files;
        HWND onto;
        std::string in, out, formats;
        std::vector<MessageReport> shown;
    } cases[] = {
        {"onto the input box", {unix}, GetDlgItem(dlg, IDC_INPUT_PATH), unix, "", "-C-|-x-", {}},
        {"onto the output box", {mac}, GetDlgItem(dlg, IDC_OUTPUT_PATH), unix, mac, "-C-|-x-", {}},
        {"onto a label", {mac}, FindWindowExW(dlg, NULL, L"Static", L"File Format:"), mac, mac, "--C|--x", {}},
        {"two files, the first named in Cyrillic", {privet, unix}, GetDlgItem(dlg, IDC_INPUT_PATH), privet, mac,
         "C--|x--", {}},
        {"a folder onto a button", {folder}, GetDlgItem(dlg, IDC_CONVERT), folder, mac, "C--|x--", {alert}},
        {"a shortcut onto the output box", {dir + "notes.lnk"}, GetDlgItem(dlg, IDC_OUTPUT_PATH), folder, privet,
         "C--|x--", {}},
        {"259 characters", {longest}, GetDlgItem(dlg, IDC_INPUT_PATH), longest, privet, "--C|--x", {}},
        {"260 characters", {longest.substr(0, longest.size() - 4) + "q.txt"}, GetDlgItem(dlg, IDC_OUTPUT_PATH), longest,
         privet, "--C|--x", {tooLong}},
        {"a shortcut to This PC", {dir + "computer.lnk"}, GetDlgItem(dlg, IDC_INPUT_PATH), longest, privet, "--C|--x", {noFile}},
        {"a damaged shortcut", {dir + "broken.lnk"}, GetDlgItem(dlg, IDC_OUTPUT_PATH), longest, privet, "--C|--x", {noFile}},
        {"a shortcut to a folder", {dir + "folder.lnk"}, GetDlgItem(dlg, IDC_OUTPUT_PATH), longest, folder, "--C|--x", {}},
        {"the same onto the input", {dir + "folder.lnk"}, NULL, folder, folder, "--C|--x", {alert}},
        {"from a network share", {shared}, NULL, shared, folder, "-C-|-x-", {}},
    };
    for (const auto &c : cases) {
        clearReports();
        reportHook = dropInBox;
        drop(c.onto, c.files);
        EXPECT_EQ(c.in + " | " + c.out + " | " + c.formats,
                  text(IDC_INPUT_PATH) + " | " + text(IDC_OUTPUT_PATH) + " | " + formats()) << c.what;
        EXPECT_EQ(c.shown, reports) << c.what;
    }
    EXPECT_FALSE(tookDrops) << "drops were offered while a box was up";

    // The file from the share converts; no drop is taken while the success box, which leaves
    // the dialog enabled, is up.
    reportHook = dropInBox;
    setText(IDC_OUTPUT_PATH, remote + "out.txt");
    click(IDC_OUT_WINDOWS);
    command(IDC_CONVERT);
    EXPECT_EQ(shared, text(IDC_INPUT_PATH));
    EXPECT_EQ("1\r\n2\r\n", readBytes(remote + "out.txt"));
    EXPECT_EQ(dropsMade, dropsFinished) << "drops never handed back to the shell";
    dragFinish = realDragFinish;
    if (share.empty())
        GTEST_SKIP() << "no network share (PELLMARK_SHARE, or an administrator's \\\\localhost\\C$): only the files "
                        "on it went untested";
    removeTree(share);
}

TEST_F(MainDialog, DetectionOverridesTheSameFormatOnTheOutput)
{
    writeBytes(dir + "unix.txt", "1\n2\n");
    click(IDC_OUT_UNIX);
    EXPECT_EQ("-x-|-C-", formats());
    browseInput(dir + "unix.txt");
    EXPECT_EQ("-C-|-x-", formats()) << "output Unix unchecked and withdrawn, no output format left";

    setText(IDC_OUTPUT_PATH, dir + "out.txt");
    command(IDC_CONVERT);
    const MessageReport noOut = {dlg, "No output format was specified!", "Error", IconError};
    EXPECT_EQ(std::vector<MessageReport>{noOut}, reports);
    EXPECT_FALSE(fileExists(dir + "out.txt"));
}

TEST_F(MainDialog, UndetectableOrMissingFileAsksForAManualChoice)
{
    const MessageReport alert = {dlg, "Couldn't automatically detect text format.\nPlease select one manually.",
                                 "Alert", IconWarning};
    writeBytes(dir + "mixed.txt", "1\r\n2\n");
    click(IDC_IN_MAC);
    browseInput(dir + "mixed.txt");
    EXPECT_EQ(dir + "mixed.txt", text(IDC_INPUT_PATH));
    EXPECT_EQ("--C|--x", formats()) << "the radio buttons stay as they were";

    browseInput(dir + "absent.txt");
    EXPECT_EQ(dir + "absent.txt", text(IDC_INPUT_PATH)) << "the open dialog accepts a new name";
    std::vector<MessageReport> expected = {alert, alert};
    EXPECT_EQ(expected, reports);
}

TEST_F(MainDialog, CancelledOrFailedBrowsingChangesNothing)
{
    setText(IDC_INPUT_PATH, "typed in");
    setText(IDC_OUTPUT_PATH, "typed out");
    click(IDC_IN_UNIX);
    drv.cancel = true;
    command(IDC_INPUT_BROWSE);
    command(IDC_OUTPUT_BROWSE);
    EXPECT_EQ(2, drv.fileDialogs);
    EXPECT_EQ("typed in", text(IDC_INPUT_PATH));
    EXPECT_EQ("typed out", text(IDC_OUTPUT_PATH));
    EXPECT_EQ("-C-|-x-", formats());
    EXPECT_TRUE(reports.empty());

    // A real file whose path is longer than the dialogs' buffer: the dialog fails, which is
    // not a cancel, and the user is told. One character too long: Wine's dialog builds the
    // path in a buffer of MAX_PATH itself, and crashes on a path much longer.
    std::string longDir = dir + std::string(150, 'd') + "\\";
    ASSERT_TRUE(CreateDirectoryW(wide(longDir).c_str(), NULL));
    std::string longPath = longDir + std::string(260 - wide(longDir).size() - 4, 'f') + ".txt";
    ASSERT_EQ(260u, wide(longPath).size());
    writeBytes(longPath, "1\r\n2\r\n");
    ASSERT_EQ("1\r\n2\r\n", readBytes(longPath));
    drv.cancel = false;
    browseInput(longPath);
    EXPECT_EQ(3, drv.fileDialogs);
    EXPECT_EQ("typed in", text(IDC_INPUT_PATH));
    EXPECT_EQ("typed out", text(IDC_OUTPUT_PATH));
    EXPECT_EQ("-C-|-x-", formats());
    const MessageReport tooLong = {dlg, "The chosen path is too long!", "Error", IconError};
    EXPECT_EQ(std::vector<MessageReport>({tooLong}), reports);
}

TEST_F(MainDialog, OutputBrowsingFillsThePathAndDetectsNothing)
{
    writeBytes(dir + "target.txt", "1\r2\r");
    // A name typed without an extension gets the text files' one.
    drv.typePath = dir + "new";
    command(IDC_OUTPUT_BROWSE);
    EXPECT_EQ(fileDialogWanted(), drv.fileDialog);
    EXPECT_EQ(dir + "new.txt", text(IDC_OUTPUT_PATH));
    EXPECT_EQ("---|---", formats());
    EXPECT_TRUE(reports.empty());
}

// Presses keys as the user does, through the system's input, each down and up, then text a
// UTF-16 unit a key; and lets the dialog manager take them as a modal dialog's loop would,
// until the last is let go.
void pressKeys(HWND dlg, const std::vector<WORD> &vks, const std::wstring &text = L"")
{
    std::vector<INPUT> in;
    for (size_t k = 0; k < 2 * (vks.size() + text.size()); k++) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        if (k / 2 < vks.size())
            i.ki.wVk = vks[k / 2];
        else
            i.ki.wScan = text[k / 2 - vks.size()], i.ki.dwFlags = KEYEVENTF_UNICODE;
        i.ki.dwFlags |= k % 2 ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    }
    ASSERT_EQ(in.size(), SendInput((UINT)in.size(), in.data(), sizeof(INPUT)));
    const WPARAM last = text.empty() ? vks.back() : VK_PACKET;
    size_t ups = text.empty() ? std::count(vks.begin(), vks.end(), vks.back()) : text.size();
    MSG msg = {};
    for (DWORD start = GetTickCount(); ups > 0;) {
        if (!PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            ASSERT_LT(GetTickCount() - start, 60000u) << "the keys never arrived";
            MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
            continue;
        }
        ups -= msg.message == WM_KEYUP && msg.wParam == last;
        if (!IsDialogMessageW(dlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

TEST_F(MainDialog, EveryStepOfAConversionIsDoneByKeyboardAlone)
{
    const MessageReport ok = {nullptr, "File converted successfully!", "Success", IconInfo};
    const std::string unix = dir + "unix.txt", win = dir + "win.txt", out = dir + "Привет.txt";
    writeBytes(unix, "1\n2\n");
    writeBytes(win, "1\r\n2\r\n");
    SetForegroundWindow(dlg);
    // After the Alert, with no format chosen: from Exit, Tab to the input path, typed over
    // what browsing left, Tab to the input formats, Down to Unix, Tab to the output path,
    // typed, Tab to the output formats, Space on Windows, Enter.
    browseInput(dir + "absent.txt");
    SetFocus(GetDlgItem(dlg, IDC_EXIT));
    pressKeys(dlg, {VK_TAB}, wide(unix));
    pressKeys(dlg, {VK_TAB, VK_TAB});
    EXPECT_EQ("---|---", formats()) << "Tab alone chose a format";
    pressKeys(dlg, {VK_DOWN, VK_TAB}, wide(out));
    pressKeys(dlg, {VK_TAB, VK_TAB, VK_SPACE, VK_RETURN});
    EXPECT_EQ("xC-|Cx-", formats());
    EXPECT_EQ("1\r\n2\r\n", readBytes(out));
    // After detection took Windows from the output formats: Tab from the output path to them
    // reaches Unix, and Space chooses it.
    browseInput(win);
    SetFocus(GetDlgItem(dlg, IDC_OUTPUT_PATH));
    pressKeys(dlg, {VK_TAB, VK_TAB, VK_SPACE, VK_RETURN});
    EXPECT_EQ("Cx-|xC-", formats());
    EXPECT_EQ("1\n2\n", readBytes(out));
    const MessageReport alert = {dlg, "Couldn't automatically detect text format.\nPlease select one manually.",
                                 "Alert", IconWarning};
    EXPECT_EQ(std::vector<MessageReport>({alert, ok, ok}), reports);
}

// The accessibility service in Wine's place, which answers that it cannot: the names the
// program gave each control's own object. Its table of methods is laid out as COM lays out
// every interface; of the service's methods the program may call these two alone.
std::map<HWND, std::wstring> annotated;
HRESULT STDMETHODCALLTYPE setName(void *, HWND h, DWORD obj, DWORD child, MSAAPROPID prop, LPCWSTR name)
{
    if (obj == (DWORD)OBJID_CLIENT && child == CHILDID_SELF && prop == PROPID_ACC_NAME)
        annotated[h] = name;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE clearName(void *, HWND h, DWORD obj, DWORD child, const MSAAPROPID *props, int n)
{
    if (obj == (DWORD)OBJID_CLIENT && child == CHILDID_SELF && n == 1 && props[0] == PROPID_ACC_NAME)
        annotated.erase(h);
    return S_OK;
}
ULONG STDMETHODCALLTYPE noCount(void *) { return 1; }
const void *annotationMethods[18] = {NULL, (void *)noCount, (void *)noCount, NULL, NULL, NULL, NULL,
                                     (void *)setName, NULL, (void *)clearName};
const void *const annotations = annotationMethods;

// A shortcut as Windows reads one to a target longer than Wine's shortcuts hold: loaded from
// any file, with no item ids, leading to longTarget. Of a shortcut's methods and its file's,
// the program calls these alone.
std::wstring longTarget;
const void *linkFile;
HRESULT STDMETHODCALLTYPE asFile(void *, REFIID, void **obj) { return *obj = (void *)&linkFile, S_OK; }
HRESULT STDMETHODCALLTYPE noIds(void *, ITEMIDLIST **ids) { return *ids = NULL, E_FAIL; }
HRESULT STDMETHODCALLTYPE loaded(void *, LPCOLESTR, DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE targetPath(void *, LPWSTR path, int chars, WIN32_FIND_DATAW *, DWORD)
{
    lstrcpynW(path, longTarget.c_str(), chars);
    return S_OK;
}
const void *linkMethods[21] = {(void *)asFile, (void *)noCount, (void *)noCount, (void *)targetPath, (void *)noIds};
const void *fileMethods[9] = {NULL, (void *)noCount, (void *)noCount, NULL, NULL, (void *)loaded};
const void *const link = linkMethods;

decltype(coCreateInstance) realCoCreateInstance;
HRESULT WINAPI withStandIns(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID iid, void **obj)
{
    if (IsEqualCLSID(clsid, CLSID_AccPropServices))
        return IsEqualIID(iid, IID_IAccPropServices) ? (*obj = (void *)&annotations, S_OK) : E_NOINTERFACE;
    if (IsEqualCLSID(clsid, CLSID_ShellLink) && !longTarget.empty()) {
        linkFile = fileMethods;
        return IsEqualIID(iid, IID_IShellLinkW) ? (*obj = (void *)&link, S_OK) : E_NOINTERFACE;
    }
    return realCoCreateInstance(clsid, outer, context, iid, obj);
}

// What a screen reader says a control is, through Active Accessibility. Under Wine the name the
// program annotated stands before all else, as Windows' service would make it.
std::string accName(HWND c)
{
    if (annotated.count(c))
        return utf8(annotated[c]);
    IAccessible *acc = NULL;
    BSTR name = NULL;
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    // From oleacc.dll itself: its import library defines again an id that uuid does.
    static auto fromWindow = (decltype(&AccessibleObjectFromWindow))(void (*)(void))GetProcAddress(
        LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow");
    if (fromWindow == NULL || FAILED(fromWindow(c, OBJID_CLIENT, IID_IAccessible, (void **)&acc)))
        return "<no object>";
    acc->get_accName(self, &name);
    std::string s = name != NULL ? utf8(name) : "<no name>";
    SysFreeString(name);
    acc->Release();
    return s;
}

// UI Automation's client, which mingw-w64's headers lack: the methods used here, in their
// places in its interfaces, and the ids.
struct UiaElement : IUnknown {
    virtual void STDMETHODCALLTYPE m3() = 0, m4() = 0, m5() = 0, m6() = 0, m7() = 0, m8() = 0, m9() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(int id, VARIANT *value) = 0;
};
struct Uia : IUnknown {
    virtual void STDMETHODCALLTYPE m3() = 0, m4() = 0, m5() = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle(HWND h, UiaElement **e) = 0;
};
const CLSID kUiaClass = {0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
const IID kUiaIface = {0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
const int kUiaName = 30005, kUiaControlType = 30003;
const int kUiaButton = 50000, kUiaEdit = 50004, kUiaRadioButton = 50013;

// The same through UI Automation, as Narrator reads it (its proxy for Active Accessibility):
// each name and control type. Read from a thread of its own, as a client of another program
// would: UI Automation is not to be called from the thread whose windows it reads.
DWORD WINAPI readUia(void *arg)
{
    std::pair<HWND, std::string> *io = (std::pair<HWND, std::string> *)arg;
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    Uia *uia = NULL;
    if (FAILED(CoCreateInstance(kUiaClass, NULL, CLSCTX_INPROC_SERVER, kUiaIface, (void **)&uia)))
        io->second = "<no UI Automation>";
    for (int id = IDC_INPUT_PATH; uia != NULL && id <= IDC_EXIT; id++) {
        UiaElement *e = NULL;
        VARIANT name, type;
        VariantInit(&name);
        VariantInit(&type);
        if (GetDlgItem(io->first, id) == NULL || FAILED(uia->ElementFromHandle(GetDlgItem(io->first, id), &e)))
            continue;
        e->GetCurrentPropertyValue(kUiaName, &name);
        e->GetCurrentPropertyValue(kUiaControlType, &type);
        io->second += (name.vt == VT_BSTR ? utf8(name.bstrVal) : "<no name>") + " (" + std::to_string(type.lVal) + "); ";
        VariantClear(&name);
        e->Release();
    }
    if (uia != NULL)
        uia->Release();
    CoUninitialize();
    return 0;
}

std::string uiaSaid(HWND dlg)
{
    std::pair<HWND, std::string> io(dlg, "");
    HANDLE t = CreateThread(NULL, 0, readUia, &io, 0, NULL);
    MSG msg;
    while (MsgWaitForMultipleObjects(1, &t, FALSE, 180000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    if (WaitForSingleObject(t, 0) != WAIT_OBJECT_0)
        io.second = "<no answer>";
    CloseHandle(t);
    return io.second;
}

TEST_F(MainDialog, EveryControlIsNamedForAScreenReader)
{
    DestroyWindow(dlg);
    realCoCreateInstance = coCreateInstance;
    // Wine's annotation service answers that it cannot: a stand-in takes the names.
    if (onWine())
        coCreateInstance = withStandIns;
    dlg = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, 0);
    std::string names;
    for (int id = IDC_INPUT_PATH; id <= IDC_EXIT; id++) {
        if (GetDlgItem(dlg, id) != NULL)
            names += accName(GetDlgItem(dlg, id)) + "; ";
    }
    EXPECT_EQ("Input file; Output file; Browse for the input file; Windows, input format; Unix, input format; "
              "Mac, input format; Browse for the output file; Windows, output format; Unix, output format; "
              "Mac, output format; Convert; About; Exit; ",
              names);
    // On Windows, also each control's kind, an edit box, a push or a radio button, as UI
    // Automation tells them (Wine makes every button a client, and lacks the annotations).
    if (!onWine()) {
        std::string want;
        size_t at = 0;
        for (const char *k = "eeprrrprrrppp"; *k != '\0'; k++) {
            size_t end = names.find("; ", at);
            int type = *k == 'e' ? kUiaEdit : *k == 'p' ? kUiaButton : kUiaRadioButton;
            want += names.substr(at, end - at) + " (" + std::to_string(type) + "); ";
            at = end + 2;
        }
        EXPECT_EQ(want, uiaSaid(dlg));
    }
    // Taken back as the dialog goes.
    DestroyWindow(dlg);
    dlg = NULL;
    coCreateInstance = realCoCreateInstance;
    EXPECT_TRUE(annotated.empty()) << annotated.size() << " names left";
}

TEST_F(MainDialog, AShortcutToMoreThanABoxHoldsIsRefused)
{
    realCoCreateInstance = coCreateInstance;
    coCreateInstance = withStandIns;
    const std::string target = dir + std::string(259 - dir.size() - 4, 'p') + ".txt";
    const MessageReport tooLong = {dlg, "The chosen path is too long!", "Error", IconError};
    for (const std::string &t : {target, target.substr(0, target.size() - 4) + "q.txt"}) {
        longTarget = wide(t);
        clearReports();
        drop(GetDlgItem(dlg, IDC_OUTPUT_PATH), {dir + "long.lnk"});
        EXPECT_EQ(t.size() == 259 ? t : target, text(IDC_OUTPUT_PATH));
        EXPECT_EQ(t.size() == 259 ? std::vector<MessageReport>() : std::vector<MessageReport>{tooLong}, reports);
    }
    longTarget.clear();
    coCreateInstance = realCoCreateInstance;
}

TEST_F(MainDialog, EscAndUnknownCommandsAreIgnored)
{
    for (int id : {IDCANCEL, IDOK, IDC_INPUT_PATH, 520, 532}) {
        // Called directly: SendMessage to a dialog answers its DWLP_MSGRESULT instead.
        EXPECT_EQ(TRUE, MainDlgProc(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0)) << id;
        EXPECT_TRUE(IsWindowVisible(dlg)) << id;
    }
    // Typing into a path box runs no detection.
    writeBytes(dir + "unix.txt", "1\n2\n");
    type(IDC_INPUT_PATH, dir + "unix.txt");
    EXPECT_EQ("---|---", formats());
    EXPECT_EQ(0, styleChanges) << "typing rewrote the format buttons' styles";
    EXPECT_TRUE(reports.empty());
}

TEST_F(MainDialog, ExitAndTheCloseBoxEndTheDialogWithZero)
{
    DestroyWindow(dlg);
    dlg = NULL;
    for (UINT how : {0u, 1u}) {
        // The dialog is made inside DialogBoxParamA: post to it once it is active.
        struct Poster {
            static LRESULT CALLBACK proc(int code, WPARAM wParam, LPARAM lParam)
            {
                if (code == HCBT_ACTIVATE && isDialog((HWND)wParam) && windowText((HWND)wParam) == "Pellmark")
                    PostMessageA((HWND)wParam, closeMsg, closeWParam, 0);
                return CallNextHookEx(NULL, code, wParam, lParam);
            }
        };
        closeMsg = how == 0 ? WM_COMMAND : WM_CLOSE;
        closeWParam = how == 0 ? IDC_EXIT : 0;
        HHOOK h = SetWindowsHookExA(WH_CBT, Poster::proc, NULL, GetCurrentThreadId());
        INT_PTR res = DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDlgProc, 0);
        UnhookWindowsHookEx(h);
        EXPECT_EQ(0, res) << (how == 0 ? "Exit" : "close box");
    }
}

TEST_F(MainDialog, AboutBoxIgnoresEscAndClosesWithOk)
{
    command(IDC_ABOUT);
    EXPECT_EQ(1, drv.aboutBoxes);
    EXPECT_TRUE(drv.aboutSurvivedEsc);
    drv.active = NULL;
    drv.aboutByCloseBox = true;
    command(IDC_ABOUT);
    KillTimer(NULL, drv.stuckTimer);
    EXPECT_EQ(2, drv.aboutBoxes);
    EXPECT_FALSE(drv.aboutStuck) << "the close box closes the About box";
    EXPECT_TRUE(reports.empty());
}

// What of a control's text does not fit inside it, measured in the font the control uses on
// its device context (for a path box, an empty line of it); empty when everything fits.
std::string overflow(HWND c)
{
    std::string txt = windowText(c);
    char cls[32] = "";
    GetClassNameA(c, cls, sizeof(cls));
    LONG type = GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK;
    RECT box;
    GetClientRect(c, &box);
    HDC dc = GetDC(c);
    HGDIOBJ oldFont = SelectObject(dc, (HFONT)SendMessageA(c, WM_GETFONT, 0, 0));
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    // Room the control itself takes beside its text: the check mark and its gap, or the
    // frame of a button or group box.
    int room = 4;
    if (_stricmp(cls, "Static") == 0)
        room = 0;
    else if (type == BS_AUTORADIOBUTTON)
        room = GetSystemMetrics(SM_CXMENUCHECK) + tm.tmAveCharWidth / 2;
    else if (type == BS_GROUPBOX)
        room = 2 * tm.tmAveCharWidth;
    std::string bad;
    int lines = 0;
    for (size_t at = 0; at <= txt.size(); lines++) {
        size_t end = txt.find("\r\n", at);
        std::string line = txt.substr(at, end == std::string::npos ? std::string::npos : end - at);
        RECT r = {0, 0, 0, 0};
        // A single line, with & taken as the mnemonic's mark, as the control draws it.
        DrawTextA(dc, line.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
        if (r.right + room > box.right)
            bad += "\"" + line + "\" needs " + std::to_string(r.right + room) + " px of " +
                   std::to_string(box.right) + "; ";
        at = end == std::string::npos ? txt.size() + 1 : end + 2;
    }
    if (lines * tm.tmHeight > box.bottom && type != BS_GROUPBOX)
        bad += "\"" + txt + "\" needs " + std::to_string(lines * tm.tmHeight) + " px high of " +
               std::to_string(box.bottom) + "; ";
    SelectObject(dc, oldFont);
    ReleaseDC(c, dc);
    return bad;
}

std::string overflows(HWND dlg)
{
    std::string bad;
    for (HWND c = GetWindow(dlg, GW_CHILD); c != NULL; c = GetWindow(c, GW_HWNDNEXT))
        bad += overflow(c);
    return bad;
}

// The sides of the window's small and big icons.
std::string iconSizes(HWND dlg)
{
    std::string sizes;
    for (WPARAM kind : {ICON_SMALL, ICON_BIG}) {
        ICONINFO ii = {};
        BITMAP bm = {};
        GetIconInfo((HICON)SendMessageW(dlg, WM_GETICON, kind, 0), &ii);
        GetObjectW(ii.hbmColor, sizeof(bm), &bm);
        DeleteObject(ii.hbmColor);
        DeleteObject(ii.hbmMask);
        sizes += std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight) + " ";
    }
    return sizes;
}

// Whether the program's icon holds an image of px by px, which Windows then takes as it is.
bool hasImage(int px)
{
    const BYTE *dir = (const BYTE *)LockResource(
        LoadResource(NULL, FindResourceW(NULL, MAKEINTRESOURCEW(IDI_MAIN), (LPCWSTR)RT_GROUP_ICON)));
    for (int i = 0; i < *(const WORD *)(dir + 4); i++) {
        if (dir[6 + 14 * i] == (px & 255))
            return true;
    }
    return false;
}

// At the scale the test runner sets (96, 120, 144 and 192 DPI, each run on its own), with the
// icons of the sizes Windows asks for there.
TEST_F(MainDialog, EveryTextFitsItsControlInItsOwnFont)
{
    EXPECT_EQ("", overflows(dlg));
    const int small = GetSystemMetrics(SM_CXSMICON), big = GetSystemMetrics(SM_CXICON);
    EXPECT_EQ(std::to_string(small) + "x" + std::to_string(small) + " " + std::to_string(big) + "x" +
                  std::to_string(big) + " ",
              iconSizes(dlg));
    EXPECT_TRUE(hasImage(small) && hasImage(big)) << "an icon stretched from another size";
    HWND about = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_ABOUT), dlg, AboutDlgProc, 0);
    ASSERT_NE((HWND)NULL, about);
    EXPECT_EQ("", overflows(about));
    DestroyWindow(about);
}

std::vector<HICON> iconsDestroyed;
BOOL(WINAPI *realDestroyIcon)(HICON);
BOOL WINAPI recordDestroyIcon(HICON icon)
{
    iconsDestroyed.push_back(icon);
    return realDestroyIcon(icon);
}

TEST_F(MainDialog, MovedToAMonitorOfAnotherScaleItKeepsItsFontAndIcons)
{
    // Windows 10 (1703 on) tells a per-monitor aware dialog that moves to a monitor of 200%,
    // and its dialog manager then lays it out again and gives every control the new dialog
    // font. Wine does neither: both are played here.
    HFONT before = (HFONT)SendDlgItemMessageW(dlg, IDC_INPUT_PATH, WM_GETFONT, 0, 0);
    const std::vector<HICON> icons = {(HICON)SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0),
                                      (HICON)SendMessageW(dlg, WM_GETICON, ICON_BIG, 0)};
    iconsDestroyed.clear();
    realDestroyIcon = (decltype(realDestroyIcon))substituteImport("user32.dll", "DestroyIcon", (void *)recordDestroyIcon);
    ASSERT_TRUE(realDestroyIcon != NULL);
    RECT r;
    GetWindowRect(dlg, &r);
    SendMessageW(dlg, WM_DPICHANGED, MAKEWPARAM(192, 192), (LPARAM)&r);
    for (int id : {IDC_INPUT_PATH, IDC_OUTPUT_PATH})
        SendDlgItemMessageW(dlg, id, WM_SETFONT, SendMessageW(dlg, WM_GETFONT, 0, 0), FALSE);
    settle();

    LOGFONTW lf = {};
    HFONT font = (HFONT)SendDlgItemMessageW(dlg, IDC_INPUT_PATH, WM_GETFONT, 0, 0);
    GetObjectW(font, sizeof(lf), &lf);
    EXPECT_EQ("MS Shell Dlg", utf8(lf.lfFaceName));
    EXPECT_EQ(font, (HFONT)SendDlgItemMessageW(dlg, IDC_OUTPUT_PATH, WM_GETFONT, 0, 0));
    substituteImport("user32.dll", "DestroyIcon", (void *)realDestroyIcon);
    EXPECT_EQ(0u, GetObjectType(before)) << "the font before was not freed";
    EXPECT_EQ("32x32 64x64 ", iconSizes(dlg));
    // Wine keeps no count of a program's icons that would show one never destroyed.
    EXPECT_EQ(icons, iconsDestroyed) << "the icons before were not destroyed";
}

TEST(AppMain, TheProgramsOwnNameAndEmptyArgumentsAreNoFile)
{
    ASSERT_TRUE(loadSysLibs());
    const wchar_t self[] = L"C:\\Program Files\\Pellmark\\Pellmark.exe";
    const struct {
        const char *line, *path;  // path null: none handed over
    } rows[] = {
        {"C:\\Program Files\\Pellmark\\Pellmark.exe", nullptr},
        {"C:\\Program Files\\Pellmark\\Pellmark.exe C:\\notes.txt other.txt", "C:\\notes.txt"},
        {"  c:/program files/PELLMARK/pellmark   \"my notes.txt\"", "my notes.txt"},
        {"Program Files\\Pellmark\\Pellmark.exe", nullptr},
        {"\"C:\\Program Files\\Pellmark\\Pellmark.exe\" \"Привет 日本.txt\"", "Привет 日本.txt"},
        {"Pellmark.exe \"\"", nullptr},
        {"Pellmark \"\" \"  \" x.txt", "x.txt"},
        {"C:\\PROGRA~1\\Pellmark\\Pellmark.exe x.txt", "x.txt"},
    };
    for (const auto &r : rows) {
        wchar_t **args = NULL;
        const wchar_t *path = handedPath(wide(r.line).c_str(), self, &args);
        EXPECT_EQ(r.path ? r.path : "<none>", path ? utf8(path) : "<none>") << r.line;
        LocalFree(args);
    }
}

FARPROC(WINAPI *realGetProcAddress)(HMODULE, LPCSTR);

// A system whose common dialogs lack one function.
FARPROC WINAPI withoutSaveDialog(HMODULE lib, LPCSTR name)
{
    if (HIWORD(name) != 0 && strcmp(name, "GetSaveFileNameW") == 0)
        return NULL;
    return realGetProcAddress(lib, name);
}

TEST(AppMain, WhatCannotBeMadeOrHadIsReportedAndStillReturnsZero)
{
    clearReports();
    // kernel32 holds no dialog template 201, so the main dialog cannot be made from it.
    EXPECT_EQ(0, appMain(GetModuleHandleA("kernel32.dll")));
    const MessageReport failed = {nullptr, "Creation of main window failed!", "Error", IconError};
    EXPECT_EQ(std::vector<MessageReport>{failed}, reports);

    clearReports();
    realGetProcAddress = (decltype(realGetProcAddress))substituteImport("kernel32.dll", "GetProcAddress", (void *)withoutSaveDialog);
    ASSERT_TRUE(realGetProcAddress != NULL);
    // Without a template either: a program that went on would not wait in its dialog.
    EXPECT_EQ(0, appMain(GetModuleHandleA("kernel32.dll")));
    substituteImport("kernel32.dll", "GetProcAddress", (void *)realGetProcAddress);
    const MessageReport lacking = {nullptr, "This version of Windows lacks the common controls or dialogs Pellmark needs!",
                                   "Error", IconError};
    EXPECT_EQ(std::vector<MessageReport>{lacking}, reports);
    clearReports();
    EXPECT_TRUE(loadSysLibs());
}

} // namespace
