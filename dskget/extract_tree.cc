// The tree of a disk's file system, listed and written.
#include "dskget/extract_tree.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/console/output.h"
#include "common/writing/file_time.h"
#include "common/writing/save_file.h"
#include "common/writing/working_directory.h"

namespace {

using diskimage::DirectoryEntry;
using diskimage::FileDate;

// Appends `text` to line[length..], padded with spaces to `width` on the right (left-aligned)
// or on the left; returns the new length.
size_t Put(char* line, size_t length, const char* text, size_t width, bool left) {
  const size_t size = strlen(text);
  const size_t pad = size < width ? width - size : 0;
  const size_t text_at = left ? length : length + pad;
  memset(line + length, ' ', size + pad);
  memcpy(line + text_at, text, size);
  return length + size + pad;
}

// Writes `value` (0 to 9999) as `digits` decimal digits.
char* PutDigits(char* out, int value, int digits) {
  for (int i = digits - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
  return out + digits;
}

// The listing line: size (or "-" for a folder), type, date and path, as
// "%10s  %-7s %-16s  PATH\n". Formatted by hand: a disk has thousands of them.
void PrintLine(const char* type, const DirectoryEntry& e, int64_t size, const char* path,
               const char* name) {
  const FileDate& d = e.date;
  char date[32] = "-";
  if (e.has_date && d.year >= 0 && d.month >= 0 && d.day >= 0 && d.hour >= 0 && d.minute >= 0) {
    char* at = PutDigits(date, d.year % 10000, 4);
    *at++ = '-';
    at = PutDigits(at, d.month % 100, 2);
    *at++ = '-';
    at = PutDigits(at, d.day % 100, 2);
    *at++ = ' ';
    at = PutDigits(at, d.hour % 100, 2);
    *at++ = ':';
    at = PutDigits(at, d.minute % 100, 2);
    *at = '\0';
  } else if (e.has_date) {
    snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", d.year % 10000, d.month % 100,
             d.day % 100, d.hour % 100, d.minute % 100);
  }
  char number[24] = "-";
  if (size >= 0) {
    char reversed[20];
    size_t digits = 0;
    for (int64_t rest = size; digits == 0 || rest > 0; rest /= 10) {
      reversed[digits++] = static_cast<char>('0' + rest % 10);
    }
    for (size_t i = 0; i < digits; ++i) number[i] = reversed[digits - 1 - i];
    number[digits] = '\0';
  }
  thread_local char line[64 + kTreePathSize + kOutputNameSize];
  size_t length = Put(line, 0, number, 10, false);
  length = Put(line, length, "  ", 0, true);
  length = Put(line, length, type, 7, true);
  length = Put(line, length, " ", 0, true);
  length = Put(line, length, date, 16, true);
  length = Put(line, length, "  ", 0, true);
  length = Put(line, length, path, 0, true);
  length = Put(line, length, name, 0, true);
  length = Put(line, length, e.directory || size < 0 ? "/\n" : "\n", 0, true);
  OutWrite(line, length);
}

void SetTime(ExtractionRun& run, const DiskTree& tree, const char* name, const DirectoryEntry& e,
             const char* shown) {
  if (!e.has_date || run.list_only) return;
  if (!diskimage::PossibleDate(e.date)) {
    run.diagnostics.Warn(
        "%s: its date %04d-%02d-%02d %02d:%02d:%02d is no day of the calendar; "
        "not set",
        shown, e.date.year % 10000, e.date.month % 100, e.date.day % 100, e.date.hour % 100,
        e.date.minute % 100, e.date.second % 100);
    return;
  }
  const int error = SetModificationTime(name, !tree.raw_names, e.date.year, e.date.month,
                                        e.date.day, e.date.hour, e.date.minute, e.date.second);
  if (error != 0) {
    run.diagnostics.Report(shown, "its date could not be set: %s", strerror(error));
  }
}

}  // namespace

void TreeWriter::File(DiskTree& tree, const TreeItem& file) {
  const DirectoryEntry& e = *file.entry;
  PrintLine(file.type, e, file.length, tree.path, file.name);
  ++run.files_read;
  run.bytes_read += file.length;
  if (file.damage.Any()) {
    char text[512];
    DescribeDamage(file.damage, e.size, text, sizeof text);
    run.diagnostics.Report(file.shown, "damaged: %s; %" PRId64 " bytes written", text, file.length);
  }
  if (run.list_only) return;
  const FilePiece piece = {file.bytes, static_cast<size_t>(file.length)};
  const int error = SaveFile(file.name, &piece, 1, run.image, !tree.raw_names);
  if (error == kSaveWouldReplaceKeptFile) {
    run.diagnostics.Report(file.shown, "is the image being read; not overwritten");
  } else if (error != 0) {
    run.diagnostics.Report(file.shown, "cannot be written: %s", strerror(error));
  } else {
    SetTime(run, tree, file.name, e, file.shown);
  }
}

void TreeWriter::Folder(DiskTree& tree, const TreeItem& folder) {
  PrintLine(folder.type, *folder.entry, -1, tree.path, folder.name);
}

bool TreeWriter::Enter(DiskTree& tree, const TreeItem& folder) {
  if (run.list_only) return true;
  const int error = EnterSubfolder(folder.name, !tree.raw_names);
  if (error != 0) {
    run.diagnostics.Report(folder.shown, "cannot create or enter the folder: %s; not read",
                           strerror(error));
  }
  return error == 0;
}

void TreeWriter::Leave(DiskTree& tree, const DirectoryEntry& folder, const char* name,
                       const char* shown) {
  if (run.list_only) return;
  const int error = LeaveSubfolder();
  if (error != 0) {
    run.diagnostics.Report(shown, "cannot return from the folder: %s", strerror(error));
    return;
  }
  SetTime(run, tree, name, folder, shown);
}
