#include "blocks.h"
#include "measure.h"

#ifdef PELLMARK_BLOCKS
// 16 bytes at a time from aligned blocks: an aligned load never crosses into another page,
// so the bytes it reads before the string or past its terminator or bound lie in a page the
// string itself occupies; they are masked off or judged against the bound, never counted.
// AddressSanitizer would call those loads out of bounds; the fuzz target holds this kernel
// to the plain walk on strings that end right before an unmapped page instead.
// Returns the index of the first NUL, or maxLen or more when there is none before maxLen.
BLOCK_KERNEL __attribute__((no_sanitize_address)) static uint32_t findNulBlocks(const char *str, uint32_t maxLen)
{
    const __m128i zero = _mm_setzero_si128();
    uint32_t skip = (uint32_t)((uintptr_t)str & 15);
    const __m128i *blk = (const __m128i *)(str - skip);
    unsigned hits = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(blk), zero)) >> skip;
    if (hits != 0)
        return (uint32_t)__builtin_ctz(hits);
    uint32_t seen = 16 - skip;
    while (seen < maxLen) {
        hits = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(++blk), zero));
        if (hits != 0)
            return seen + (uint32_t)__builtin_ctz(hits);
        seen += 16;
    }
    return maxLen;
}
#endif

// Looks at no more than maxLen characters; a missing terminator there is a failure.
static HRESULT measureWorker(const char *str, uint32_t maxLen, uint32_t *len)
{
    uint32_t remaining = maxLen;
#ifdef PELLMARK_BLOCKS
    // A bound of 0 reads nothing at all, not even the block the string starts in.
    if (maxLen != 0 && blockKernels()) {
        uint32_t n = findNulBlocks(str, maxLen);
        remaining = n < maxLen ? maxLen - n : 0;
    } else
#endif
    {
        while (remaining != 0 && str[maxLen - remaining] != '\0')
            remaining--;
    }
    if (remaining == 0)
        return E_INVALIDARG;
    *len = maxLen - remaining;
    return S_OK;
}

HRESULT measureStr(const char *str, uint32_t maxLen, uint32_t *outLen)
{
    if (str == NULL || maxLen > MAX_MEASURE)
        return E_INVALIDARG;
    uint32_t len = 0;
    HRESULT hr = measureWorker(str, maxLen, &len);
    // The caller's variable keeps its old value unless measuring succeeded.
    if (hr >= 0 && outLen != NULL)
        *outLen = len;
    return hr;
}
