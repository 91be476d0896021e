// Host files read whole, and their dates, on POSIX systems and Windows.
#include "dskput/host_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

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
  struct stat facts;
  return stat(path, &facts) == 0 && LocalDate(facts.st_mtime, date);
}

int ReadHostFile(const char* path, unsigned char* dest, size_t capacity, size_t& size,
                 diskimage::FileDate* date) {
  size = 0;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return errno;
  struct stat facts;
  int error = fstat(fileno(file), &facts) == 0 ? 0 : errno;
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
