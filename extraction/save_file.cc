// Writing one output file: a new name is created and written directly, an existing one is
// replaced by a complete temporary file renamed over it.
#include "extraction/save_file.h"

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
long WriteSome(int fd, const unsigned char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
}
int CloseFile(int fd) { return _close(fd); }
int ReplaceFile(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 0;
  return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}
#else
int OpenNewFile(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // the umask applies
}
int ProcessId() { return static_cast<int>(getpid()); }
long WriteSome(int fd, const unsigned char* data, size_t size) { return write(fd, data, size); }
int CloseFile(int fd) { return close(fd); }
int ReplaceFile(const char* from, const char* to) { return rename(from, to) == 0 ? 0 : errno; }
#endif

bool prepared = false;
int process_id = 0;
unsigned serial = 0;

void Prepare() {
#ifdef SIGXFSZ
  // A file-size limit must show as a failed write (EFBIG), not end the whole run.
  signal(SIGXFSZ, SIG_IGN);
#endif
  process_id = ProcessId();
  prepared = true;
}

// Creates a temporary file that no other file or process uses, named into `path`.
int CreateTemporaryFile(char* path, size_t path_size) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    snprintf(path, path_size, ".dsk%d-%u.tmp", process_id, serial++);
    const int fd = OpenNewFile(path);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Returns 0 once all `size` bytes are written, otherwise the errno value.
int WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const long written = WriteSome(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : EIO;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

// Writes all of `data` to the new file `fd` named `path` and closes it; removes it on failure.
int WriteNewFile(int fd, const char* path, const unsigned char* data, size_t size) {
  int error = WriteAll(fd, data, size);
  if (CloseFile(fd) != 0 && error == 0) error = errno;
  if (error != 0) remove(path);
  return error;
}

}  // namespace

int SaveFile(const char* name, const unsigned char* data, size_t size, const FileInfo& keep) {
  if (!prepared) Prepare();
  // A name that does not exist yet is created and written directly: there is no older file to
  // keep, and a failed write removes what it created.
  const int fd = OpenNewFile(name);
  if (fd >= 0) return WriteNewFile(fd, name, data, size);
  if (errno != EEXIST) return errno;
  FileInfo existing;
  if (GetFileInfo(name, existing) && SameFile(existing, keep)) return kSaveWouldReplaceKeptFile;

  // An existing name (a file, a directory, a symbolic link) is replaced only by a complete file.
  char temporary[48];
  const int temporary_fd = CreateTemporaryFile(temporary, sizeof temporary);
  if (temporary_fd < 0) return errno;
  int error = WriteNewFile(temporary_fd, temporary, data, size);
  if (error == 0) {
    error = ReplaceFile(temporary, name);
    if (error != 0) remove(temporary);
  }
  return error;
}
