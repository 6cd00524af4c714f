// Real files and windows for the tests that run under Wine. Paths and texts are UTF-8 here
// and reach the system through the W functions, so that a test can name any file a user can.
#ifndef PELLMARK_WINFILES_H
#define PELLMARK_WINFILES_H

#include <windows.h>
#include <stdint.h>

#include <string>

// UTF-8 to UTF-16 and back.
std::wstring wide(const std::string &utf8);
std::string utf8(const std::wstring &w);

// The Windows name of a path of the machine Wine runs on, as its drive Z: shows it.
std::string windowsPath(const std::string &unixPath);

// Whether the tests run under Wine, where they play what Windows does and Wine does not; on
// Windows itself they check what Windows does.
bool onWine();

// A file beside this test program: the program under test and what the tests plant.
std::string besideMe(const std::string &name);

// A window's text, also of another program's window (WM_GETTEXT).
std::string windowText(HWND h);

// A new empty folder of its own for one test, removed with everything in it by removeTree;
// makeShareDir makes one on a network share: the one the test runner offers (PELLMARK_SHARE),
// or on Windows the temporary folder's drive shared as an administrator reaches it; or
// returns "" where there is none.
std::string makeTempDir();
std::string makeShareDir();
void removeTree(const std::string &dir);

void writeBytes(const std::string &path, const std::string &bytes);
// The whole file, or "<missing>" when it cannot be opened.
std::string readBytes(const std::string &path);
bool fileExists(const std::string &path);
// The names in a folder, sorted, each followed by a space: what a user would see there.
std::string folderNames(const std::string &dir);
// A file of the given size that costs no disk.
bool makeSparse(const std::string &path, uint64_t size);

// A file that claims more bytes than a read delivers (sysfs claims 4096 and delivers a few),
// or "" where the machine has none.
std::string shortReadFile();

// A named pipe whose client end can be opened like a file, but has no size: the server end,
// to close when done, or INVALID_HANDLE_VALUE. path receives the name to open.
HANDLE makeSizelessPipe(std::string *path);

// A symbolic link at link that leads to target. Wine's CreateSymbolicLinkW makes nothing and
// says it did: under Wine the machine's own ln makes it. Windows makes one for an
// administrator, or in developer mode.
bool makeSymlink(const std::string &link, const std::string &target);
// Removes the link itself: Wine's DeleteFileW removes the file it leads to.
bool removeSymlink(const std::string &link);

// A shortcut at lnk (a .lnk file) to target, as Explorer makes one; with target empty, to
// This PC, which is no file.
bool makeShortcut(const std::string &lnk, const std::string &target);

// Puts fn in the place of the function name that this program imports from dll, so that a test
// can play what Windows does and Wine does not. Returns what was there, or null.
void *substituteImport(const char *dll, const char *name, void *fn);

#endif
