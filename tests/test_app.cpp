// Starts the built Pellmark.exe and uses it as a person would, through its windows only.
#include <gtest/gtest.h>

#include <functional>

#include "resource.h"
#include "winfiles.h"

namespace {

const int kFileNameCombo = 0x47C; // cmb13 of Wine's file dialogs
const int kBoxText = 0xFFFF;      // a message box's text
// Every wait for a window or the program is bounded, and generously: a busy machine, or the
// first program in a fresh 32-bit Wine under emulation, may take many seconds; a box that
// should not be there fails at once, whatever the bound.
const DWORD kTimeoutMs = 180000;
// Where Wine takes the DLL load order of a program of that name.
const wchar_t kOverrides[] = L"Software\\Wine\\AppDefaults\\Pellmark.exe\\DllOverrides";


// Polls until cond holds or the time is up: nothing here waits forever.
bool waitFor(const std::function<bool()> &cond, DWORD ms = kTimeoutMs)
{
    DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}


// A message box: a text static of its own, and no file name box as the file dialogs have.
bool isBox(HWND h)
{
    char cls[32] = "";
    GetClassNameA(GetDlgItem(h, kBoxText), cls, sizeof(cls));
    return _stricmp(cls, "Static") == 0 && GetDlgItem(h, kFileNameCombo) == NULL;
}

struct Search {
    DWORD pid;
    std::function<bool(HWND)> match;
    HWND found;
};

BOOL CALLBACK searchProc(HWND h, LPARAM lParam)
{
    Search *s = (Search *)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[32] = "";
    GetClassNameA(h, cls, sizeof(cls));
    if (pid == s->pid && strcmp(cls, "#32770") == 0 && IsWindowVisible(h) && s->match(h)) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

class PellmarkApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeTempDir();
        // Run from a folder as Downloads is: another DLL beside it, of a name that the common
        // controls ask for, and Wine told to look for that name as Windows does.
        app = dir + "Pellmark app\\";
        ASSERT_TRUE(CreateDirectoryW(wide(app).c_str(), NULL));
        ASSERT_TRUE(CopyFileW(wide(besideMe("Pellmark.exe")).c_str(), wide(app + "Pellmark.exe").c_str(), TRUE));
        plant("uxtheme");
        exe = app + "Pellmark.exe";
        if (startsAtOnce)
            start();
    }
    // A DLL of that name beside the program, which Wine is told to look for as Windows does.
    void plant(const char *name, bool override = true)
    {
        ASSERT_TRUE(CopyFileW(wide(besideMe("planted.dll")).c_str(), wide(app + name + ".dll").c_str(), TRUE));
        if (!onWine() || !override)
            return;
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kOverrides, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
        RegSetValueExW(key, wide(name).c_str(), 0, REG_SZ, (const BYTE *)L"native,builtin", sizeof(L"native,builtin"));
        RegCloseKey(key);
    }
    // Starts the program as Explorer does, args after its name (each with its space first)
    // and in the current folder cwd, and waits for its dialog. Or unquoted, as some programs
    // write a path with spaces, which Windows passes on as written and Wine would quote.
    void start(const std::string &args = "", const std::string &cwd = "", bool unquoted = false)
    {
        STARTUPINFOW si;
        ZeroMemory(&si, sizeof(si));
        si.cb = sizeof(si);
        std::wstring cmd = wide(unquoted ? exe + args : "\"" + exe + "\"" + args);
        ASSERT_TRUE(CreateProcessW(unquoted ? wide(exe).c_str() : NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL,
                                   cwd.empty() ? NULL : wide(cwd).c_str(), &si, &pi))
            << args;
        started = true;
        ASSERT_TRUE(waitFor([&] { return (mainDlg = findDialog([](HWND h) { return windowText(h) == "Pellmark"; })) || ended(); }) &&
                    mainDlg != NULL)
            << "the main dialog never appeared";
    }
    bool ended() { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }
    // Ends the program, whatever it shows.
    void stop()
    {
        if (!started)
            return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, kTimeoutMs);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        started = false;
    }
    void TearDown() override
    {
        stop();
        EXPECT_EQ(std::string::npos, folderNames(app).find(".loaded")) << "a DLL beside the program was loaded: " << folderNames(app);
        if (onWine())
            RegDeleteKeyW(HKEY_CURRENT_USER, kOverrides);
        removeTree(dir);
    }

    HWND findDialog(const std::function<bool(HWND)> &match)
    {
        Search s = {pi.dwProcessId, match, NULL};
        EnumWindows(searchProc, (LPARAM)&s);
        return s.found;
    }
    // Waits until cond holds; a message box that expected does not accept ends the wait at
    // once, as a failure that says what the box said. Returns whether cond held.
    bool waitUnlessBox(const std::function<bool()> &cond, const std::function<bool(HWND)> &expected)
    {
        auto unexpected = [&](HWND w) { return w != mainDlg && isBox(w) && !expected(w); };
        HWND other = NULL;
        waitFor([&] { return cond() || (other = findDialog(unexpected)) != NULL || ended(); });
        if (ended())
            ADD_FAILURE() << "the program ended";
        if (other != NULL) {
            ADD_FAILURE() << "unexpected box \"" << windowText(other) << "\": " << windowText(GetDlgItem(other, kBoxText));
            PostMessageA(other, WM_COMMAND, IDOK, 0);  // so that the program can end
        }
        return other == NULL && cond();
    }
    // Waits for a dialog that match accepts.
    HWND waitDialog(const std::function<bool(HWND)> &match)
    {
        HWND h = NULL;
        waitUnlessBox([&] { return (h = findDialog(match)) != NULL; }, match);
        return h;
    }
    // Waits for the dialog to reach a state.
    bool waitState(const std::function<bool()> &cond)
    {
        return waitUnlessBox(cond, [](HWND) { return false; });
    }
    HWND waitFileDialog()
    {
        return waitDialog([](HWND h) { return GetDlgItem(h, kFileNameCombo) != NULL; });
    }
    HWND waitBox(const std::string &caption)
    {
        return waitDialog([&](HWND h) { return windowText(h) == caption && GetDlgItem(h, kBoxText) != NULL; });
    }
    // Waits for the box of that caption and presses OK, after checking what it says, whom it
    // belongs to (an owned box disables the dialog), and that no drop is offered meanwhile.
    void answerBox(const std::string &caption, const std::string &text, HWND owner)
    {
        HWND box = waitBox(caption);
        ASSERT_NE((HWND)NULL, box) << "no box \"" << caption << "\"";
        EXPECT_EQ(text, windowText(GetDlgItem(box, kBoxText)));
        EXPECT_EQ(owner, GetWindow(box, GW_OWNER));
        EXPECT_EQ(owner == NULL, IsWindowEnabled(mainDlg) != FALSE);
        EXPECT_FALSE(GetWindowLongW(mainDlg, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "drops offered under the box";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitFor([&] { return !IsWindow(box) && IsWindowEnabled(mainDlg); }));
    }
    // Types a name into a file dialog and presses OK, as the user would.
    void pickFile(HWND fileDlg, const std::string &path)
    {
        SetDlgItemTextW(fileDlg, kFileNameCombo, wide(path).c_str());
        PostMessageA(fileDlg, WM_COMMAND, IDOK, 0);
    }
    void press(int id) { PostMessageA(mainDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(mainDlg, id)); }
    bool checked(int id) { return SendDlgItemMessageA(mainDlg, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    DWORD exitCode()
    {
        if (WaitForSingleObject(pi.hProcess, kTimeoutMs) != WAIT_OBJECT_0)
            return 0xDEAD;
        DWORD code = 0xDEAD;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }

    std::string dir, app, exe;
    bool startsAtOnce = true;
    PROCESS_INFORMATION pi = {};
    bool started = false;
    HWND mainDlg = NULL;
};

TEST_F(PellmarkApp, ConvertsAFileChosenThroughTheFileDialogs)
{
    // Names the ANSI code page cannot hold, one beside its look-alike there.
    ASSERT_TRUE(CreateDirectoryW(wide(dir + "日本 😀").c_str(), NULL));
    const std::string notes = dir + "日本 😀\\Привет.txt", dos = dir + "Łódź.txt";
    writeBytes(notes, "first\nsecond\nthird\n");
    writeBytes(dos, "an older file that is replaced");
    writeBytes(dir + "Lódz.txt", "a look-alike\r");

    press(IDC_INPUT_BROWSE);
    HWND open = waitFileDialog();
    ASSERT_NE((HWND)NULL, open) << "no open dialog";
    EXPECT_EQ(mainDlg, GetWindow(open, GW_OWNER));
    pickFile(open, notes);
    ASSERT_TRUE(waitState([&] { return checked(IDC_IN_UNIX); })) << "Unix was not detected";
    EXPECT_EQ(notes, windowText(GetDlgItem(mainDlg, IDC_INPUT_PATH)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(mainDlg, IDC_OUT_UNIX)));

    press(IDC_OUTPUT_BROWSE);
    HWND save = waitFileDialog();
    ASSERT_NE((HWND)NULL, save) << "no save dialog";
    pickFile(save, dos);
    // The file exists: the save dialog asks before it may be chosen.
    HWND ask = waitDialog([&](HWND h) { return GetWindow(h, GW_OWNER) == save && h != save; });
    ASSERT_NE((HWND)NULL, ask) << "no overwrite question";
    PostMessageA(ask, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(waitFor([&] { return windowText(GetDlgItem(mainDlg, IDC_OUTPUT_PATH)) == dos; }));

    PostMessageA(GetDlgItem(mainDlg, IDC_OUT_WINDOWS), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitFor([&] { return checked(IDC_OUT_WINDOWS); }));
    press(IDC_CONVERT);
    answerBox("Success", "File converted successfully!", NULL);

    EXPECT_EQ("first\r\nsecond\r\nthird\r\n", readBytes(dos));
    EXPECT_EQ("first\nsecond\nthird\n", readBytes(notes));
    EXPECT_EQ("a look-alike\r", readBytes(dir + "Lódz.txt"));

    // UTF-16 LE, as Notepad saves it ("1", CR LF, U+010A, CR LF): found to be Windows, and
    // converted in its own characters.
    const std::string wide = dir + "日本 😀\\Unicode.txt";
    writeBytes(wide, std::string("\xFF\xFE" "1\0\r\0\n\0" "\x0A\x01\r\0\n\0", 14));
    press(IDC_INPUT_BROWSE);
    open = waitFileDialog();
    ASSERT_NE((HWND)NULL, open) << "no open dialog";
    pickFile(open, wide);
    ASSERT_TRUE(waitState([&] { return checked(IDC_IN_WINDOWS); })) << "Windows was not detected";
    PostMessageA(GetDlgItem(mainDlg, IDC_OUT_UNIX), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitFor([&] { return checked(IDC_OUT_UNIX); }));
    press(IDC_CONVERT);
    answerBox("Success", "File converted successfully!", NULL);
    EXPECT_EQ(std::string("\xFF\xFE" "1\0\n\0" "\x0A\x01\n\0", 10), readBytes(dos));

    // The same in UTF-16 LE without a mark: 8-bit text holding NUL bytes, refused whole.
    writeBytes(wide, std::string("1\0\r\0\n\0", 6));
    press(IDC_CONVERT);
    answerBox("Error", "File Conversion Error:\nInput file holds a NUL character!", NULL);
    EXPECT_EQ(std::string("\xFF\xFE" "1\0\n\0" "\x0A\x01\n\0", 10), readBytes(dos)) << "the output was touched";

    press(IDC_EXIT);
    EXPECT_EQ(0u, exitCode());
}

TEST_F(PellmarkApp, MissingFileAsksForAFormatAndTheCloseBoxEnds)
{
    press(IDC_INPUT_BROWSE);
    HWND open = waitFileDialog();
    ASSERT_NE((HWND)NULL, open);
    pickFile(open, dir + "no such file.txt");
    answerBox("Alert", "Couldn't automatically detect text format.\nPlease select one manually.", mainDlg);
    EXPECT_FALSE(checked(IDC_IN_WINDOWS) || checked(IDC_IN_UNIX) || checked(IDC_IN_MAC));

    PostMessageA(mainDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, exitCode());
}

TEST_F(PellmarkApp, ConvertWithoutFormatsSaysSoAndEscKeepsTheDialog)
{
    PostMessageA(mainDlg, WM_COMMAND, IDCANCEL, 0);
    press(IDC_CONVERT);
    answerBox("Error", "No input format was specified!", mainDlg);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi.hProcess, 0)) << "Esc must not end the program";

    press(IDC_ABOUT);
    HWND about = waitDialog([](HWND h) { return windowText(h) == "About This Program"; });
    ASSERT_NE((HWND)NULL, about);
    EXPECT_EQ(mainDlg, GetWindow(about, GW_OWNER));
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitFor([&] { return !IsWindow(about); }));

    press(IDC_EXIT);
    EXPECT_EQ(0u, exitCode());
}

