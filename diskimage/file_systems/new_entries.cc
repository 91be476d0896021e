// A new entry formed from a host file by the rules of its file system's driver: its name (the
// parts' lengths, the characters refused, case, double-byte characters or half-width katakana,
// the padding the directory stores) and its type.
#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"
#include "diskimage/names.h"

namespace diskimage {
namespace {

// The half-width forms of the full-width katakana 8340h..8396h (837Fh is no character), in order:
// the byte and, for a voiced sound, the mark DEh or DFh that follows it; 0 for none.
constexpr unsigned char kHalfWidthKana[86][2] = {
    {0xA7, 0},    {0xB1, 0},    {0xA8, 0},    {0xB2, 0},    {0xA9, 0},    {0xB3, 0},
    {0xAA, 0},    {0xB4, 0},    {0xAB, 0},    {0xB5, 0},    {0xB6, 0},    {0xB6, 0xDE},
    {0xB7, 0},    {0xB7, 0xDE}, {0xB8, 0},    {0xB8, 0xDE}, {0xB9, 0},    {0xB9, 0xDE},
    {0xBA, 0},    {0xBA, 0xDE}, {0xBB, 0},    {0xBB, 0xDE}, {0xBC, 0},    {0xBC, 0xDE},
    {0xBD, 0},    {0xBD, 0xDE}, {0xBE, 0},    {0xBE, 0xDE}, {0xBF, 0},    {0xBF, 0xDE},
    {0xC0, 0},    {0xC0, 0xDE}, {0xC1, 0},    {0xC1, 0xDE}, {0xAF, 0},    {0xC2, 0},
    {0xC2, 0xDE}, {0xC3, 0},    {0xC3, 0xDE}, {0xC4, 0},    {0xC4, 0xDE}, {0xC5, 0},
    {0xC6, 0},    {0xC7, 0},    {0xC8, 0},    {0xC9, 0},    {0xCA, 0},    {0xCA, 0xDE},
    {0xCA, 0xDF}, {0xCB, 0},    {0xCB, 0xDE}, {0xCB, 0xDF}, {0xCC, 0},    {0xCC, 0xDE},
    {0xCC, 0xDF}, {0xCD, 0},    {0xCD, 0xDE}, {0xCD, 0xDF}, {0xCE, 0},    {0xCE, 0xDE},
    {0xCE, 0xDF}, {0xCF, 0},    {0xD0, 0},    {0xD1, 0},    {0xD2, 0},    {0xD3, 0},
    {0xAC, 0},    {0xD4, 0},    {0xAD, 0},    {0xD5, 0},    {0xAE, 0},    {0xD6, 0},
    {0xD7, 0},    {0xD8, 0},    {0xD9, 0},    {0xDA, 0},    {0xDB, 0},    {0, 0},
    {0xDC, 0},    {0, 0},       {0, 0},       {0xA6, 0},    {0xDD, 0},    {0xB3, 0xDE},
    {0, 0},       {0, 0},
};

// Full-width punctuation with a half-width form: 、。・ー「」゛゜.
constexpr unsigned short kHalfWidthMarks[][2] = {
    {0x8141, 0xA4}, {0x8142, 0xA1}, {0x8145, 0xA5}, {0x815B, 0xB0},
    {0x8175, 0xA2}, {0x8176, 0xA3}, {0x814A, 0xDE}, {0x814B, 0xDF},
};

// The half-width bytes of the double-byte character `code` (katakana, hiragana, the marks above)
// into `out` (2 bytes); their count, 0 for a character that has none.
int HalfWidth(int code, unsigned char* out) {
  int index = -1;
  if (code >= 0x8340 && code <= 0x8396 && code != 0x837F) {
    index = code - 0x8340 - (code > 0x837F ? 1 : 0);
  } else if (code >= 0x829F && code <= 0x82F1) {
    index = code - 0x829F;  // hiragana, in the katakana's order
  }
  if (index >= 0) {
    if (kHalfWidthKana[index][0] == 0) return 0;
    out[0] = kHalfWidthKana[index][0];
    out[1] = kHalfWidthKana[index][1];
    return out[1] != 0 ? 2 : 1;
  }
  for (const auto& mark : kHalfWidthMarks) {
    if (mark[0] == code) {
      out[0] = static_cast<unsigned char>(mark[1]);
      return 1;
    }
  }
  return 0;
}

bool IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

// One part of a name (before or after the point) as the rule stores it, into `out` (`room`
// bytes, at most `limit` kept). Returns its length, or -1 with `rule` said.
class PartForm {
 public:
  PartForm(const FileSystemDriver& driver, bool shorten, char* rule, size_t rule_size)
      : driver(driver), names(driver.names), shorten(shorten), rule(rule), rule_size(rule_size) {}

