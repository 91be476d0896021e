// Which file a path names, so that the image being read is never overwritten, and its size; the
// parts of a path.
#ifndef COMMON_HOST_FILE_INFO_H_
#define COMMON_HOST_FILE_INFO_H_

#include <cstdint>

struct FileInfo {
  bool known = false;  // false: the path could not be looked at (or names no file)
  uint64_t device = 0;
  uint64_t index = 0;  // the file's number on its device
  int64_t size = 0;
  bool regular = false;  // a plain file, which can be read at any offset
  bool directory = false;
};

// Looks at the file that `path` names, following symbolic links. Returns false, with `info`
// unknown and errno set, when there is none or it cannot be looked at.
bool GetFileInfo(const char* path, FileInfo& info);

#ifndef _WIN32
// The same for `name` relative to the directory descriptor `folder` (AT_FDCWD: the current
// directory).
bool GetFileInfoAt(int folder, const char* name, FileInfo& info);
#endif

#ifdef _WIN32
// The same for a name in UTF-16.
bool GetFileInfo(const wchar_t* path, FileInfo& info);

// Decodes the file name `name`, Shift-JIS (code page 932) or UTF-8 with `utf8_name`, into
// `wide` (MAX_PATH UTF-16 units), as Windows takes names from the programs. False when it is
// not valid or too long.
bool WideFileName(const char* name, bool utf8_name, wchar_t* wide);
#endif

// True when both name the same existing file, by whatever names or links.
bool SameFile(const FileInfo& a, const FileInfo& b);

// True for '/', and on Windows '\\' too.
bool IsPathSeparator(char c);

// The part of `path` after its last separator ("" when it ends in one).
const char* BaseName(const char* path);

#endif  // COMMON_HOST_FILE_INFO_H_