// On XP, Vista and 7 without update KB2533623, which cannot be told to search the system
// folder alone: SetDefaultDllDirectories is not found in a copy of the program. Every system
// library it loads or that its libraries ask for by name, planted beside it, stays unloaded.
TEST_F(PellmarkApp, OnAnOlderWindowsLoadsNoDllFromItsOwnFolder)
{
    stop();
    std::string bytes = readBytes(exe);
    const size_t at = bytes.find("SetDefaultDllDirectories");
    ASSERT_NE(std::string::npos, at);
    bytes[at + 23] = 'Z';
    writeBytes(exe, bytes);
    // Wine's own libraries load these two as a program starts, before any of its code runs;
    // Windows' do not, and takes imm32 from its known DLLs.
    plant("version", false);
    for (const char *name : {"userenv", "setupapi", "apphelp", "propsys", "dwmapi", "cryptbase", "oleacc", "profapi",
                             "clbcatq", "msimg32", "comdlg32", "shell32", "ole32"})
        plant(name);
    start();
    const std::string notes = dir + "notes.txt";
    writeBytes(notes, "1\r2\r");
    press(IDC_INPUT_BROWSE);
    HWND open = waitFileDialog();
    ASSERT_NE((HWND)NULL, open) << "no open dialog";
    pickFile(open, notes);
    ASSERT_TRUE(waitState([&] { return checked(IDC_IN_MAC); })) << "Mac was not detected";
    press(IDC_EXIT);
    EXPECT_EQ(0u, exitCode());
}

