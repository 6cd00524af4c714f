#include <string.h>

#include "measure.h"

// Looks at no more than maxLen characters; a missing terminator there is a failure.
// memchr stops at the first NUL, as the character-by-character walk it stands for would.
static HRESULT measureWorker(const char *str, uint32_t maxLen, uint32_t *len)
{
    const char *nul = (const char *)memchr(str, '\0', maxLen);
    if (nul == NULL)
        return E_INVALIDARG;
    *len = (uint32_t)(nul - str);
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
