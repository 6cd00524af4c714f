// Whole files converted in their own characters, every form of text, against the plain
// reference, byte for byte.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "blocks.h"
#include "reference.h"
#include "replace.h"

// The engine's reports have nowhere to go here.
void showReport(void *, const char *, const char *, int) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the mark put before the rest and the pair of separators.
    static const std::string marks[] = {"", "\xFF\xFE", "\xFE\xFF", std::string("\xFF\xFE\0\0", 4),
                                        std::string("\0\0\xFE\xFF", 4)};
    static const char *const seps[] = {"\r\n", "\n", "\r"};
    const char *inSep = seps[data[0] / 5 % 3], *outSep = seps[data[0] / 15 % 3];
    std::string file = marks[data[0] % 5] + std::string((const char *)data + 1, size - 1);
    // An exact-size heap copy with a NUL byte after it, as a file is read, so that the
    // sanitizer sees any look past it.
    char *buf = (char *)malloc(file.size() + 1);
    memcpy(buf, file.data(), file.size());
    buf[file.size()] = '\0';

    std::string want;
    int made = refConvert(file, inSep, outSep, &want);
    // Both kernel sets: the block kernels, and the plain loops that run without SSE2.
    for (int blocks = 1; blocks >= 0; blocks--) {
        setBlockKernels(blocks);
        if (blockKernels() != blocks)
            abort();
        char *out = NULL;
        uint32_t len = 0;
        if (convertText(buf, (uint32_t)file.size(), inSep, outSep, &out, &len) != made)
            abort();
        if (made == 1 && (len != want.size() || memcmp(out, want.data(), len) != 0))
            abort();
        free(out);
    }
    free(buf);
    return 0;
}
