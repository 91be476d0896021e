// Names as disks store them, converted to UTF-8: Shift-JIS with the system's own converter
// (iconv on POSIX systems, MultiByteToWideChar on Windows, TextDecoder in a browser), and VFAT
// long names from UTF-16.
#include "diskimage/names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
// The other way, from a table of every code's character, made by the page's decoder on first use.
EM_JS(int, EncodeInBrowser, (const char* from, int length, char* to), {
  if (!globalThis.diskimageShiftJisCodes) {
    const codes = new Map();
    const decoder = new TextDecoder('shift_jis', {fatal : true});
    const take = function(bytes) {
      try {
        const text = decoder.decode(new Uint8Array(bytes));
        if (!codes.has(text)) codes.set(text, bytes);
      } catch (e) {
      }
    };
    for (let b = 0xA1; b <= 0xDF; ++b) take([b]);
    for (let lead = 0x81; lead <= 0xFC; ++lead) {
      if (lead >= 0xA0 && lead < 0xE0) continue;
      for (let trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail != 0x7F) take([ lead, trail ]);
      }
    }
    globalThis.diskimageShiftJisCodes = codes;
  }
  const text = new TextDecoder().decode(HEAPU8.slice(from, from + length));
  const bytes = globalThis.diskimageShiftJisCodes.get(text);
  if (!bytes) return 0;
  HEAPU8.set(bytes, to);
  return bytes.length;
});
#elif !defined(_WIN32)
// One direction of conversion, opened on a thread's first use and closed when it ends.
struct Converter {
  ~Converter() {
    if (opened && handle != reinterpret_cast<iconv_t>(-1)) iconv_close(handle);
  }
  const char* to;
  const char* from;
  iconv_t handle;
  bool opened;
};
thread_local Converter to_utf8 = {"UTF-8", "CP932", reinterpret_cast<iconv_t>(-1), false};
thread_local Converter to_shift_jis = {"CP932", "UTF-8", reinterpret_cast<iconv_t>(-1), false};

// Converts the one character of `length` bytes at `in` into at most `room` bytes at `out`.
// Returns their length, 0 when the bytes are no character the other side has, -1 when the
// system has no such converter.
int ConvertOne(Converter& converter, const char* in, size_t length, char* out, size_t room) {
  if (!converter.opened) {
    converter.handle = iconv_open(converter.to, converter.from);
    converter.opened = true;
  }
  if (converter.handle == reinterpret_cast<iconv_t>(-1)) return -1;
  iconv(converter.handle, nullptr, nullptr, nullptr, nullptr);
  char* from = const_cast<char*>(in);
  size_t from_left = length;
  char* to = out;
  size_t to_left = room;
  if (iconv(converter.handle, &from, &from_left, &to, &to_left) == static_cast<size_t>(-1) ||
      from_left != 0) {
    return 0;
  }
  return static_cast<int>(room - to_left);
}
#endif

// Converts one Shift-JIS character of `length` bytes to UTF-8 at `out` (room for 4 bytes).
// Returns the UTF-8 length, 0 when the bytes are not a character, -1 when no converter exists.
int ConvertCharacter(const char* in, size_t length, char* out) {
  // Code page 932's single bytes below 80h are ASCII on every converter used here.
  if (length == 1 && static_cast<unsigned char>(in[0]) < 0x80) {
    out[0] = in[0];
    return 1;
  }
#ifdef _WIN32
  wchar_t wide[2];
  const int units =
      MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in, static_cast<int>(length), wide, 2);
  if (units <= 0) return 0;
  return WideCharToMultiByte(CP_UTF8, 0, wide, units, out, 4, nullptr, nullptr);
#elif defined(__EMSCRIPTEN__)
  return ConvertInBrowser(in, static_cast<int>(length), out);
#else
  return ConvertOne(to_utf8, in, length, out, 4);
#endif
}

// Converts one UTF-8 character of `length` bytes to Shift-JIS at `out` (room for 2 bytes).
// Returns its length, 0 when code page 932 has no code for it, -1 when no converter exists.
int EncodeCharacter(const char* in, size_t length, char* out) {
  if (length == 1 && static_cast<unsigned char>(in[0]) < 0x80) {
    out[0] = in[0];
    return 1;
  }
#ifdef _WIN32
  wchar_t wide[2];
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, static_cast<int>(length), wide, 2);
  if (units <= 0) return 0;
  BOOL substituted = FALSE;
  const int bytes =
      WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, units, out, 2, nullptr, &substituted);
  return bytes <= 0 || substituted ? 0 : bytes;
#elif defined(__EMSCRIPTEN__)
  return EncodeInBrowser(in, static_cast<int>(length), out);
#else
  return ConvertOne(to_shift_jis, in, length, out, 2);
#endif
}

// The bytes of the UTF-8 character that begins with `lead`, or 0 for no lead byte.
size_t Utf8Length(unsigned char lead) {
  return lead < 0x80                    ? 1
         : lead >= 0xC2 && lead <= 0xDF ? 2
         : lead >= 0xE0 && lead <= 0xEF ? 3
         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                        : 0;
}

}  // namespace

namespace diskimage {

int Utf8ToShiftJis(const char* utf8, char* sjis, size_t size) {
  size_t out = 0;
  for (size_t in = 0; utf8[in] != '\0';) {
    const size_t length = Utf8Length(static_cast<unsigned char>(utf8[in]));
    for (size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(utf8[in + i]) & 0xC0) != 0x80) return -1;
    }
    if (length == 0) return -1;
    char code[2];
    const int bytes = EncodeCharacter(utf8 + in, length, code);
    if (bytes <= 0) return -1;
    // The code must stand for the same character.
    char back[5];
    if (ConvertCharacter(code, static_cast<size_t>(bytes), back) != static_cast<int>(length) ||
        memcmp(back, utf8 + in, length) != 0) {
      return -1;
    }
    if (out + static_cast<size_t>(bytes) + 1 > size) return -1;
    memcpy(sjis + out, code, static_cast<size_t>(bytes));
    out += static_cast<size_t>(bytes);
    in += length;
  }
  if (size == 0) return -1;
  sjis[out] = '\0';
  return static_cast<int>(out);
}

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

namespace {

// Appends the code point `c` as UTF-8 at `out`; returns its length (1 to 4).
size_t PutUtf8(uint32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace

size_t Utf16ToUtf8(const uint16_t* units, int count, char* utf8, size_t size) {
  size_t length = 0;
  if (size == 0) return 0;
  for (int i = 0; i < count; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // half of a pair: no character
    }
    char character[4];
    const size_t bytes = PutUtf8(c, character);
    if (length + bytes + 1 > size) break;
    memcpy(utf8 + length, character, bytes);
    length += bytes;
  }
  utf8[length] = '\0';
  return length;
}

bool SameIgnoringAsciiCase(const char* a, const char* b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  for (; *a != '\0' && lower(*a) == lower(*b); ++a, ++b) {
  }
  return lower(*a) == lower(*b);
}

}  // namespace diskimage
