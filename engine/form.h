// What a file's bytes hold: 8-bit text, or UTF-16 or UTF-32 marked by a byte order mark.
#ifndef PELLMARK_FORM_H
#define PELLMARK_FORM_H

#include <stdint.h>

enum TextForm {
    FormBytes = 0,  // ANSI, UTF-8 (with its mark or without), and anything unmarked
    FormUtf16Le,
    FormUtf16Be,
    FormUtf32Le,
    FormUtf32Be
};

// The form of the file whose bytes are buf[0..size): the one rule that conversion and
// detection share.
int textForm(const char *buf, uint32_t size);

// The bytes of one character of form.
uint32_t formWidth(int form);

// Writes the 8-bit character ch (CR or LF) as one character of form at out.
void formChar(int form, char ch, char *out);

#endif
