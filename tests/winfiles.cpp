#include "winfiles.h"

#include <shlobj.h>

#include <algorithm>
#include <vector>

std::wstring wide(const std::string &utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), NULL, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &w[0], n);
    return w;
}

std::string utf8(const std::wstring &w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), NULL, 0, NULL, NULL);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, NULL, NULL);
    return s;
}

std::string windowsPath(const std::string &unixPath)
{
    std::string p = "Z:" + unixPath;
    for (char &c : p)
        if (c == '/')
            c = '\\';
    return p;
}

bool onWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != NULL;
}

std::string besideMe(const std::string &name)
{
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, self, MAX_PATH);
    std::string path = utf8(std::wstring(self, n));
    return path.substr(0, path.rfind('\\') + 1) + name;
}

std::string windowText(HWND h)
{
    wchar_t buf[1024] = L"";
    SendMessageW(h, WM_GETTEXT, 1024, (LPARAM)buf);
    return utf8(buf);
}

std::string makeTempDir()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    for (unsigned n = GetTickCount() ^ GetCurrentProcessId();; n++) {
        std::string dir = utf8(base) + "pellmark-" + std::to_string(n);
        if (CreateDirectoryW(wide(dir).c_str(), NULL))
            return dir + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
}

std::string makeShareDir()
{
    const char *share = getenv("PELLMARK_SHARE");
    std::string dir = share ? share + ("\\pellmark-" + std::to_string(GetCurrentProcessId())) : "";
    if (!share && !onWine()) {
        // \\localhost\C$\Users\...\Temp\pellmark-N\: the administrative share of the drive.
        std::string local = makeTempDir();
        removeTree(local);
        if (local.size() > 3 && local[1] == ':')
            dir = "\\\\localhost\\" + local.substr(0, 1) + "$" + local.substr(2, local.size() - 3);
    }
    return !dir.empty() && CreateDirectoryW(wide(dir).c_str(), NULL) ? dir + "\\" : "";
}

void removeTree(const std::string &dir)
{
    // A file dialog leaves the current folder where a file was picked, and keeps it in use.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(wide(dir + "*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = utf8(fd.cFileName);
            if (name == "." || name == "..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(dir + name + "\\");
            } else {
                SetFileAttributesW(wide(dir + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(wide(dir + name).c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryW(wide(dir).c_str());
}

void writeBytes(const std::string &path, const std::string &bytes)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(h);
}

std::string readBytes(const std::string &path)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string all;
    std::vector<char> chunk(1 << 16);
    DWORD got = 0;
    while (ReadFile(h, chunk.data(), (DWORD)chunk.size(), &got, NULL) && got > 0)
        all.append(chunk.data(), got);
    CloseHandle(h);
    return all;
}

bool fileExists(const std::string &path)
{
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string folderNames(const std::string &dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(wide(dir + "*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = utf8(fd.cFileName);
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string &n : names)
        all += n + " ";
    return all;
}

bool makeSparse(const std::string &path, uint64_t size)
{
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER pos;
    pos.QuadPart = (LONGLONG)size;
    bool ok = SetFilePointerEx(h, pos, NULL, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

std::string shortReadFile()
{
    std::string p = windowsPath("/sys/devices/system/cpu/online");
    return fileExists(p) ? p : "";
}

HANDLE makeSizelessPipe(std::string *path)
{
    *path = "\\\\.\\pipe\\pellmark-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    return CreateNamedPipeW(wide(*path).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, NULL);
}

void *substituteImport(const char *dll, const char *name, void *fn)
{
    BYTE *base = (BYTE *)GetModuleHandleW(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    DWORD at = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + at); d->Name != 0; d++) {
        if (_stricmp((const char *)(base + d->Name), dll) != 0)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name, name) != 0)
                continue;
            DWORD was;
            VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &was);
            void *old = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)fn;
            VirtualProtect(&slots->u1.Function, sizeof(void *), was, &was);
            return old;
        }
    }
    return NULL;
}

// Runs /bin/tool (under Wine) on args: each a Windows path, given as the machine's, or after
// an option. Returns whether it ran and succeeded; false where it cannot run (Windows).
static bool runUnixTool(const char *tool, const char *option, const std::vector<std::string> &paths)
{
    typedef char *(CDECL * UnixNameFn)(const wchar_t *);
    typedef LONG(CDECL * SpawnFn)(char *const *, int);
    UnixNameFn unixName = (UnixNameFn)(void (*)(void))GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    SpawnFn spawn = (SpawnFn)(void (*)(void))GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp");
    if (unixName == NULL || spawn == NULL)
        return false;
    std::vector<char *> argv = {(char *)tool, (char *)option};
    for (const std::string &p : paths)
        argv.push_back(unixName(wide(p).c_str()));
    argv.push_back(NULL);
    bool ran = std::find(argv.begin() + 2, argv.end() - 1, nullptr) == argv.end() - 1 && spawn(argv.data(), TRUE) == 0;
    for (size_t i = 2; i + 1 < argv.size(); i++)
        HeapFree(GetProcessHeap(), 0, argv[i]);
    return ran;
}

bool makeSymlink(const std::string &link, const std::string &target)
{
    if (onWine())
        return runUnixTool("/bin/ln", "-s", {target, link});
    return CreateSymbolicLinkW(wide(link).c_str(), wide(target).c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 ||
           CreateSymbolicLinkW(wide(link).c_str(), wide(target).c_str(), 0) != 0;
}

bool removeSymlink(const std::string &link)
{
    return onWine() ? runUnixTool("/bin/rm", "-f", {link}) : DeleteFileW(wide(link).c_str()) != 0;
}

bool makeShortcut(const std::string &lnk, const std::string &target)
{
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IShellLinkW *link = NULL;
    IPersistFile *file = NULL;
    ITEMIDLIST *computer = NULL;
    bool made = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)) &&
                (target.empty() ? SUCCEEDED(SHGetSpecialFolderLocation(NULL, CSIDL_DRIVES, &computer)) &&
                                      SUCCEEDED(link->SetIDList(computer))
                                : SUCCEEDED(link->SetPath(wide(target).c_str()))) &&
                SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) &&
                SUCCEEDED(file->Save(wide(lnk).c_str(), TRUE));
    if (file != NULL)
        file->Release();
    if (link != NULL)
        link->Release();
    CoTaskMemFree(computer);
    CoUninitialize();
    return made;
}
