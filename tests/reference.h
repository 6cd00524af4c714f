// What converting and counting a file's text must give, worked out the plain way: the bytes
// decoded into characters by their mark, each looked at in turn, and encoded back. The
// tests and the fuzz targets hold the engine to it.
#ifndef PELLMARK_REFERENCE_H
#define PELLMARK_REFERENCE_H

#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

struct RefForm {
    size_t width;  // bytes a character: 1 for every text without a UTF-16 or UTF-32 mark
    bool big;      // big-endian
};

inline RefForm refForm(const std::string &b)
{
    static const std::string marks[] = {std::string("\xFF\xFE\0\0", 4), std::string("\0\0\xFE\xFF", 4), "\xFF\xFE", "\xFE\xFF"};
    for (const std::string &mark : marks) {
        if (b.compare(0, mark.size(), mark) == 0)
            return {mark.size(), b[0] != '\xFF'};
    }
    return {1, false};
}

// The whole characters of b; *tail gets the bytes after them.
inline std::vector<uint32_t> refChars(const std::string &b, RefForm f, std::string *tail)
{
    std::vector<uint32_t> chars(b.size() / f.width);
    for (size_t i = 0; i < chars.size() * f.width; i++)
        chars[i / f.width] |= (uint32_t)(unsigned char)b[i] << 8 * (f.big ? f.width - 1 - i % f.width : i % f.width);
    *tail = b.substr(chars.size() * f.width);
    return chars;
}

inline std::string refBytes(const std::vector<uint32_t> &chars, RefForm f)
{
    std::string b;
    for (size_t i = 0; i < chars.size() * f.width; i++)
        b += (char)(chars[i / f.width] >> 8 * (f.big ? f.width - 1 - i % f.width : i % f.width));
    return b;
}

// The file with each inSep replaced by outSep, left to right, in its characters; the bytes
// after the last whole character follow. 1 when made; 0 for an empty text, of which nothing
// is made; 2, nothing made, when a NUL character among them would end the text early.
inline int refConvert(const std::string &file, const std::string &inSep, const std::string &outSep, std::string *out)
{
    RefForm f = refForm(file);
    std::string tail;
    std::vector<uint32_t> chars = refChars(file, f, &tail), result;
    if (std::find(chars.begin(), chars.end(), 0u) != chars.end())
        return 2;
    std::vector<uint32_t> oldS(inSep.begin(), inSep.end()), newS(outSep.begin(), outSep.end());
    for (size_t p = 0; p < chars.size();) {
        bool at = chars.size() - p >= oldS.size() && std::equal(oldS.begin(), oldS.end(), chars.begin() + p);
        result.insert(result.end(), at ? newS.begin() : chars.begin() + p, at ? newS.end() : chars.begin() + p + 1);
        p += at ? oldS.size() : 1;
    }
    *out = refBytes(result, f) + tail;
    return !chars.empty();
}

// CR LF pairs, LFs after any other character and CRs before any other, over every whole
// character; after the last comes a NUL.
inline void refCount(const std::string &file, uint32_t *crlf, uint32_t *lf, uint32_t *cr)
{
    std::string tail;
    std::vector<uint32_t> chars = refChars(file, refForm(file), &tail);
    *crlf = *lf = *cr = 0;
    for (size_t i = 0; i < chars.size(); i++) {
        uint32_t next = i + 1 < chars.size() ? chars[i + 1] : 0;
        *crlf += chars[i] == '\r' && next == '\n';
        *lf += chars[i] != '\r' && next == '\n';
        *cr += chars[i] == '\r' && next != '\n';
    }
}

#endif
