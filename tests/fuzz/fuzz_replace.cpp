// replaceStr against the plain left-to-right replacement, byte for byte.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

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
    free(src);
    return 0;
}
