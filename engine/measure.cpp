#include <stddef.h>

#include "measure.h"

// Walks at most maxLen characters; reports a missing terminator as failure.
static HRESULT measureWorker(const char *str, uint32_t maxLen, uint32_t *len)
{
    uint32_t remaining = maxLen;
    while (remaining != 0 && *str != '\0') {
        str++;
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
