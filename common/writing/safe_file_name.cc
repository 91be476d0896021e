// Safe file names for extracted files.
#include "common/writing/safe_file_name.h"

#include <cstring>

#include "common/console/shift_jis_names.h"

namespace {

bool RefusedByWindows(unsigned char byte) {
  return byte < 0x20 || strchr("\\:*?\"<>|", byte) != nullptr;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows opens a device for these names whatever extension follows, and ignores spaces before
// the extension.
bool IsWindowsDeviceName(const char* name) {
  size_t base = strcspn(name, ".");
  while (base > 0 && name[base - 1] == ' ') --base;
  char upper[5] = {};
  if (base < 3 || base > 4) return false;
  for (size_t i = 0; i < base; ++i) upper[i] = UpperAscii(name[i]);
  if (base == 3) {
    return strcmp(upper, "CON") == 0 || strcmp(upper, "PRN") == 0 || strcmp(upper, "AUX") == 0 ||
           strcmp(upper, "NUL") == 0;
  }
  return (strncmp(upper, "COM", 3) == 0 || strncmp(upper, "LPT", 3) == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

bool MakeSafeFileName(const char* listed, char* safe, size_t safe_size, bool windows,
                      bool shift_jis) {
  size_t out = 0;
  if (windows && IsWindowsDeviceName(listed)) safe[out++] = '_';
  bool trail_byte = false;
  for (const char* in = listed; *in != '\0' && out + 1 < safe_size; ++in) {
    const unsigned char byte = static_cast<unsigned char>(*in);
    const bool refused = byte == '/' || (windows && !trail_byte && RefusedByWindows(byte));
    safe[out++] = refused ? '_' : *in;
    trail_byte = shift_jis && !trail_byte && diskimage::IsShiftJisLeadByte(byte);
  }
  safe[out] = '\0';
  if (strcmp(safe, "") == 0 || strcmp(safe, ".") == 0) {
    strcpy(safe, "_");
  } else if (strcmp(safe, "..") == 0) {
    strcpy(safe, "__");
  }
  return strcmp(safe, listed) != 0;
}
