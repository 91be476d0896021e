// File names taken from a disk directory, made safe to create in the current directory: they can
// name neither another directory nor, on Windows, a device.
#ifndef COMMON_WRITING_SAFE_FILE_NAME_H_
#define COMMON_WRITING_SAFE_FILE_NAME_H_

#include <cstddef>

#ifdef _WIN32
constexpr bool kWindowsFileNames = true;
#else
constexpr bool kWindowsFileNames = false;
#endif

// Whether the system's file names compare without regard to the case of ASCII letters, as on
// Windows and macOS, so that README.TXT and readme.txt are one file.
#if defined(_WIN32) || defined(__APPLE__)
constexpr bool kFoldedFileNames = true;
#else
constexpr bool kFoldedFileNames = false;
#endif

// Room for any listed name (at most 16 bytes, or 48 in UTF-8) made safe.
constexpr size_t kSafeFileNameSize = 52;

// Copies `listed` into `safe` (`safe_size` bytes, at least 3), changed only as far as needed:
// '/' becomes '_'; "", "." and ".." become "_", "_" and "__". With `windows` the characters that
// Windows refuses (\ : * ? " < > | and control bytes) become '_' too, except, with `shift_jis`,
// as the second byte of a double-byte Shift-JIS character, and a device name such as CON or
// LPT1.TXT gets a '_' in front. A name too long for `safe` is cut. Returns true when the name
// was changed.
bool MakeSafeFileName(const char* listed, char* safe, size_t safe_size,
                      bool windows = kWindowsFileNames, bool shift_jis = true);

#endif  // COMMON_WRITING_SAFE_FILE_NAME_H_
