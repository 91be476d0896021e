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

int WorkInOwnFolder() { return ENOSYS; }
void EndOwnFolder() {}

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

namespace {

// The thread's own folder, or -1: the process's current directory.
struct OwnFolder {
  int handle = -1;
  ~OwnFolder() {
    if (handle >= 0) close(handle);
  }
  // Makes `folder` the thread's, closing the one before.
  void Take(int folder) {
    if (handle >= 0) close(handle);
    handle = folder;
  }
};
thread_local OwnFolder own;

// Makes the folder `name` (relative to the thread's) the thread's own: true, or false with errno.
bool MoveOwnFolder(const char* name) {
  const int folder = openat(own.handle, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  own.Take(folder);
  return true;
}

}  // namespace

int WorkInOwnFolder() {
  if (own.handle < 0) own.handle = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return own.handle >= 0 ? 0 : errno;
}

void EndOwnFolder() { own.Take(-1); }

int WorkingFolder() { return own.handle >= 0 ? own.handle : AT_FDCWD; }

StartingDirectory::StartingDirectory() : handle(-1) {}

StartingDirectory::~StartingDirectory() {
  if (handle >= 0) close(handle);
}

int StartingDirectory::Save() {
  if (handle < 0) {
    handle = own.handle >= 0 ? fcntl(own.handle, F_DUPFD_CLOEXEC, 0)
                             : open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  return handle >= 0 ? 0 : errno;
}

namespace {

// Creates the folder `name` unless it exists and enters it; with `follow_links` false, not
// through a symbolic link (ELOOP).
int EnterFolder(const char* name, bool, bool follow_links) {
  // The umask applies.
  if (mkdirat(WorkingFolder(), name, 0777) != 0 && errno != EEXIST) return errno;
  if (!follow_links) {
    struct stat status;
    if (fstatat(WorkingFolder(), name, &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (S_ISLNK(status.st_mode)) return ELOOP;
  }
  if (own.handle >= 0) return MoveOwnFolder(name) ? 0 : errno;
  return chdir(name) == 0 ? 0 : errno;
}

}  // namespace

int StartingDirectory::Return() {
  if (own.handle < 0) return fchdir(handle) == 0 ? 0 : errno;
  const int folder = fcntl(handle, F_DUPFD_CLOEXEC, 0);
  if (folder < 0) return errno;
  own.Take(folder);
  return 0;
}

int LeaveSubfolder() {
  if (own.handle >= 0) return MoveOwnFolder("..") ? 0 : errno;
  return chdir("..") == 0 ? 0 : errno;
}

void RemoveEmptyFolder(const char* name) { unlinkat(WorkingFolder(), name, AT_REMOVEDIR); }

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
