// Names as the programs show them: UTF-8 checked, the terminal's locale asked, control bytes made
// harmless. The conversions from the disks' encodings are the library's (diskimage/names.h).
#ifndef COMMON_CONSOLE_SHIFT_JIS_NAMES_H_
#define COMMON_CONSOLE_SHIFT_JIS_NAMES_H_

#include <cstddef>

#include "diskimage/names.h"

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

#endif  // COMMON_CONSOLE_SHIFT_JIS_NAMES_H_
