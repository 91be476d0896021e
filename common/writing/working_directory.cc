// Entering output subdirectories and coming back, for POSIX systems and Windows.
#include "common/writing/working_directory.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "common/host/file_info.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {
int ErrnoOfLastError() {
  switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return EIO;
  }
}
}  // namespace

StartingDirectory::StartingDirectory() : path() {}
StartingDirectory::~StartingDirectory() {}

int StartingDirectory::Save() {
  const DWORD room = sizeof path / sizeof path[0];
  const DWORD length = GetCurrentDirectoryW(room, path);
  return (length == 0 || length >= room) ? ErrnoOfLastError() : 0;
}

namespace {

// Creates the folder `name` unless it exists and enters it; with `follow_links` false, not
// through a reparse point (ELOOP).
int EnterFolder(const char* name, bool utf8_name, bool follow_links) {
  wchar_t wide[MAX_PATH];
  if (!WideFileName(name, utf8_name, wide)) return EINVAL;
  if (!CreateDirectoryW(wide, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return ErrnoOfLastError();
  }
  if (!follow_links) {
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOfLastError();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ELOOP;
  }
  return SetCurrentDirectoryW(wide) ? 0 : ErrnoOfLastError();
}

}  // namespace

int StartingDirectory::Return() { return SetCurrentDirectoryW(path) ? 0 : ErrnoOfLastError(); }

int LeaveSubfolder() { return SetCurrentDirectoryW(L"..") ? 0 : ErrnoOfLastError(); }

void RemoveEmptyFolder(const char* name) { RemoveDirectoryA(name); }

#else

StartingDirectory::StartingDirectory() : handle(-1) {}

StartingDirectory::~StartingDirectory() {
  if (handle >= 0) close(handle);
}

int StartingDirectory::Save() {
  if (handle < 0) handle = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return handle >= 0 ? 0 : errno;
}

namespace {

// Creates the folder `name` unless it exists and enters it; with `follow_links` false, not
// through a symbolic link (ELOOP).
int EnterFolder(const char* name, bool, bool follow_links) {
  if (mkdir(name, 0777) != 0 && errno != EEXIST) return errno;  // the umask applies
  if (!follow_links) {
    struct stat status;
    if (lstat(name, &status) != 0) return errno;
    if (S_ISLNK(status.st_mode)) return ELOOP;
  }
  return chdir(name) == 0 ? 0 : errno;
}

}  // namespace

int StartingDirectory::Return() { return fchdir(handle) == 0 ? 0 : errno; }

int LeaveSubfolder() { return chdir("..") == 0 ? 0 : errno; }

void RemoveEmptyFolder(const char* name) { rmdir(name); }

#endif

int StartingDirectory::Enter(const char* name, bool utf8_name) {
  return EnterFolder(name, utf8_name, true);
}

int EnterSubfolder(const char* name, bool utf8_name) { return EnterFolder(name, utf8_name, false); }

bool EnterImageFolder(char* path, const char* shown, Diagnostics& diagnostics) {
  for (char* part = path;;) {
    char* end = strchr(part, '/');
    if (end != nullptr) *end = '\0';
    const int error = EnterSubfolder(part, true);
    if (error != 0) {
      diagnostics.Report(shown, "cannot create or enter the folder \"%s\": %s; image skipped", part,
                         strerror(error));
      return false;
    }
    if (end == nullptr) return true;
    part = end + 1;
  }
}

bool EnterDiskFolder(StartingDirectory& start, const char* name, Diagnostics& diagnostics) {
  int error = start.Save();
  if (error == 0) error = StartingDirectory::Enter(name);
  if (error != 0) {
    diagnostics.Report(name, "cannot create or enter the directory: %s; disk skipped",
                       strerror(error));
  }
  return error == 0;
}

bool LeaveDiskFolder(StartingDirectory& start, const char* name, Diagnostics& diagnostics) {
  const int error = start.Return();
  if (error != 0) {
    diagnostics.Report(name, "cannot return to the starting directory: %s; run stopped",
                       strerror(error));
  }
  return error == 0;
}
