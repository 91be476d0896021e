// A host folder's entries listed: readdir and lstat, or FindFirstFile on Windows.
#include "common/host/folder_listing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

constexpr size_t kPathSize = 4096;
// The names being sorted (qsort passes no context).
const char* sorted_names = nullptr;

}  // namespace

FolderNames::~FolderNames() {
  free(bytes);
  free(starts);
}

bool FolderNames::Add(const char* name, bool folder) {
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

void FolderNames::Sort() {
  if (count < 2) return;  // an empty folder has no array to sort
  sorted_names = bytes;
  qsort(starts, count, sizeof(size_t), [](const void* a, const void* b) {
    return strcmp(sorted_names + *static_cast<const size_t*>(a),
                  sorted_names + *static_cast<const size_t*>(b));
  });
}

bool ListFolder(const char* path, FolderNames& names, bool utf8_names) {
#ifdef _WIN32
  char pattern[kPathSize];
  snprintf(pattern, sizeof pattern, "%s\\*", path);
  if (utf8_names) {
    wchar_t wide[MAX_PATH];
    WIN32_FIND_DATAW found;
    HANDLE search = MultiByteToWideChar(CP_UTF8, 0, pattern, -1, wide, MAX_PATH) > 0
                        ? FindFirstFileW(wide, &found)
                        : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) {
      errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
      return false;
    }
    do {
      char name[MAX_PATH * 3];
      if (WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name, sizeof name, nullptr,
                              nullptr) <= 0) {
        continue;
      }
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      if (!names.Add(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) break;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
  }
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
  (void)utf8_names;  // POSIX names are bytes
  DIR* folder = opendir(path);
  if (folder == nullptr) return false;
  char entry_path[kPathSize];
  for (const dirent* entry; (entry = readdir(folder)) != nullptr;) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    // The entry's type where the file system gives it, else from lstat.
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      snprintf(entry_path, sizeof entry_path, "%s/%s", path, name);
      struct stat facts;
      if (lstat(entry_path, &facts) != 0) continue;
      type = S_ISDIR(facts.st_mode) ? DT_DIR : S_ISREG(facts.st_mode) ? DT_REG : DT_LNK;
    }
    const bool folder_entry = type == DT_DIR;
    if (!folder_entry && type != DT_REG) continue;  // links, devices, pipes
    if (!names.Add(name, folder_entry)) break;
  }
  closedir(folder);
  return true;
#endif
}
