#include "blocks.h"
#include "encoding.h"
#include "format.h"

void countSeps(const char *buf, uint32_t size, uint32_t *crlf, uint32_t *lf, uint32_t *cr)
{
    int enc = textEncoding(buf, size);
    const CharOps *ops = charOps(encodingWidth(enc));
    char crChar[4], lfChar[4];
    encodeChar(enc, '\r', crChar);
    encodeChar(enc, '\n', lfChar);
    // CRs, LFs after something and CR LF pairs: the three kinds follow from these.
    uint32_t nCr = 0, nLf = 0, nPair = 0;
    ops->countPairParts(buf, size / ops->width, crChar, lfChar, &nCr, &nLf, &nPair);
    *crlf = nPair;
    *lf = nLf - nPair;
    *cr = nCr - nPair;
}

// 10 x count > 9 x total in 64 bits: the nine-tenths test without rounding or overflow.
static int dominates(uint32_t count, uint64_t total)
{
    return (uint64_t)count * 10 > total * 9;
}

FileFormat pickFormat(uint32_t crlf, uint32_t lf, uint32_t cr)
{
    // With no separators at all, nothing dominates: Unknown.
    uint64_t total = (uint64_t)crlf + lf + cr;
    if (dominates(crlf, total))
        return FileFormat::Windows;
    if (dominates(lf, total))
        return FileFormat::Unix;
    if (dominates(cr, total))
        return FileFormat::Mac;
    return FileFormat::Unknown;
}
