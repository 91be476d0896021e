// A name from a disk as a run lists it, writes files under it and names it in diagnostics.
#ifndef COMMON_RUN_LISTED_NAME_H_
#define COMMON_RUN_LISTED_NAME_H_

#include <cstddef>

#include "common/run/extraction_run.h"

// Room for any name a disk holds (at most 16 bytes) converted to UTF-8, escapes included.
constexpr size_t kListedNameSize = 3 * 16 + 1;

struct ListedName {
  char name[kListedNameSize];   // the disk's bytes, or UTF-8 with run.utf8_names
  char shown[kListedNameSize];  // what the listing prints: control bytes as '?' on a terminal
  int columns;                  // display width of `shown`
  int escaped;                  // bytes that are not Shift-JIS, written as %XX
};

// Prepares the disk's name bytes `raw` (NUL-terminated, at most 16 bytes) under the run's
// options. Never fails: without a converter (checked when the run starts) bytes pass unchanged.
// Notes in `run` a name shown on a UTF-8 terminal that is not UTF-8.
void PrepareListedName(ExtractionRun& run, const char* raw, ListedName& listed);

// Writes `run.name_prefix` then `name` into `out` (`size` bytes, cut if need be): the name by
// which diagnostics call an entry of the disk being read.
void NameInRun(const ExtractionRun& run, const char* name, char* out, size_t size);

// Prints `listed.shown` on standard output, padded with spaces to `width` display columns.
void PrintListedName(const ListedName& listed, int width);

#endif  // COMMON_RUN_LISTED_NAME_H_
