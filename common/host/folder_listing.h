// A host folder's entries listed, files and folders, in byte order of their names.
#ifndef COMMON_HOST_FOLDER_LISTING_H_
#define COMMON_HOST_FOLDER_LISTING_H_

#include <cstddef>

// The names of one folder's entries, in one block, and whether each is a folder.
struct FolderNames {
  char* bytes = nullptr;  // NUL-terminated names back to back
  size_t used = 0, capacity = 0;
  size_t* starts = nullptr;  // offset of each name; its folder flag is the byte before it
  size_t count = 0, room = 0;

  FolderNames() = default;
  FolderNames(const FolderNames&) = delete;
  FolderNames& operator=(const FolderNames&) = delete;
  ~FolderNames();
  // Adds a name; false when memory for it cannot be had.
  bool Add(const char* name, bool folder);
  const char* Name(size_t i) const { return bytes + starts[i]; }
  bool Folder(size_t i) const { return bytes[starts[i] - 1] != 0; }
  // Puts the names in byte order.
  void Sort();
};

// Lists the folder `path` into `names` (files and folders; links and the like left out), unsorted.
// On Windows `path` and the names are in the ANSI code page, or UTF-8 with `utf8_names`; POSIX
// systems take and give bytes. False, with errno, when it cannot be read.
bool ListFolder(const char* path, FolderNames& names, bool utf8_names = false);

#endif  // COMMON_HOST_FOLDER_LISTING_H_
