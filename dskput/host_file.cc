// Host files read whole, and their dates, on POSIX systems and Windows.
#include "dskput/host_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
using FileFacts = struct _stat64;

// `path` (UTF-8) as Windows takes it; an empty name where it cannot be converted.
struct WidePath {
  explicit WidePath(const char* path) {
    if (!WideFileName(path, true, wide)) wide[0] = L'\0';
  }
  wchar_t wide[MAX_PATH];
};

FILE* OpenForReading(const char* path) { return _wfopen(WidePath(path).wide, L"rb"); }
int StatusOf(const char* path, FileFacts& facts) { return _wstat64(WidePath(path).wide, &facts); }
int StatusOf(FILE* file, FileFacts& facts) { return _fstat64(_fileno(file), &facts); }
#else
using FileFacts = struct stat;

FILE* OpenForReading(const char* path) { return fopen(path, "rb"); }
int StatusOf(const char* path, FileFacts& facts) { return stat(path, &facts); }
int StatusOf(FILE* file, FileFacts& facts) { return fstat(fileno(file), &facts); }
#endif

// The local date of `when`; false where the system cannot say it.
bool LocalDate(time_t when, diskimage::FileDate& date) {
  struct tm local;
#ifdef _WIN32
  if (localtime_s(&local, &when) != 0) return false;
#else
  if (localtime_r(&when, &local) == nullptr) return false;
#endif
  date = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec > 59 ? 59 : local.tm_sec};
  return true;
}

}  // namespace

bool HostFileDate(const char* path, diskimage::FileDate& date) {
  FileFacts facts;
  return StatusOf(path, facts) == 0 && LocalDate(facts.st_mtime, date);
}

int64_t HostFileTime(const char* path) {
  FileFacts facts;
  return StatusOf(path, facts) == 0 ? static_cast<int64_t>(facts.st_mtime) : 0;
}

bool HostFileInfo(const char* path, FileInfo& info) {
#ifdef _WIN32
  return GetFileInfo(WidePath(path).wide, info);
#else
  return GetFileInfo(path, info);
#endif
}

int ReadHostFile(const char* path, unsigned char* dest, size_t capacity, size_t& size,
                 diskimage::FileDate* date) {
  size = 0;
  FILE* file = OpenForReading(path);
  if (file == nullptr) return errno;
  FileFacts facts;
  int error = StatusOf(file, facts) == 0 ? 0 : errno;
  if (error == 0 && S_ISDIR(facts.st_mode)) error = EISDIR;
  if (error == 0 && date != nullptr && !LocalDate(facts.st_mtime, *date)) error = EINVAL;
  if (error == 0) {
    // Read to the end, whatever fstat said: a file may grow or shrink while it is read.
    size = fread(dest, 1, capacity, file);
    if (ferror(file)) {
      error = EIO;
    } else if (size == capacity && fgetc(file) != EOF) {
      error = EFBIG;
      size = facts.st_size > 0 ? static_cast<size_t>(facts.st_size) : capacity + 1;
    }
  }
  fclose(file);
  return error;
}
