// Shift-JIS names: iconv on POSIX systems, MultiByteToWideChar on Windows, TextDecoder in a
// browser.
#include "extraction/shift_jis_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten.h>
#else
#include <iconv.h>
#endif

namespace {

#ifdef __EMSCRIPTEN__
// In a browser the converter is the page's own: TextDecoder's shift_jis is code page 932.
EM_JS(int, ConvertInBrowser, (const char* from, int length, char* to), {
  try {
    const decoder = new TextDecoder('shift_jis', {fatal : true});
    const text = decoder.decode(HEAPU8.slice(from, from + length));
    const bytes = new TextEncoder().encode(text);
    if (bytes.length > 4) return 0;
    HEAPU8.set(bytes, to);
    return bytes.length;
  } catch (e) {
    return 0;
  }
});
#elif !defined(_WIN32)
// Opened on first use; the programs are single-threaded.
iconv_t converter = reinterpret_cast<iconv_t>(-1);
bool converter_opened = false;
#endif

// Converts one Shift-JIS character of `length` bytes to UTF-8 at `out` (room for 4 bytes).
// Returns the UTF-8 length, 0 when the bytes are not a character, -1 when no converter exists.
int ConvertCharacter(const char* in, size_t length, char* out) {
#ifdef _WIN32
  wchar_t wide[2];
  const int units =
      MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in, static_cast<int>(length), wide, 2);
  if (units <= 0) return 0;
  return WideCharToMultiByte(CP_UTF8, 0, wide, units, out, 4, nullptr, nullptr);
#elif defined(__EMSCRIPTEN__)
  return ConvertInBrowser(in, static_cast<int>(length), out);
#else
  if (!converter_opened) {
    converter = iconv_open("UTF-8", "CP932");
    converter_opened = true;
  }
  if (converter == reinterpret_cast<iconv_t>(-1)) return -1;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* from = const_cast<char*>(in);
  size_t from_left = length;
  char* to = out;
  size_t to_left = 4;
  if (iconv(converter, &from, &from_left, &to, &to_left) == static_cast<size_t>(-1) ||
      from_left != 0) {
    return 0;
  }
  return static_cast<int>(4 - to_left);
#endif
}

}  // namespace

bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int ShiftJisToUtf8(const char* sjis, char* utf8, size_t size, int& columns) {
  size_t out = 0;
  int escaped = 0;
  columns = 0;
  for (size_t in = 0; sjis[in] != '\0';) {
    const size_t length =
        IsShiftJisLeadByte(static_cast<unsigned char>(sjis[in])) && sjis[in + 1] != '\0' ? 2 : 1;
    char character[5];
    int converted = ConvertCharacter(sjis + in, length, character);
    if (converted < 0) return -1;
    size_t used = length;
    const bool escape = converted == 0;
    if (escape) {  // not a character: the first byte alone is escaped
      snprintf(character, sizeof character, "%%%02X", static_cast<unsigned char>(sjis[in]));
      converted = 3;
      used = 1;
    }
    if (out + static_cast<size_t>(converted) + 1 > size) break;
    memcpy(utf8 + out, character, static_cast<size_t>(converted));
    out += static_cast<size_t>(converted);
    columns += escape ? 3 : static_cast<int>(used);
    escaped += escape ? 1 : 0;
    in += used;
  }
  utf8[out] = '\0';
  return escaped;
}

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
