// File times from recorded local dates, on POSIX systems and Windows.
#include "common/writing/file_time.h"

#include <cerrno>
#include <ctime>

#include "common/host/file_info.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>

#include "common/writing/working_directory.h"
#endif

namespace {

// The time of a local date, as mktime gives it. The last answer is kept: a disk's files often
// share their date, and each mktime looks at the system's time-zone file again.
time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  thread_local int last[6] = {-1, -1, -1, -1, -1, -1};
  thread_local time_t last_time = static_cast<time_t>(-1);
  const int date[6] = {year, month, day, hour, minute, second};
  bool same = true;
  for (int i = 0; i < 6; ++i) same = same && date[i] == last[i];
  if (same) return last_time;
  struct tm local = {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;  // whatever daylight saving time was in force then
  last_time = mktime(&local);
  for (int i = 0; i < 6; ++i) last[i] = date[i];
  return last_time;
}

}  // namespace

int SetModificationTime(const char* name, bool utf8_name, int year, int month, int day, int hour,
                        int minute, int second) {
  const time_t when = LocalTime(year, month, day, hour, minute, second);
  if (when == static_cast<time_t>(-1)) return EINVAL;
#ifdef _WIN32
  wchar_t wide[MAX_PATH];
  if (!WideFileName(name, utf8_name, wide)) return EINVAL;
  // Folders open only with backup semantics; files and folders alike take the time this way.
  const HANDLE handle = CreateFileW(wide, FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return EACCES;
  // 100-nanosecond intervals since 1601-01-01.
  const ULONGLONG ticks = (static_cast<ULONGLONG>(when) + 11644473600ULL) * 10000000ULL;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const BOOL set = ::SetFileTime(handle, nullptr, &time, &time);
  CloseHandle(handle);
  return set ? 0 : EACCES;
#else
  (void)utf8_name;
  struct timespec times[2] = {};
  times[0].tv_sec = when;
  times[1].tv_sec = when;
  return utimensat(WorkingFolder(), name, times, 0) == 0 ? 0 : errno;
#endif
}