// Started with the paths Explorer hands over: a file dropped onto Pellmark.exe or a shortcut
// to it, Send To, Open with.
class PellmarkHandedAFile : public PellmarkApp {
protected:
    PellmarkHandedAFile() { startsAtOnce = false; }
};

TEST_F(PellmarkHandedAFile, TakesTheFirstPathItIsStartedWith)
{
    const std::string unix = dir + "unix.txt", folder = dir + "Привет\\", mac = folder + "Łódź 日本.txt";
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), NULL));
    writeBytes(unix, "1\n2\n");
    writeBytes(mac, "1\r2\r");
    const std::string longest = dir + std::string(259 - wide(dir).size() - 4, 'p') + ".txt";
    writeBytes(longest, "1\r\n2\r\n");
    ASSERT_EQ("1\r\n2\r\n", readBytes(longest)) << "the file system refuses such a long name";
    ASSERT_TRUE(makeShortcut(dir + "notes.lnk", mac));
    ASSERT_TRUE(makeShortcut(dir + "computer.lnk", ""));
    const std::string tooLong = "The chosen path is too long!";
    const struct {
        const char *what;
        std::string args, cwd, in;
        int format;       // the input format detected, or 0
        std::string box;  // what an Error box says as the program starts, or nothing
        bool unquoted;
    } rows[] = {
        {"an absolute path", " \"" + unix + "\"", "", unix, IDC_IN_UNIX, "", false},
        {"a relative one in another script, from another folder", " \"Привет\\Łódź 日本.txt\"", dir, mac, IDC_IN_MAC, "", false},
        {"two paths", " " + unix + " \"" + mac + "\"", "", unix, IDC_IN_UNIX, "", false},
        {"259 characters", " \"" + longest + "\"", "", longest, IDC_IN_WINDOWS, "", false},
        {"260 characters", " \"" + longest.substr(0, longest.size() - 4) + "q.txt\"", "", "", 0, tooLong, false},
        {"a shortcut", " " + dir + "notes.lnk", "", mac, IDC_IN_MAC, "", false},
        {"a shortcut to no file", " " + dir + "computer.lnk", "", "", 0, "The shortcut does not lead to a file!", false},
        {"its own path unquoted, with a space", "", "", "", 0, "", true},
        {"the same, and a file", " " + unix, "", unix, IDC_IN_UNIX, "", true},
        {"an empty argument", " \"\"", "", "", 0, "", false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        start(r.args, r.cwd, r.unquoted);
        if (HasFatalFailure())
            return;
        HWND in = GetDlgItem(mainDlg, IDC_INPUT_PATH);
        if (!r.box.empty())
            answerBox("Error", r.box, mainDlg);
        EXPECT_TRUE(waitState([&] { return windowText(in) == r.in && (r.format == 0 || checked(r.format)); }))
            << windowText(in);
        // Anything else the start brought would show before Convert's answer.
        press(IDC_CONVERT);
        answerBox("Error", r.format ? "No output format was specified!" : "No input format was specified!", mainDlg);
        PostMessageA(mainDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(0u, exitCode());
        stop();
    }
}

} // namespace
