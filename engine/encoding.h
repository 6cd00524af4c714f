// A text's encoding, told by its byte order mark: 8-bit text, or UTF-16 or UTF-32. (Its
// line-ending convention, its FileFormat, is format.h's.)
#ifndef PELLMARK_ENCODING_H
#define PELLMARK_ENCODING_H

#include <stdint.h>

enum TextEncoding {
    EncBytes = 0,  // ANSI, UTF-8 (with its mark or without), and anything unmarked
    EncUtf16Le,
    EncUtf16Be,
    EncUtf32Le,
    EncUtf32Be
};

// The encoding of the file whose bytes are buf[0..size): the one rule that conversion and
// detection share.
int textEncoding(const char *buf, uint32_t size);

// The bytes of one character in enc.
uint32_t encodingWidth(int enc);

// Writes the 8-bit character ch (CR or LF) as one character in enc at out.
void encodeChar(int enc, char ch, char *out);

#endif