  // Copies `length` bytes of `part` into `out`, at most `limit` of them; false (said) for a name
  // that breaks the rule, unless shortening.
  bool Form(const unsigned char* part, int length, int limit, bool point_refused,
            unsigned char* out, int& out_length, bool& changed) {
    out_length = 0;
    for (int i = 0; i < length; ++i) {
      unsigned char bytes[2] = {part[i], 0};
      int count = 1;
      if (names.Has(NameRule::kAsciiOnly) && part[i] >= 0x80) {
        if (!shorten) return Say("names hold ASCII characters only");
        bytes[0] = '_';
        changed = true;
        i += IsShiftJisLeadByte(part[i]) && i + 1 < length ? 1 : 0;
      } else if (IsShiftJisLeadByte(part[i]) && i + 1 < length) {
        bytes[1] = part[++i];
        count = 2;
        if (!names.Has(NameRule::kDoubleByte)) {
          count = HalfWidth(bytes[0] << 8 | bytes[1], bytes);
          if (count == 0) {
            if (!shorten) return Say("names hold no double-byte characters");
            bytes[0] = '_';
            count = 1;
            changed = true;
          }
        }
      } else if (part[i] < 0x20 || part[i] == 0x7F ||
                 (part[i] < 0x80 && strchr(names.refused, part[i]) != nullptr) ||
                 (point_refused && part[i] == '.')) {
        if (!shorten) {
          return part[i] < 0x20 || part[i] == 0x7F ? Say("names hold no control characters")
                                                   : SayRefused();
        }
        changed = true;
        if (part[i] == '.') continue;  // dropped, as the systems' short names drop points
        bytes[0] = '_';
      }
      if (out_length + count > limit) {
        if (!shorten) return SayLengths();
        changed = true;
        break;
      }
      memcpy(out + out_length, bytes, static_cast<size_t>(count));
      out_length += count;
    }
    return true;
  }

  // Says the rule broken, `phrase` after the file system's name; false.
  bool Say(const char* phrase) {
    snprintf(rule, rule_size, "%s %s", driver.name, phrase);
    return false;
  }

  // The rule of the characters refused: "names hold none of "*:?" (one: "no "), spaces said
  // apart.
  bool SayRefused() {
    char set[32];
    size_t length = 0;
    for (const char* c = names.refused; *c != '\0' && length + 1 < sizeof set; ++c) {
      if (*c != ' ') set[length++] = *c;
    }
    set[length] = '\0';
    snprintf(rule, rule_size, "%s names hold %s%s%s", driver.name, length == 1 ? "no " : "none of ",
             set, strchr(names.refused, ' ') != nullptr ? " or spaces" : "");
    return false;
  }

  // The rule of the parts' lengths.
  bool SayLengths() {
    if (names.extension_bytes == 0) {
      snprintf(rule, rule_size, "%s names have at most %d bytes", driver.name, names.name_bytes);
    } else {
      snprintf(rule, rule_size, "%s names have at most %d bytes before the point and %d after",
               driver.name, names.name_bytes, names.extension_bytes);
    }
    return false;
  }

