// replaceStr and measureStr against plain left-to-right reference code, byte for byte.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <sys/mman.h>

#include "blocks.h"
#include "measure.h"
#include "replace.h"

namespace {

// What replaceStr must build: up to the first NUL, each oldS from left to right
// becomes newS and the scan resumes after it.
std::string reference(const std::string &src, const std::string &oldS, const std::string &newS)
{
    std::string text = src.substr(0, src.find('\0'));
    std::string out;
    size_t p = 0;
    while (p < text.size()) {
        if (text.compare(p, oldS.size(), oldS) == 0) {
            out += newS;
            p += oldS.size();
        } else {
            out += text[p++];
        }
    }
    return out;
}

const char *const kSeps[3] = {"\r\n", "\n", "\r"};

// A short string of non-NUL bytes taken from the input, 1 to 4 long.
std::string takeShort(const uint8_t *&data, size_t &size)
{
    std::string s;
    if (size == 0)
        return "x";
    size_t n = 1 + data[0] % 4;
    data++, size--;
    for (size_t i = 0; i < n && size > 0; i++, data++, size--)
        s += (char)(data[0] == 0 ? 'a' + i : data[0]);
    return s.empty() ? "x" : s;
}

// The walk that measuring stands for: at most maxLen characters, and a terminator among them.
HRESULT referenceMeasure(const char *s, uint32_t maxLen, uint32_t *len)
{
    for (uint32_t i = 0; i < maxLen; i++) {
        if (s[i] == '\0') {
            *len = i;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

// measureStr on the input placed so that its last byte lies right before an unmapped page:
// the block kernel may load only within the string's own aligned blocks. Every bound that
// stays inside the bytes is tried against the plain walk, under both kernel sets.
void checkMeasure(const uint8_t *data, size_t size)
{
    static char *region = NULL;
    const size_t room = 70000, page = 4096, span = (room + page - 1) / page * page;
    if (region == NULL) {
        region = (char *)mmap(NULL, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED || mprotect(region + span, page, PROT_NONE) != 0)
            abort();
    }
    if (size == 0 || size > room)
        return;
    char *s = region + span - size;
    memcpy(s, data, size);
    const uint32_t n = (uint32_t)size;
    for (uint32_t maxLen : {0u, 1u, n / 2, n - 1, n, (uint32_t)data[0] % (n + 1)}) {
        uint32_t want = 7, got = 7;
        HRESULT wantHr = referenceMeasure(s, maxLen, &want);
        for (int blocks = 1; blocks >= 0; blocks--) {
            setBlockKernels(blocks);
            if (measureStr(s, maxLen, &got) != wantHr || got != want)
                abort();
        }
    }
    // And characters of 2 and 4 bytes, wherever the bytes begin.
    for (uint32_t w : {2u, 4u}) {
        uint32_t chars = n / w, want = 0;
        while (want < chars && !occursAt(s + want * w, "\0\0\0\0", w))
            want++;
        for (int blocks = 1; blocks >= 0; blocks--) {
            setBlockKernels(blocks);
            if (charOps(w)->findNul(s, chars) != want)
                abort();
        }
    }
}

} // namespace

// The engine's reports have nowhere to go here.
void showReport(void *, const char *, const char *, int) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    uint8_t mode = data[0];
    data++, size--;
    std::string oldS, newS;
    if (mode < 9 * 16) {
        // Most inputs: one of the nine pairs of separators.
        oldS = kSeps[mode % 3];
        newS = kSeps[(mode / 3) % 3];
    } else {
        oldS = takeShort(data, size);
        newS = takeShort(data, size);
    }
    // An exact-size heap copy with its terminator, so that the sanitizer sees any look past it.
    char *src = (char *)malloc(size + 1);
    memcpy(src, data, size);
    src[size] = '\0';

    std::string want = reference(std::string(src, size), oldS, newS);
    // Both kernel sets: the block kernels, and the plain loops that run without SSE2.
    for (int blocks = 1; blocks >= 0; blocks--) {
        setBlockKernels(blocks);
        if (blockKernels() != blocks)
            abort();
        char *out = NULL;
        int res = replaceStr(src, oldS.c_str(), newS.c_str(), &out);
        if (want.empty()) {
            if (res != 0 || out != NULL)
                abort();
        } else {
            if (res != 1 || out == NULL || strlen(out) != want.size() || memcmp(out, want.data(), want.size()) != 0)
                abort();
        }
        free(out);
    }
    free(src);
    checkMeasure(data, size);
    return 0;
}
