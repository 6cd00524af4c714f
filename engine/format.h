// Line-ending conventions (FileFormat) and their separators; encodings are encoding.h's.
#ifndef PELLMARK_FORMAT_H
#define PELLMARK_FORMAT_H

#include <stdint.h>

// Scoped: windows.h already has a plain Unknown.
enum class FileFormat {
    Unknown = 0,
    Windows = 1,
    Unix = 2,
    Mac = 3
};

#define SEP_WINDOWS "\r\n"
#define SEP_UNIX "\n"
#define SEP_MAC "\r"

// Counts CR LF pairs, LFs after a character other than CR and CRs without an LF after them
// in the file buf[0..size), in its own characters (encoding.h); the character after the last
// one counts as NUL. An LF at index 0 follows no character and is not counted.
void countSeps(const char *buf, uint32_t size, uint32_t *crlf, uint32_t *lf, uint32_t *cr);

// The convention that makes up more than nine tenths of all separators, or Unknown.
FileFormat pickFormat(uint32_t crlf, uint32_t lf, uint32_t cr);

// Reads the file at path (UTF-16) and tells its convention; Unknown on any failure.
// Shows nothing.
FileFormat detectFormat(const wchar_t *path);

#endif
