// The least that any whole-file conversion does that replaces its output as Pellmark does,
// to compare Pellmark with: read the file whole into a fresh buffer, fill a fresh buffer of
// the output's size from it with memcpy, write that to a new file beside the output, flush
// it to the disk, and put it in the output's place. usage: floor IN OUT OUTSIZE
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: floor IN OUT OUTSIZE\n");
        return 2;
    }
    DWORD outSize = (DWORD)strtoul(argv[3], NULL, 10);

    HANDLE in = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    DWORD size = GetFileSize(in, NULL), got = 0, put = 0;
    char *buf = (char *)malloc((size_t)size + 1);
    char *res = (char *)malloc((size_t)outSize + 1);
    if (in == INVALID_HANDLE_VALUE || buf == NULL || res == NULL || size == 0 || !ReadFile(in, buf, size, &got, NULL)) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    buf[size] = '\0';
    for (DWORD w = 0; w < outSize; w += size)
        memcpy(res + w, buf, outSize - w < size ? outSize - w : size);
    char tmp[MAX_PATH], bak[MAX_PATH];
    snprintf(tmp, sizeof(tmp), "%s.floor-tmp", argv[2]);
    snprintf(bak, sizeof(bak), "%s.floor-bak", argv[2]);
    HANDLE out = CreateFileA(tmp, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    if (out == INVALID_HANDLE_VALUE || !WriteFile(out, res, outSize, &put, NULL) || put != outSize ||
        !FlushFileBuffers(out)) {
        fprintf(stderr, "cannot write %s\n", tmp);
        return 1;
    }
    CloseHandle(out);
    BOOL placed = GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES
                      ? MoveFileA(tmp, argv[2])
                      : ReplaceFileA(argv[2], tmp, bak, REPLACEFILE_IGNORE_MERGE_ERRORS, NULL, NULL) && DeleteFileA(bak);
    if (!placed) {
        fprintf(stderr, "cannot replace %s\n", argv[2]);
        return 1;
    }
    free(res);
    free(buf);
    CloseHandle(in);
    return 0;
}