 private:
  const FileSystemDriver& driver;
  const NameRule& names;
  bool shorten;
  char* rule;
  size_t rule_size;
};

// Upper-cases the ASCII letters of `part`; returns the case it had: 0 none or upper, 1 lower,
// 2 mixed.
int UpperCase(unsigned char* part, int length) {
  bool lower = false, upper = false;
  for (int i = 0; i < length; ++i) {
    if (IsShiftJisLeadByte(part[i]) && i + 1 < length) {
      ++i;
      continue;
    }
    lower = lower || IsLower(part[i]);
    upper = upper || IsUpper(part[i]);
    if (IsLower(part[i])) part[i] = static_cast<unsigned char>(part[i] - 'a' + 'A');
  }
  return lower && upper ? 2 : lower ? 1 : 0;
}

}  // namespace

bool FormEntryName(FileSystemKind kind, const char* name, bool directory, bool shorten,
                   EntryName& formed, char* rule, size_t rule_size) {
  formed = EntryName{};
  if (rule_size > 0) rule[0] = '\0';
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  if (driver == nullptr) {
    snprintf(rule, rule_size, "no file system");
    return false;
  }
  PartForm form(*driver, shorten, rule, rule_size);
  const NameRule& names = driver->names;
  const size_t length = strlen(name);
  if (directory && !names.Has(NameRule::kFolders)) return form.Say("has no folders");
  if (directory && names.Has(NameRule::kNumberedFolders)) {
    const bool number = (length == 1 && name[0] >= '1' && name[0] <= '9') ||
                        (length == 2 && name[0] == '1' && name[1] >= '0' && name[1] <= '5');
    if (!number) return form.Say("folders are the user numbers 1 to 15");
    memcpy(formed.stored, name, length);
    memcpy(formed.shown, name, length);
    return true;
  }
  if (length == 0 || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
    return form.Say("names are not empty, \".\" or \"..\"");
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(name);
  // The point before the extension: the last one, where the system has extensions.
  const char* point = names.extension_bytes > 0 ? strrchr(name, '.') : nullptr;
  const int base_length =
      point != nullptr ? static_cast<int>(point - name) : static_cast<int>(length);
  unsigned char base[32], extension[8];
  int base_bytes = 0, extension_bytes = 0;
  if (!form.Form(bytes, base_length, names.name_bytes, names.extension_bytes > 0, base, base_bytes,
                 formed.changed)) {
    return false;
  }
  if (point != nullptr &&
      !form.Form(bytes + base_length + 1, static_cast<int>(length) - base_length - 1,
                 names.extension_bytes, true, extension, extension_bytes, formed.changed)) {
    return false;
  }
  if (base_bytes == 0) return form.Say("names have a name before the point");
  if (base[base_bytes - 1] == ' ' ||
      (extension_bytes > 0 && extension[extension_bytes - 1] == ' ')) {
    if (!shorten) return form.Say("names end in no space");
    while (base_bytes > 1 && base[base_bytes - 1] == ' ') base[--base_bytes] = '_';
    while (extension_bytes > 0 && extension[extension_bytes - 1] == ' ') --extension_bytes;
    formed.changed = true;
  }
  int flags = 0;
  if (names.Has(NameRule::kUpperCase)) {
    const int base_case = UpperCase(base, base_bytes);
    const int extension_case = UpperCase(extension, extension_bytes);
    if (names.Has(NameRule::kLowerCaseFlags) && base_case == 1) flags |= 0x08;
    if (names.Has(NameRule::kLowerCaseFlags) && extension_case == 1) flags |= 0x10;
    formed.changed = formed.changed || base_case == 2 || extension_case == 2 ||
                     (!names.Has(NameRule::kLowerCaseFlags) && (base_case | extension_case) != 0);
  }
  // The stored field: the name padded to its bytes (Human68k: its 9th byte on after the
  // extension, 00h-padded), the extension padded, the case flags.
  unsigned char* stored = formed.stored;
  const int first_part = names.Has(NameRule::kLongTail) ? 8 : names.name_bytes;
  memset(stored, names.pad, static_cast<size_t>(first_part + names.extension_bytes));
  memcpy(stored, base, static_cast<size_t>(base_bytes < first_part ? base_bytes : first_part));
  memcpy(stored + first_part, extension, static_cast<size_t>(extension_bytes));
  if (names.Has(NameRule::kLongTail) && base_bytes > 8) {
    memcpy(stored + first_part + names.extension_bytes, base + 8,
           static_cast<size_t>(base_bytes - 8));
  }
  if (names.Has(NameRule::kLowerCaseFlags))
    stored[first_part + names.extension_bytes] = static_cast<unsigned char>(flags);
  if (names.Has(NameRule::kFirstE5As05) && stored[0] == 0xE5) stored[0] = 0x05;
  // As listings show it.
  memcpy(formed.shown, base, static_cast<size_t>(base_bytes));
  int shown = base_bytes;
  if (extension_bytes > 0) {
    formed.shown[shown++] = '.';
    memcpy(formed.shown + shown, extension, static_cast<size_t>(extension_bytes));
    shown += extension_bytes;
  }
  for (int i = 0; i < shown && flags != 0; ++i) {
    const bool in_base = i < base_bytes;
    if (((in_base && (flags & 0x08)) || (!in_base && (flags & 0x10))) &&
        IsUpper(static_cast<unsigned char>(formed.shown[i]))) {
      formed.shown[i] = static_cast<char>(formed.shown[i] - 'A' + 'a');
    }
  }
  formed.shown[shown] = '\0';
  return true;
}

namespace {

// True for bytes a text file holds: none of the control codes but tab, line feed, form feed and
// carriage return, and 1Ah only at the end.
bool IsText(const unsigned char* data, int64_t size) {
  int64_t end = size;
  while (end > 0 && data[end - 1] == 0x1A) --end;
  for (int64_t i = 0; i < end; ++i) {
    const unsigned char c = data[i];
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r') || c == 0x7F) return false;
  }
  return true;
}

// The type of `types` named `name`, or nullptr.
const FileType* TypeNamed(const FileType* types, const char* name) {
  for (int i = 0; types[i].name != nullptr; ++i) {
    if (SameIgnoringAsciiCase(types[i].name, name)) return &types[i];
  }
  return nullptr;
}

}  // namespace

bool ChooseFileType(FileSystemKind kind, const char* type, const char* name,
                    const unsigned char* data, int64_t size, NewEntry& entry, char* rule,
                    size_t rule_size) {
  if (rule_size > 0) rule[0] = '\0';
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  if (driver == nullptr) return false;
  const FileType* types = driver->file_types;
  const bool several = types[1].name != nullptr;
  const FileType* chosen = &types[0];
  if (type != nullptr) {
    chosen = several ? TypeNamed(types, type) : nullptr;
    if (chosen == nullptr && !several) {
      snprintf(rule, rule_size, "%s records no file types", driver->name);
      return false;
    }
    if (chosen == nullptr) {
      int length = snprintf(rule, rule_size, "%s records the types", driver->name);
      for (int i = 0;
           types[i].name != nullptr && length >= 0 && static_cast<size_t>(length) < rule_size;
           ++i) {
        length += snprintf(rule + length, rule_size - static_cast<size_t>(length), "%s %s",
                           i == 0 ? "" : ",", types[i].name);
      }
      return false;
    }
  } else {
    const char* point = strrchr(name, '.');
    const bool text_name = point != nullptr && (SameIgnoringAsciiCase(point, ".bas") ||
                                                SameIgnoringAsciiCase(point, ".asc") ||
                                                SameIgnoringAsciiCase(point, ".txt"));
    if (text_name && IsText(data, size)) {
      for (int i = 0; types[i].name != nullptr; ++i) {
        if (types[i].ascii) {
          chosen = &types[i];
          break;
        }
      }
    } else if (text_name && TypeNamed(types, "bas") != nullptr) {
      chosen = TypeNamed(types, "bas");  // a BASIC program as the system stores it, tokenised
    }
  }
  entry.attributes = chosen->attributes;
  entry.ascii = chosen->ascii;
  return true;
}

bool RecordsAddresses(FileSystemKind kind) {
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  return driver != nullptr && driver->records_addresses;
}

}  // namespace diskimage
