// The least that any whole-file conversion does, to compare Pellmark with: read the file
// whole into a fresh buffer, fill a fresh buffer of the output's size from it with memcpy,
// and write that. usage: floor IN OUT OUTSIZE
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
    HANDLE out = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    if (out == INVALID_HANDLE_VALUE || !WriteFile(out, res, outSize, &put, NULL) || put != outSize) {
        fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    CloseHandle(out);
    free(res);
    free(buf);
    CloseHandle(in);
    return 0;
}
