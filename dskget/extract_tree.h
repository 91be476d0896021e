// Writing the directory tree of one mounted disk: a listing line per file and folder, the files'
// bytes, their folders and dates, and a diagnostic for everything not read whole.
#ifndef DSKGET_EXTRACT_TREE_H_
#define DSKGET_EXTRACT_TREE_H_

#include <cstdint>

#include "diskimage/file_system.h"
#include "dskget/output_names.h"
#include "extraction/extraction_run.h"

// Room for the path of a file below its disk's folder, as deep as the trees are followed.
constexpr size_t kTreePathSize = diskimage::kMaxFolderDepth * kOutputNameSize;

struct TreeRun {
  ExtractionRun* run;
  diskimage::FileSystem* file_system;
  NameRegistry* names;
  bool raw_names;          // -r: the disk's bytes, not UTF-8
  const char* disk_label;  // "000/" before the paths in diagnostics ("" with -d)
  unsigned char* buffer;   // room for the longest chain of the disk
  int64_t capacity;
  char* path;  // kTreePathSize bytes: the folder being read, "" or "SUB/"
};

// Lists and writes the entries of the folder at `cursor` into the current directory (with
// run->list_only, lists only), and its subfolders below it as folders of their own, entering
// them and coming back. tree.path holds the folder's path from the disk's folder; `folder_key`
// is its key in the registry of names.
void ExtractDirectory(TreeRun& tree, diskimage::DirectoryCursor& cursor, uint64_t folder_key,
                      int depth);

#endif  // DSKGET_EXTRACT_TREE_H_
