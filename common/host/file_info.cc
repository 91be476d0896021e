// File identity on POSIX systems (device and inode) and Windows (volume and file index).
#include "common/host/file_info.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#ifdef _WIN32

namespace {

bool InfoFromHandle(HANDLE handle, FileInfo& info) {
  info = FileInfo();
  if (handle == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return false;
  }
  BY_HANDLE_FILE_INFORMATION facts;
  const bool got = GetFileInformationByHandle(handle, &facts) != 0;
  const DWORD type = GetFileType(handle);
  CloseHandle(handle);
  if (!got) {
    errno = EIO;
    return false;
  }
  info.device = facts.dwVolumeSerialNumber;
  info.index = (static_cast<uint64_t>(facts.nFileIndexHigh) << 32) | facts.nFileIndexLow;
  info.size =
      static_cast<int64_t>((static_cast<uint64_t>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow);
  info.directory = (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.regular = !info.directory && type == FILE_TYPE_DISK;
  info.known = true;
  return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

bool GetFileInfo(const char* path, FileInfo& info) {
  return InfoFromHandle(
      CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
      info);
}

bool GetFileInfo(const wchar_t* path, FileInfo& info) {
  return InfoFromHandle(
      CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
      info);
}

bool WideFileName(const char* name, bool utf8_name, wchar_t* wide) {
  return MultiByteToWideChar(utf8_name ? CP_UTF8 : 932, 0, name, -1, wide, MAX_PATH) > 0;
}

#else

bool GetFileInfo(const char* path, FileInfo& info) { return GetFileInfoAt(AT_FDCWD, path, info); }

bool GetFileInfoAt(int folder, const char* name, FileInfo& info) {
  info = FileInfo();
  struct stat facts;
  if (fstatat(folder, name, &facts, 0) != 0) return false;
  info.device = static_cast<uint64_t>(facts.st_dev);
  info.index = static_cast<uint64_t>(facts.st_ino);
  info.size = static_cast<int64_t>(facts.st_size);
  info.regular = S_ISREG(facts.st_mode);
  info.directory = S_ISDIR(facts.st_mode);
  info.known = true;
  return true;
}

#endif

bool SameFile(const FileInfo& a, const FileInfo& b) {
  return a.known && b.known && a.device == b.device && a.index == b.index;
}

bool IsPathSeparator(char c) {
#ifdef _WIN32
  if (c == '\\') return true;
#endif
  return c == '/';
}

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (IsPathSeparator(*c)) base = c + 1;
  }
  return base;
}
