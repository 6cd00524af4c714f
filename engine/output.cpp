#include <string.h>

#include "output.h"
#include "report.h"

// "~Pellmark-" and eight hex digits, then ".tmp" or ".bak".
#define SIDE_NAME_CHARS 22

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
static HANDLE makeTemp(const wchar_t *outPath, DWORD attrs, wchar_t *tmp, wchar_t *bak)
{
    wchar_t *name = NULL;
    DWORD n = GetFullPathNameW(outPath, MAX_PATH, tmp, &name);
    if (n == 0 || n >= MAX_PATH || name == NULL || (name - tmp) + SIDE_NAME_CHARS >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    size_t dirLen = (size_t)(name - tmp);
    memcpy(bak, tmp, dirLen * sizeof(wchar_t));
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
// then: without a backup, ReplaceFileW may have removed it by the time it fails. Nonzero
// when the new output is in place; otherwise the old one is where it was.
static int replaceOld(const wchar_t *outPath, const wchar_t *tmp, const wchar_t *bak)
{
    if (ReplaceFileW(outPath, tmp, bak, REPLACEFILE_IGNORE_MERGE_ERRORS, NULL, NULL)) {
        DeleteFileW(bak);
        return 1;
    }
    // The old output went to the backup, but the new one could not follow it there.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileW(bak, outPath);
    return 0;
}

void writeOutput(HWND owner, const wchar_t *outPath, const char *result, uint32_t len)
{
    // Opening the output for writing refuses what writing it in place would: a read-only
    // file, a folder, a file that another program keeps from writers, and the input itself
    // under any of its names (it is open, shared for reading only). It changes nothing.
    HANDLE out = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_ARCHIVE, NULL);
    int exists = out != INVALID_HANDLE_VALUE;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        reportCreate(owner);
        return;
    }
    if (exists && GetFileType(out) != FILE_TYPE_DISK) {
        // A device or a pipe takes the result as it comes; there is nothing to replace.
        if (writeAll(out, result, len))
            reportSuccess();
        else
            reportWrite(owner);
        CloseHandle(out);
        return;
    }

    // A new text is one to back up (archive); the old output's hidden and system marks stay.
    DWORD attrs = FILE_ATTRIBUTE_ARCHIVE;
    if (exists) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(out, &info))
            attrs |= info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        CloseHandle(out);
    }
    wchar_t tmp[MAX_PATH], bak[MAX_PATH];
    HANDLE h = makeTemp(outPath, attrs, tmp, bak);
    if (h == INVALID_HANDLE_VALUE) {
        reportCreate(owner);
        return;
    }
    int wrote = writeAll(h, result, len);
    if (!CloseHandle(h) || !wrote) {
        DeleteFileW(tmp);
        reportWrite(owner);
        return;
    }
    if (!(exists ? replaceOld(outPath, tmp, bak) : MoveFileW(tmp, outPath))) {
        DeleteFileW(tmp);
        reportCreate(owner);
        return;
    }

    // As a file written in place would be: open, shared for reading only, while the user
    // reads the outcome.
    out = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    reportSuccess();
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
}
