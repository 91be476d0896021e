// Atomic replacement of one output file through a temporary file in the same directory.
#include "save_file.h"

#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int OpenNewFile(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int ProcessId() { return _getpid(); }
int CloseHandleOnly(int fd) { return _close(fd); }
FILE* StreamOf(int fd) { return _fdopen(fd, "wb"); }
int ReplaceFile(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 0;
  return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}
#else
int OpenNewFile(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // the umask applies
}
int ProcessId() { return static_cast<int>(getpid()); }
int CloseHandleOnly(int fd) { return close(fd); }
FILE* StreamOf(int fd) { return fdopen(fd, "wb"); }
int ReplaceFile(const char* from, const char* to) { return rename(from, to) == 0 ? 0 : errno; }
#endif

// A file-size limit must show as a failed write (EFBIG), not end the whole run.
void IgnoreFileSizeSignal() {
#ifdef SIGXFSZ
  static const bool ignored = (signal(SIGXFSZ, SIG_IGN), true);
  (void)ignored;
#endif
}

// Creates a temporary file that no other file or process uses, named into `path`.
int CreateTemporaryFile(char* path, size_t path_size) {
  static unsigned serial = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    snprintf(path, path_size, ".dsk%d-%u.tmp", ProcessId(), serial++);
    const int fd = OpenNewFile(path);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

int SaveFile(const char* name, const unsigned char* data, size_t size) {
  IgnoreFileSizeSignal();
  char temporary[48];
  const int fd = CreateTemporaryFile(temporary, sizeof temporary);
  if (fd < 0) return errno;
  FILE* stream = StreamOf(fd);
  if (stream == nullptr) {
    const int error = errno;
    CloseHandleOnly(fd);
    remove(temporary);
    return error;
  }
  int error = 0;
  if (size > 0 && fwrite(data, 1, size, stream) != size) error = errno != 0 ? errno : EIO;
  if (fclose(stream) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  if (error == 0) error = ReplaceFile(temporary, name);
  if (error != 0) remove(temporary);
  return error;
}
