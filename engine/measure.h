// Bounded measuring of NUL-terminated 8-bit strings.
#ifndef PELLMARK_MEASURE_H
#define PELLMARK_MEASURE_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#else
typedef int32_t HRESULT;
#define S_OK ((HRESULT)0)
#define E_INVALIDARG ((HRESULT)0x80070057)
#endif

// The largest bound any caller may pass.
#define MAX_MEASURE 0x7fffffffu

HRESULT measureStr(const char *str, uint32_t maxLen, uint32_t *outLen);

#endif
