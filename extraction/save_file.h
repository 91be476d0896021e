// The one way the programs write an extracted file: all of it or nothing, never a partial file
// and never a damaged older file of the same name.
#ifndef EXTRACTION_SAVE_FILE_H_
#define EXTRACTION_SAVE_FILE_H_

#include <cstddef>

#include "extraction/file_info.h"

// A piece of a file's bytes: `size` bytes at `bytes`.
struct FilePiece {
  const unsigned char* bytes;
  size_t size;
};

// SaveFile's result when the name leads to the file that must be kept.
constexpr int kSaveWouldReplaceKeptFile = -1;

// Writes the `piece_count` pieces at `pieces`, one after another, to the file `name` in the
// current directory (one writev where the system has it). A new name is created exclusively and
// written; an existing one is replaced by renaming a complete temporary file over it. Returns 0 on
// success, otherwise the errno value of the failure: then no partial file remains and an existing
// file `name` is left as it was. A name that is a directory or a symbolic link is replaced, never
// followed. An existing name that is `keep` (the same file by any name or link) is left alone: the
// result is then kSaveWouldReplaceKeptFile. `name` is Shift-JIS, or UTF-8 with `utf8_name`; Windows
// gets it in UTF-16 decoded from that, POSIX systems as it is. From the first call on, SIGINT,
// SIGTERM and SIGHUP (unless ignored) remove the file being written (a new file, or the temporary
// file) before they end the process as they would; files written whole stay.
int SaveFile(const char* name, const FilePiece* pieces, int piece_count, const FileInfo& keep,
             bool utf8_name);

#endif  // EXTRACTION_SAVE_FILE_H_
