#include <stdlib.h>
#include <string.h>

#include "output.h"
#include "report.h"

// "~Pellmark-" and eight hex digits, then ".tmp" or ".bak".
#define SIDE_NAME_CHARS 22
// The longest path the Unicode file functions take, with the \\?\ prefix.
#define LONG_PATH 32768
// Scanners, the search indexer and sync clients open a new or a replaced file for a moment,
// and Windows then refuses to move or remove it: such a refusal is tried again for as long.
#define BRIEF_MS 1000
#define BRIEF_STEP_MS 50

// How a finished result was put in the output's place.
enum Placed {
    PlacedNot = 0,  // the old output, or none, is as it was; nothing is left beside it
    PlacedNew,      // the new output is in place
    PlacedStranded  // neither could be put in place: both stay beside it, under their side names
};

static void reportCreate(HWND owner)
{
    showReport(owner, "Could not create the output file!", "Error", IconError);
}

static void reportWrite(HWND owner)
{
    showReport(owner, "Could not write the output file!", "Error", IconError);
}

static void reportSuccess(void)
{
    showReport(NULL, "File converted successfully!", "Success", IconInfo);
}

// A full disk may take part of the data and still report success: check the count.
static int writeAll(HANDLE h, const char *buf, uint32_t len)
{
    DWORD written = 0;
    return WriteFile(h, buf, len, &written, NULL) && written == len;
}

static int isBrief(DWORD err)
{
    return err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_LOCK_VIOLATION ||
           err == ERROR_UNABLE_TO_REMOVE_REPLACED || err == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
           err == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
}

// After a failure: whether to try again, waiting a moment first. The last error stays.
static int tryAgain(DWORD start)
{
    DWORD err = GetLastError();
    if (!isBrief(err) || GetTickCount() - start >= BRIEF_MS)
        return 0;
    Sleep(BRIEF_STEP_MS);
    SetLastError(err);
    return 1;
}

static BOOL moveFile(const wchar_t *from, const wchar_t *to)
{
    DWORD start = GetTickCount();
    while (!MoveFileW(from, to)) {
        if (!tryAgain(start))
            return FALSE;
    }
    return TRUE;
}

static BOOL deleteFile(const wchar_t *path)
{
    DWORD start = GetTickCount();
    while (!DeleteFileW(path)) {
        if (!tryAgain(start))
            return FALSE;
    }
    return TRUE;
}

static int isMissing(const wchar_t *path)
{
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The output's whole path in buf, with \\?\ before it: a side file's name is longer than the
// output's may be, and a 259-character output leaves no room for it within MAX_PATH.
// scratch holds LONG_PATH characters.
static int longPath(const wchar_t *path, wchar_t *buf, wchar_t *scratch)
{
    DWORD n = GetFullPathNameW(path, LONG_PATH, scratch, NULL);
    if (n == 0 || n >= LONG_PATH - 8)
        return 0;
    const wchar_t *prefix = L"\\\\?\\";
    if (wcsncmp(scratch, L"\\\\?\\", 4) == 0 || wcsncmp(scratch, L"\\\\.\\", 4) == 0) {
        prefix = L"";
    } else if (wcsncmp(scratch, L"\\\\", 2) == 0) {
        prefix = L"\\\\?\\UNC";
        scratch++;
    }
    wcscpy(buf, prefix);
    wcscat(buf, scratch);
    return 1;
}

typedef DWORD(WINAPI *FinalPathFn)(HANDLE, wchar_t *, DWORD, DWORD);

// Where the open output really is: a symbolic link at its path, or a junction on the way,
// leads to the file to be replaced, and replacing the link itself would move that file
// aside. Windows has no such links before Vista, nor this function.
static int finalPath(HANDLE h, wchar_t *buf)
{
    FinalPathFn fn = (FinalPathFn)(void (*)(void))GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                                "GetFinalPathNameByHandleW");
    if (fn == NULL)
        return 0;
    // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS: a \\?\ path the file functions take.
    DWORD n = fn(h, buf, LONG_PATH, 0);
    return n > 0 && n < LONG_PATH;
}

// Writes ~Pellmark-N and ext at name.
static void sideName(wchar_t *name, uint32_t n, const wchar_t *ext)
{
    static const wchar_t stem[] = L"~Pellmark-";
    static const wchar_t hex[] = L"0123456789ABCDEF";
    memcpy(name, stem, sizeof(stem) - sizeof(wchar_t));
    name += 10;
    for (int shift = 28; shift >= 0; shift -= 4)
        *name++ = hex[(n >> shift) & 15];
    memcpy(name, ext, 5 * sizeof(wchar_t));
}

