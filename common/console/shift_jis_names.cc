// UTF-8 checks, the terminal's locale and names made harmless to show.
#include "common/console/shift_jis_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

int Utf8SequenceLength(const unsigned char* p) {
  const unsigned char b = p[0];
  int length = 0;
  if (b < 0x80) {
    length = 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
  }
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;  // a NUL ends the sequence here too
  }
  if (length == 3 && ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] >= 0xA0))) return 0;
  if (length == 4 && ((b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] >= 0x90))) return 0;
  return length;
}

bool IsUtf8(const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0;) {
    const int length = Utf8SequenceLength(p);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

bool LocaleIsUtf8() {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
  return false;
#else
  // The first of LC_ALL, LC_CTYPE and LANG that is set decides, as setlocale(LC_CTYPE, "") would.
  const char* locale = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  }
  if (locale == nullptr) return false;
  const char* codeset = strchr(locale, '.');
  return codeset != nullptr &&
         (strncasecmp(codeset + 1, "UTF-8", 5) == 0 || strncasecmp(codeset + 1, "utf8", 4) == 0);
#endif
}

void ReplaceControlBytes(const char* name, char* shown, size_t size) {
  size_t out = 0;
  for (; name[out] != '\0' && out + 1 < size; ++out) {
    const unsigned char byte = static_cast<unsigned char>(name[out]);
    shown[out] = (byte < 0x20 || byte == 0x7F) ? '?' : name[out];
  }
  shown[out] = '\0';
}
