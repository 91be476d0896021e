// The one way the programs write an extracted file: all of it or nothing, never a partial file
// and never a damaged older file of the same name.
#ifndef COMMON_WRITING_SAVE_FILE_H_
#define COMMON_WRITING_SAVE_FILE_H_

#include <cstddef>

#include "common/host/file_info.h"

// A piece of a file's bytes: `size` bytes at `bytes`.
struct FilePiece {
  const unsigned char* bytes;
  size_t size;
};

// SaveFile's result when the name leads to the file that must be kept.
constexpr int kSaveWouldReplaceKeptFile = -1;

// Writes the `piece_count` pieces at `pieces`, one after another, to the file `name` in the
// current directory, the thread's (see WorkInOwnFolder; one writev where the system has it). A new
// name is created exclusively and written; an existing one is replaced by renaming a complete
// temporary file over it. Returns 0 on success, otherwise the errno value of the failure: then no
// partial file remains and an existing file `name` is left as it was. A name that is a directory or
// a symbolic link is replaced, never followed. An existing name that is `keep` (the same file by
// any name or link) is left alone: the result is then kSaveWouldReplaceKeptFile. `name` is
// Shift-JIS, or UTF-8 with `utf8_name`; Windows gets it in UTF-16 decoded from that, POSIX systems
// as it is. From the first call on, SIGINT, SIGTERM and SIGHUP (unless ignored) remove the files
// being written, one a thread (a new file, or the temporary file), before they end the process as
// they would; files written whole stay. Several threads may save at once.
int SaveFile(const char* name, const FilePiece* pieces, int piece_count, const FileInfo& keep,
             bool utf8_name);

// A file written in steps under a temporary name in the folder of its own name, and given that
// name only once it is whole and checked. Interrupted (SIGINT, SIGTERM, SIGHUP), the run removes
// the temporary file first, as SaveFile does.
struct StagedFile {
  int fd = -1;
  char temporary[4096] = "";
};

// Creates the temporary file beside `name` (a path as the system takes it). Returns 0, or the
// errno value of the failure (ENAMETOOLONG for a path too long for the temporary's name).
int BeginStagedFile(const char* name, StagedFile& file);

// Appends the `count` pieces, one after another (one writev where the system has it); returns 0
// or the errno value of the failure.
int WriteStagedFile(StagedFile& file, const FilePiece* pieces, int count);

// Closes the temporary file, which stays to be read back; returns 0 or the errno value.
int CloseStagedFile(StagedFile& file);

// Gives the closed temporary file the name `name`: an existing file of that name is replaced only
// with `replace`, else the result is EEXIST. Returns 0, or the errno value of the failure; then
// the temporary file is removed.
int KeepStagedFile(StagedFile& file, const char* name, bool replace);

// Removes the temporary file (closing it first where it is open).
void DropStagedFile(StagedFile& file);

#endif  // COMMON_WRITING_SAVE_FILE_H_
