// diskimage: names as disks store them, converted to UTF-8 for showing and for file names:
// Shift-JIS (code page 932, as the Japanese systems' directories hold it) with the system's own
// converter, and FAT's VFAT long names from UTF-16.
#ifndef DISKIMAGE_NAMES_H_
#define DISKIMAGE_NAMES_H_

#include <cstddef>
#include <cstdint>

#include "diskimage/sector_source.h"

namespace diskimage {

// True for the first byte of a double-byte character in code page 932 (0x81-0x9F, 0xE0-0xFC).
DISKIMAGE_API bool IsShiftJisLeadByte(unsigned char byte);

// Converts the NUL-terminated Shift-JIS string `sjis` to UTF-8 in `utf8` (`size` bytes, at
// least 1; 3 per input byte and a NUL always fit, a longer result is cut at a character). A byte
// that does not form a character is written as "%XX", its value in upper-case hexadecimal. Sets
// `columns` to the display width: 2 for a double-byte (full-width) character, 1 for a single
// byte, 3 for an escape. Returns the number of escaped bytes, or -1 when a byte outside ASCII
// needs converting and the system cannot convert from code page 932. Not thread-safe on POSIX
// systems (one converter, opened on first use).
DISKIMAGE_API int ShiftJisToUtf8(const char* sjis, char* utf8, size_t size, int& columns);

// Converts the NUL-terminated UTF-8 text `utf8` to Shift-JIS (code page 932) into `sjis` (`size`
// bytes, NUL-terminated), with the system's own converter; each character must convert back to
// itself (no look-alike stands in). Returns the length, or -1 when the text is not UTF-8, holds a
// character code page 932 has no code for, does not fit, or no converter exists.
DISKIMAGE_API int Utf8ToShiftJis(const char* utf8, char* sjis, size_t size);

// True when `a` and `b` are the same string but for the case of ASCII letters.
DISKIMAGE_API bool SameIgnoringAsciiCase(const char* a, const char* b);

// Converts `count` UTF-16 units (a DirectoryEntry's long_name) to NUL-terminated UTF-8 in `utf8`
// (`size` bytes, 4 per unit and a NUL always fit; a longer result is cut at a character). Half
// of a surrogate pair becomes U+FFFD. Returns the UTF-8 length. Nothing is escaped: a caller that
// makes file names of it must still make them safe.
DISKIMAGE_API size_t Utf16ToUtf8(const uint16_t* units, int count, char* utf8, size_t size);

}  // namespace diskimage

#endif  // DISKIMAGE_NAMES_H_
