// Host files read whole, and their dates, on POSIX systems and Windows.
#include "dskput/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// The most bytes one read asks for.
constexpr size_t kMostRead = size_t{1} << 30;

#ifdef _WIN32
using FileFacts = struct _stat64;

// `path` (UTF-8) as Windows takes it; an empty name where it cannot be converted.
struct WidePath {
  explicit WidePath(const char* path) {
    if (!WideFileName(path, true, wide)) wide[0] = L'\0';
  }
  wchar_t wide[MAX_PATH];
};

int OpenForReading(const char* path) { return _wopen(WidePath(path).wide, _O_RDONLY | _O_BINARY); }
int StatusOf(const char* path, FileFacts& facts) { return _wstat64(WidePath(path).wide, &facts); }
int StatusOf(int fd, FileFacts& facts) { return _fstat64(fd, &facts); }
int ReadSome(int fd, unsigned char* into, size_t count) {
  return _read(fd, into, static_cast<unsigned>(count));
}
void CloseFile(int fd) { _close(fd); }
#else
using FileFacts = struct stat;

int OpenForReading(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }
int StatusOf(const char* path, FileFacts& facts) { return stat(path, &facts); }
int StatusOf(int fd, FileFacts& facts) { return fstat(fd, &facts); }
ssize_t ReadSome(int fd, unsigned char* into, size_t count) { return read(fd, into, count); }
void CloseFile(int fd) { close(fd); }
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
  const int fd = OpenForReading(path);
  if (fd < 0) return errno;
  FileFacts facts;
  int error = StatusOf(fd, facts) == 0 ? 0 : errno;
  if (error == 0 && S_ISDIR(facts.st_mode)) error = EISDIR;
  if (error == 0 && date != nullptr && !LocalDate(facts.st_mtime, *date)) error = EINVAL;
  // Read to the end, whatever the size said: a file may grow or shrink while it is read. A
  // regular file's short read is its end.
  while (error == 0) {
    if (size == capacity) {  // full: one byte more says whether the file is longer
      unsigned char extra;
      const auto got = ReadSome(fd, &extra, 1);
      if (got > 0) {
        error = EFBIG;
        size = facts.st_size > 0 && static_cast<uint64_t>(facts.st_size) > capacity
                   ? static_cast<size_t>(facts.st_size)
                   : capacity + 1;
      }
      if (got < 0) error = EIO;
      break;
    }
    const size_t want = capacity - size < kMostRead ? capacity - size : kMostRead;
    const auto got = ReadSome(fd, dest + size, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = EIO;
    if (got <= 0) break;
    size += static_cast<size_t>(got);
    if (static_cast<size_t>(got) < want && S_ISREG(facts.st_mode)) break;
  }
  CloseFile(fd);
  return error;
}
