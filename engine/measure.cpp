#include <stddef.h>

#include "blocks.h"
#include "measure.h"

// Looks at no more than maxLen characters; a missing terminator there is a failure.
static HRESULT measureWorker(const char *str, uint32_t maxLen, uint32_t *len)
{
    uint32_t n = charOps(1)->findNul(str, maxLen);
    if (n == maxLen)
        return E_INVALIDARG;
    *len = n;
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
