// Listed names: Shift-JIS bytes, or UTF-8, shown safely and padded by display width.
#include "common/run/listed_name.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/console/output.h"
#include "common/console/shift_jis_names.h"

void PrepareListedName(ExtractionRun& run, const char* raw, ListedName& listed) {
  listed.escaped = 0;
  if (run.utf8_names) {
    listed.escaped =
        diskimage::ShiftJisToUtf8(raw, listed.name, sizeof listed.name, listed.columns);
  }
  if (!run.utf8_names || listed.escaped < 0) {
    const size_t length = strnlen(raw, sizeof listed.name - 1);
    memcpy(listed.name, raw, length);
    listed.name[length] = '\0';
    listed.columns = static_cast<int>(length);  // a byte a column in code page 932
    listed.escaped = 0;
  }
  if (run.utf8_terminal && !run.utf8_names && !IsUtf8(listed.name)) {
    run.listed_name_not_utf8 = true;
  }
  if (run.terminal_listing) {
    ReplaceControlBytes(listed.name, listed.shown, sizeof listed.shown);
  } else {
    memcpy(listed.shown, listed.name, sizeof listed.shown);
  }
}

void NameInRun(const ExtractionRun& run, const char* name, char* out, size_t size) {
  // Called for every file written: plain copies, not a formatted print.
  size_t length = 0;
  for (const char* part : {static_cast<const char*>(run.name_prefix), name}) {
    const size_t part_length = strlen(part);
    const size_t count = part_length < size - 1 - length ? part_length : size - 1 - length;
    memcpy(out + length, part, count);
    length += count;
  }
  out[length] = '\0';
}

void PrintListedName(const ListedName& listed, int width) {
  const int padding = listed.columns < width ? width - listed.columns : 0;
  OutText(listed.shown);
  for (int i = 0; i < padding; ++i) OutChar(' ');
}
