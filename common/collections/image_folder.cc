// Walking a folder tree for disk images.
#include "common/collections/image_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/collections/archive_walk.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

constexpr const char* kImageExtensions[] = {"d88", "d77", "d68", "d98", "88d", "d8u", "1dd", "2d",
                                            "2dd", "2hd", "hdm", "xdf", "dup", "hdb", "ddb", "hd4",
                                            "hd5", "dd6", "dd9", "img", "ima", "dsk", "bin", "tfd",
                                            "dim", "fdi", "nfd", "dcp", "dcu", "imd", "fdd", "td0"};

constexpr size_t kPathSize = 4096;

// The names of one folder's entries, in one block, and whether each is a folder.
struct FolderNames {
  char* bytes = nullptr;  // NUL-terminated names back to back
  size_t used = 0, capacity = 0;
  size_t* starts = nullptr;  // offset of each name; its folder flag is the byte before it
  size_t count = 0, room = 0;

  ~FolderNames() {
    free(bytes);
    free(starts);
  }
  bool Add(const char* name, bool folder) {
    const size_t length = strlen(name) + 2;
    if (used + length > capacity) {
      const size_t grown = capacity * 2 + length + 256;
      char* larger = static_cast<char*>(realloc(bytes, grown));
      if (larger == nullptr) return false;
      bytes = larger;
      capacity = grown;
    }
    if (count == room) {
      const size_t grown = room * 2 + 16;
      size_t* larger = static_cast<size_t*>(realloc(starts, grown * sizeof(size_t)));
      if (larger == nullptr) return false;
      starts = larger;
      room = grown;
    }
    bytes[used] = folder ? 1 : 0;
    memcpy(bytes + used + 1, name, length - 1);
    starts[count++] = used + 1;
    used += length;
    return true;
  }
  const char* Name(size_t i) const { return bytes + starts[i]; }
  bool Folder(size_t i) const { return bytes[starts[i] - 1] != 0; }
  void Sort() {
    qsort_context = bytes;
    qsort(starts, count, sizeof(size_t), [](const void* a, const void* b) {
      return strcmp(qsort_context + *static_cast<const size_t*>(a),
                    qsort_context + *static_cast<const size_t*>(b));
    });
  }
  static const char* qsort_context;
};

const char* FolderNames::qsort_context = nullptr;

// Lists the folder `path` into `names` (files and folders; links and the like left out). False,
// with errno, when it cannot be read.
bool ListFolder(const char* path, FolderNames& names) {
#ifdef _WIN32
  char pattern[kPathSize];
  snprintf(pattern, sizeof pattern, "%s\\*", path);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return false;
  }
  do {
    const char* name = found.cFileName;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (!names.Add(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) break;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
#else
  DIR* folder = opendir(path);
  if (folder == nullptr) return false;
  char entry_path[kPathSize];
  for (const dirent* entry; (entry = readdir(folder)) != nullptr;) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    snprintf(entry_path, sizeof entry_path, "%s/%s", path, name);
    struct stat facts;
    if (lstat(entry_path, &facts) != 0) continue;
    const bool folder_entry = S_ISDIR(facts.st_mode);
    if (!folder_entry && !S_ISREG(facts.st_mode)) continue;  // links, devices, pipes
    if (!names.Add(name, folder_entry)) break;
  }
  closedir(folder);
  return true;
#endif
}

void Walk(char* path, size_t path_length, size_t root_length, int depth, Diagnostics& diagnostics,
          ImageVisitor& visitor) {
  FolderNames names;
  if (!ListFolder(path, names)) {
    diagnostics.Report(path, "cannot read the folder: %s; passed over", strerror(errno));
    return;
  }
  names.Sort();
  for (size_t i = 0; i < names.count; ++i) {
    const char* name = names.Name(i);
    const size_t length = strlen(name);
    if (path_length + 1 + length >= kPathSize) {
      diagnostics.Report(path, "a name inside makes too long a path; passed over");
      continue;
    }
    path[path_length] = '/';
    memcpy(path + path_length + 1, name, length + 1);
    if (names.Folder(i)) {
      if (depth + 1 < kMaxImageFolderDepth) {
        Walk(path, path_length + 1 + length, root_length, depth + 1, diagnostics, visitor);
      } else {
        diagnostics.Report(path, "folders nested deeper than %d are not read",
                           kMaxImageFolderDepth);
      }
    } else if (HasImageExtension(name) || visitor.EveryFile() ||
               (ArchivesAvailable() && ArchiveExtensionLength(name) > 0)) {
      visitor.Visit(path, path + root_length + 1);
    } else {
      visitor.PassOver();
    }
    path[path_length] = '\0';
  }
}

}  // namespace

bool HasImageExtension(const char* name) {
  const char* dot = strrchr(name, '.');
  if (dot == nullptr || dot == name) return false;
  for (const char* extension : kImageExtensions) {
    size_t i = 0;
    while (extension[i] != '\0' && dot[1 + i] != '\0' && (dot[1 + i] | 0x20) == extension[i]) {
      ++i;
    }
    if (extension[i] == '\0' && dot[1 + i] == '\0') return true;
  }
  return false;
}

void WalkImageFolder(const char* root, Diagnostics& diagnostics, ImageVisitor& visitor) {
  char path[kPathSize];
  size_t length = strlen(root);
  if (length >= kPathSize) {
    diagnostics.Report(root, "too long a path; passed over");
    return;
  }
  memcpy(path, root, length + 1);
  while (length > 1 && path[length - 1] == '/') path[--length] = '\0';
  Walk(path, length, length, 0, diagnostics, visitor);
}
