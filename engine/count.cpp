#include "format.h"

void countSeps(const char *buf, uint32_t size, uint32_t *crlf, uint32_t *lf, uint32_t *cr)
{
    uint32_t nCrlf = 0, nLf = 0, nCr = 0;
    for (uint32_t i = 0; i < size; i++) {
        char c = buf[i];
        char n = (i + 1 < size) ? buf[i + 1] : '\0';
        if (c == '\r' && n == '\n')
            nCrlf++;
        if (c != '\r' && n == '\n')
            nLf++;
        if (c == '\r' && n != '\n')
            nCr++;
    }
    *crlf = nCrlf;
    *lf = nLf;
    *cr = nCr;
}

// 10 x count > 9 x total in 64 bits: the nine-tenths test without rounding or overflow.
static int dominates(uint32_t count, uint64_t total)
{
    return (uint64_t)count * 10 > total * 9;
}

FileFormat pickFormat(uint32_t crlf, uint32_t lf, uint32_t cr)
{
    uint64_t total = (uint64_t)crlf + lf + cr;
    if (total == 0)
        return FileFormat::Unknown;
    if (dominates(crlf, total))
        return FileFormat::Windows;
    if (dominates(lf, total))
        return FileFormat::Unix;
    if (dominates(cr, total))
        return FileFormat::Mac;
    return FileFormat::Unknown;
}