// Creates the new file that the result is written to, in the output's folder, under a name
// that is nobody else's and that a user would know as Pellmark's if it were ever left
// behind. tmp receives its path; bak, a free name beside it for the old output's backup.
static HANDLE makeTemp(const wchar_t *target, DWORD attrs, wchar_t *tmp, wchar_t *bak)
{
    const wchar_t *slash = wcsrchr(target, L'\\');
    size_t dirLen = slash == NULL ? 0 : (size_t)(slash + 1 - target);
    if (dirLen == 0 || dirLen + SIDE_NAME_CHARS >= LONG_PATH)
        return INVALID_HANDLE_VALUE;
    memcpy(tmp, target, dirLen * sizeof(wchar_t));
    memcpy(bak, target, dirLen * sizeof(wchar_t));
    uint32_t seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (uint32_t k = 0; k < 100; k++) {
        sideName(tmp + dirLen, seed + k, L".tmp");
        sideName(bak + dirLen, seed + k, L".bak");
        if (GetFileAttributesW(bak) != INVALID_FILE_ATTRIBUTES)
            continue;
        HANDLE h = CreateFileW(tmp, GENERIC_WRITE, 0, NULL, CREATE_NEW, attrs, NULL);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    return INVALID_HANDLE_VALUE;
}

// Puts the finished tmp in the existing output's place. The old output is kept as bak until
// then: without a backup, ReplaceFileW may have removed it by the time it fails. Whatever
// fails, a whole file stays under the output's name, and the only copy of either text is
// never deleted.
static int replaceOld(const wchar_t *out, const wchar_t *tmp, const wchar_t *bak)
{
    DWORD start = GetTickCount();
    while (!ReplaceFileW(out, tmp, bak, REPLACEFILE_IGNORE_MERGE_ERRORS, NULL, NULL)) {
        DWORD err = GetLastError();
        // The old output went to the backup, and the new one did not follow it there
        // (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2): the old one goes back, or else the new one in.
        if (isMissing(out) && !moveFile(bak, out)) {
            if (!moveFile(tmp, out))
                return PlacedStranded;
            break;
        }
        SetLastError(err);
        if (!tryAgain(start)) {
            deleteFile(tmp);
            return PlacedNot;
        }
    }
    deleteFile(bak);
    return PlacedNew;
}

static int placeNew(const wchar_t *out, const wchar_t *tmp, const wchar_t *bak, int exists)
{
    if (exists)
        return replaceOld(out, tmp, bak);
    if (moveFile(tmp, out))
        return PlacedNew;
    deleteFile(tmp);
    return PlacedNot;
}

// The result goes to a new file beside the output first, which then takes its place.
// out is the output, open for writing, or INVALID_HANDLE_VALUE where there is none yet.
// paths holds three times LONG_PATH characters.
static void writeDiskFile(HWND owner, HANDLE out, const wchar_t *outPath, const char *result,
                          uint32_t len, wchar_t *paths)
{
    wchar_t *target = paths, *tmp = paths + LONG_PATH, *bak = paths + 2 * LONG_PATH;
    int exists = out != INVALID_HANDLE_VALUE;
    // A new text is one to back up (archive); the old output's hidden and system marks stay.
    DWORD attrs = FILE_ATTRIBUTE_ARCHIVE;
    int named = 0;
    if (exists) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(out, &info))
            attrs |= info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        named = finalPath(out, target);
        CloseHandle(out);
    }
    if (!named)
        named = longPath(outPath, target, tmp);
    HANDLE h = named ? makeTemp(target, attrs, tmp, bak) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
        reportCreate(owner);
        return;
    }
    // On the disk before it takes the output's place: after a power cut the file system keeps
    // the rename, but data still in the cache may never have been written, and the old output
    // would be gone for a file of zeros.
    int wrote = writeAll(h, result, len) && FlushFileBuffers(h);
    if (!CloseHandle(h) || !wrote) {
        deleteFile(tmp);
        reportWrite(owner);
        return;
    }
    if (placeNew(target, tmp, bak, exists) != PlacedNew) {
        reportCreate(owner);
        return;
    }

    // As a file written in place would be: open, shared for reading only, while the user
    // reads the outcome.
    out = CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    reportSuccess();
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
}

void writeOutput(HWND owner, const wchar_t *outPath, const char *result, uint32_t len)
{
    // Opening the output for writing refuses what writing it in place would: a read-only
    // file, a folder, a file that another program keeps from writers, and the input itself
    // under any of its names (it is open, shared for reading only). It changes nothing.
    HANDLE out = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_ARCHIVE, NULL);
    if (out == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        reportCreate(owner);
        return;
    }
    if (out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_DISK) {
        // A device or a pipe takes the result as it comes; there is nothing to replace.
        if (writeAll(out, result, len))
            reportSuccess();
        else
            reportWrite(owner);
        CloseHandle(out);
        return;
    }
    wchar_t *paths = (wchar_t *)malloc(3 * LONG_PATH * sizeof(wchar_t));
    if (paths == NULL) {
        if (out != INVALID_HANDLE_VALUE)
            CloseHandle(out);
        reportCreate(owner);
        return;
    }
    writeDiskFile(owner, out, outPath, result, len, paths);
    free(paths);
}
