// Output names for dskget's files and folders.
#include "dskget/output_names.h"

#include <cstdio>
#include <cstring>

#include "extraction/safe_file_name.h"
#include "extraction/shift_jis_names.h"

namespace {

// Appends the code point `c` as UTF-8.
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

bool NeedsEscape(uint32_t c) { return c < 0x20 || c == '/'; }

size_t PutEscape(unsigned value, char* out) {
  snprintf(out, 4, "%%%02X", value & 0xFF);
  return 3;
}

void LongNameToUtf8(const diskimage::DirectoryEntry& entry, char* out) {
  size_t length = 0;
  for (int i = 0; i < entry.long_name_length; ++i) {
    uint32_t c = entry.long_name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < entry.long_name_length &&
        entry.long_name[i + 1] >= 0xDC00 && entry.long_name[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (entry.long_name[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // half of a pair: no character
    }
    length += NeedsEscape(c) ? PutEscape(c, out + length) : PutUtf8(c, out + length);
  }
  out[length] = '\0';
}

}  // namespace

bool FormOutputName(const diskimage::DirectoryEntry& entry, bool raw, char* formed, char* name) {
  if (!raw && entry.long_name_length > 0) {
    LongNameToUtf8(entry, formed);
  } else {
    char escaped[3 * sizeof entry.name + 1];
    size_t length = 0;
    for (int i = 0; i < entry.name_length; ++i) {
      const unsigned char b = entry.name[i];
      if (NeedsEscape(b)) {
        length += PutEscape(b, escaped + length);
      } else {
        escaped[length++] = static_cast<char>(b);
      }
    }
    escaped[length] = '\0';
    int columns = 0;
    if (raw || ShiftJisToUtf8(escaped, formed, kOutputNameSize, columns) < 0) {
      snprintf(formed, kOutputNameSize, "%s", escaped);
    }
  }
  return MakeSafeFileName(formed, name, kOutputNameSize, kWindowsFileNames, raw);
}

bool NameRegistry::MakeUnique(uint64_t folder_key, char* name) {
  if (Full() || !table.Contains(NameTable::Key(folder_key, name, true))) {
    table.Record(NameTable::Key(folder_key, name, true), 0);
    return false;
  }
  // The extension is what follows the last point, unless the name begins with it.
  const char* point = strrchr(name, '.');
  size_t stem =
      point != nullptr && point != name ? static_cast<size_t>(point - name) : strlen(name);
  if (strlen(name + stem) > 64) stem = strlen(name);  // too long to be an extension
  const size_t extension_length = strlen(name + stem);
  char candidate[kOutputNameSize + 16];
  for (unsigned n = 2;; ++n) {
    // A name too long for the suffix loses the end of its stem, never its extension.
    char suffix[16];
    const size_t suffix_length = static_cast<size_t>(snprintf(suffix, sizeof suffix, "~%u", n));
    size_t keep = stem;
    if (keep + suffix_length + extension_length >= kOutputNameSize) {
      keep = kOutputNameSize - 1 - suffix_length - extension_length;
    }
    memcpy(candidate, name, keep);
    memcpy(candidate + keep, suffix, suffix_length);
    memcpy(candidate + keep + suffix_length, name + stem, extension_length + 1);
    if (!table.Contains(NameTable::Key(folder_key, candidate, true))) break;
  }
  memcpy(name, candidate, strlen(candidate) + 1);
  table.Record(NameTable::Key(folder_key, name, true), 0);
  return true;
}
