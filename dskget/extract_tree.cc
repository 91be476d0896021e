// The tree of a disk's file system, listed and written.
#include "dskget/extract_tree.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "extraction/file_time.h"
#include "extraction/save_file.h"
#include "extraction/working_directory.h"

namespace {

using diskimage::DirectoryEntry;

void PrintLine(const char* type, const DirectoryEntry& e, int64_t size, const char* path,
               const char* name) {
  char date[32] = "-";
  if (e.has_date) {
    snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", e.date.year % 10000, e.date.month % 100,
             e.date.day % 100, e.date.hour % 100, e.date.minute % 100);
  }
  if (size >= 0) {
    printf("%10" PRId64 "  %-7s %-16s  %s%s%s\n", size, type, date, path, name,
           e.directory ? "/" : "");
  } else {
    printf("%10s  %-7s %-16s  %s%s/\n", "-", type, date, path, name);
  }
}

void SetTime(ExtractionRun& run, const DiskTree& tree, const char* name, const DirectoryEntry& e,
             const char* shown) {
  if (!e.has_date || run.list_only) return;
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
