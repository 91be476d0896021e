// What one run of a program carries through the rooms it uses: its diagnostics, the image it
// reads (never to be overwritten) and its options.
#ifndef COMMON_RUN_EXTRACTION_RUN_H_
#define COMMON_RUN_EXTRACTION_RUN_H_

#include <cstdint>

#include "common/console/diagnostics.h"
#include "common/host/file_info.h"
#include "common/run/name_table.h"

struct ExtractionRun {
  // `program` begins every diagnostic line; it must outlive the run.
  explicit ExtractionRun(const char* program) : diagnostics(program) {}

  Diagnostics diagnostics;
  FileInfo image;                 // unknown for an image read from a pipe
  bool list_only = false;         // list the files, write nothing
  bool utf8_names = false;        // names converted from Shift-JIS to UTF-8
  bool terminal_listing = false;  // standard output is a terminal
  // Standard output is a terminal that shows UTF-8, names are listed as the disk's bytes, and
  // one of them was not valid UTF-8: the run ends with a note that -u shows them.
  bool utf8_terminal = false;
  bool listed_name_not_utf8 = false;
  bool japanese_open_message = true;  // a failed open is said in Shift-JIS first, as dskcut did
  // An image file is mapped with all its pages read at once (for runs that read most of it);
  // false: mapped, each page read when first touched (a run that reads few sectors).
  bool prefault_image = true;
  char name_prefix[16] = "";  // before a file's name in diagnostics: its disk's folder
  // Where a file written under one name replaces an earlier disk's (-d), and which disk writes
  // now; nullptr when every disk has a folder of its own.
  NameTable* one_folder_names = nullptr;
  int disk = 0;
  // What the run read, for the summary a run over many images ends with.
  int64_t disks_read = 0, files_read = 0, bytes_read = 0;
};

#endif  // COMMON_RUN_EXTRACTION_RUN_H_
