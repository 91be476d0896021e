// Names from a disk directory, which hold Shift-JIS (code page 932) bytes: converted to UTF-8
// with the system's own converter, measured in display columns, and made harmless to show.
#ifndef EXTRACTION_SHIFT_JIS_NAMES_H_
#define EXTRACTION_SHIFT_JIS_NAMES_H_

#include <cstddef>

// True for the first byte of a double-byte character in code page 932 (0x81-0x9F, 0xE0-0xFC).
bool IsShiftJisLeadByte(unsigned char byte);

// Converts the Shift-JIS string `sjis` to UTF-8 in `utf8` (`size` bytes; 3 per input byte and a
// NUL always fit, a longer result is cut at a character). A byte that does not form a character
// is written as "%XX", its value in upper-case hexadecimal. Sets `columns` to the display width:
// 2 for a double-byte (full-width) character, 1 for a single byte, 3 for an escape. Returns the
// number of escaped bytes, or -1 when the system cannot convert from code page 932.
int ShiftJisToUtf8(const char* sjis, char* utf8, size_t size, int& columns);

// The length (1 to 4) of the well-formed UTF-8 character at `bytes` (NUL-terminated), or 0 when
// none begins there: an overlong form, a surrogate, a code point past U+10FFFF, a cut sequence.
int Utf8SequenceLength(const unsigned char* bytes);

// True when all of `text` is well-formed UTF-8.
bool IsUtf8(const char* text);

// True when the terminal's locale (LC_ALL, LC_CTYPE, LANG) shows UTF-8; false on Windows.
bool LocaleIsUtf8();

// Copies `name` into `shown` (`size` bytes, cut if need be) with every control byte (0x01-0x1F,
// 0x7F) replaced by '?', as a terminal listing shows it.
void ReplaceControlBytes(const char* name, char* shown, size_t size);

#endif  // EXTRACTION_SHIFT_JIS_NAMES_H_
