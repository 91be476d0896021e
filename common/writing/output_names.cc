// Output names for the files and folders of a disk's tree.
#include "common/writing/output_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/console/shift_jis_names.h"
#include "common/writing/safe_file_name.h"

namespace {

bool NeedsEscape(uint32_t c) { return c < 0x20 || c == '/'; }

size_t PutEscape(unsigned value, char* out) {
  snprintf(out, 4, "%%%02X", value & 0xFF);
  return 3;
}

void LongNameToUtf8(const diskimage::DirectoryEntry& entry, char* out) {
  char utf8[4 * diskimage::DirectoryEntry::kMaxLongName + 1];
  diskimage::Utf16ToUtf8(entry.long_name, entry.long_name_length, utf8, sizeof utf8);
  // '/' and control characters are single bytes in UTF-8.
  size_t length = 0;
  for (const char* c = utf8; *c != '\0'; ++c) {
    if (NeedsEscape(static_cast<unsigned char>(*c))) {
      length += PutEscape(static_cast<unsigned char>(*c), out + length);
    } else {
      out[length++] = *c;
    }
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
    if (raw || diskimage::ShiftJisToUtf8(escaped, formed, kOutputNameSize, columns) < 0) {
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

bool FormImageFolder(NameRegistry& names, const char* folder, char* out, uint64_t& key) {
  key = 0;
  size_t length = 0;
  bool renamed = false;
  out[0] = '\0';
  for (const char* at = folder;;) {
    const char* end = strchr(at, '/');
    const bool last = end == nullptr;
    char part[kOutputNameSize];
    snprintf(part, sizeof part, "%.*s", static_cast<int>(last ? strlen(at) : end - at), at);
    char safe[kOutputNameSize];
    MakeSafeFileName(part, safe, sizeof safe, kWindowsFileNames, false);
    if (last) renamed = names.MakeUnique(key, safe);
    key = NameRegistry::FolderKey(key, safe);
    const int written =
        snprintf(out + length, kImageFolderSize - length, "%s%s", length > 0 ? "/" : "", safe);
    if (written > 0) length = std::min(kImageFolderSize - 1, length + static_cast<size_t>(written));
    if (last) return renamed;
    at = end + 1;
  }
}
