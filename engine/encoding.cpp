#include <string.h>

#include "blocks.h"
#include "encoding.h"

// UTF-32 LE's mark begins as UTF-16 LE's does, so it is asked for first.
static const struct {
    const char *mark;
    uint32_t len;
    int enc;
} marks[] = {
    {"\xFF\xFE\0\0", 4, EncUtf32Le},
    {"\0\0\xFE\xFF", 4, EncUtf32Be},
    {"\xFF\xFE", 2, EncUtf16Le},
    {"\xFE\xFF", 2, EncUtf16Be},
};

int textEncoding(const char *buf, uint32_t size)
{
    for (const auto &m : marks) {
        if (size >= m.len && occursAt(buf, m.mark, m.len))
            return m.enc;
    }
    return EncBytes;
}

uint32_t encodingWidth(int enc)
{
    return enc == EncUtf32Le || enc == EncUtf32Be ? 4 : enc == EncBytes ? 1 : 2;
}

void encodeChar(int enc, char ch, char *out)
{
    uint32_t width = encodingWidth(enc);
    memset(out, 0, width);
    out[enc == EncUtf16Be || enc == EncUtf32Be ? width - 1 : 0] = ch;
}
