// The block-wise separator counting, in the text's own characters, and the answer against
// plain per-character code.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "blocks.h"
#include "format.h"
#include "reference.h"

namespace {

// The nine-tenths test as shares in floating point, taking the first that holds.
FileFormat referenceAnswer(uint32_t crlf, uint32_t lf, uint32_t cr)
{
    double total = (double)((int32_t)crlf + (int32_t)lf + (int32_t)cr);
    if ((int32_t)crlf / total > 0.9)
        return FileFormat::Windows;
    if ((int32_t)lf / total > 0.9)
        return FileFormat::Unix;
    if ((int32_t)cr / total > 0.9)
        return FileFormat::Mac;
    return FileFormat::Unknown;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the bytes, nothing after them: the counting must not read past the size.
    char *buf = (char *)malloc(size ? size : 1);
    memcpy(buf, data, size);
    uint32_t crlf, lf, cr, wantCrlf, wantLf, wantCr;
    refCount(std::string(buf, size), &wantCrlf, &wantLf, &wantCr);
    // Both kernel sets: the block kernels, and the plain loops that run without SSE2.
    for (int blocks = 1; blocks >= 0; blocks--) {
        setBlockKernels(blocks);
        if (blockKernels() != blocks)
            abort();
        countSeps(buf, (uint32_t)size, &crlf, &lf, &cr);
        if (crlf != wantCrlf || lf != wantLf || cr != wantCr)
            abort();
    }
    if (pickFormat(crlf, lf, cr) != referenceAnswer(crlf, lf, cr))
        abort();
    free(buf);
    return 0;
}
