#include <string.h>

#include "blocks.h"
#include "form.h"

// UTF-32 LE's mark begins as UTF-16 LE's does, so it is asked for first.
static const struct {
    const char *mark;
    uint32_t len;
    int form;
} marks[] = {
    {"\xFF\xFE\0\0", 4, FormUtf32Le},
    {"\0\0\xFE\xFF", 4, FormUtf32Be},
    {"\xFF\xFE", 2, FormUtf16Le},
    {"\xFE\xFF", 2, FormUtf16Be},
};

int textForm(const char *buf, uint32_t size)
{
    for (const auto &m : marks) {
        if (size >= m.len && occursAt(buf, m.mark, m.len))
            return m.form;
    }
    return FormBytes;
}

uint32_t formWidth(int form)
{
    return form == FormUtf32Le || form == FormUtf32Be ? 4 : form == FormBytes ? 1 : 2;
}

void formChar(int form, char ch, char *out)
{
    uint32_t w = formWidth(form);
    memset(out, 0, w);
    out[form == FormUtf16Be || form == FormUtf32Be ? w - 1 : 0] = ch;
}
