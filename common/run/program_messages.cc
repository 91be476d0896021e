// Messages and the end of a run, shared by both programs.
#include "common/run/program_messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/console/shift_jis_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

const char kCannotOpenImage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xc5\x82\xab"
    "\x82\xdc\x82\xb9\x82\xf1\n";
const char kCannotOpenImageUtf8[] = "ファイルをオープンできません\n";

void WriteJapaneseMessage(bool utf8_names, const char* shift_jis, const char* utf8) {
#ifdef _WIN32
  HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!utf8_names && GetConsoleMode(console, &mode)) {
    wchar_t wide[256];
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 256);
    DWORD written = 0;
    if (length > 1 &&
        WriteConsoleW(console, wide, static_cast<DWORD>(length - 1), &written, nullptr)) {
      return;
    }
  }
  const bool utf8_terminal = false;
#else
  const bool utf8_terminal = isatty(STDERR_FILENO) != 0 && LocaleIsUtf8();
#endif
  fputs(utf8_names || utf8_terminal ? utf8 : shift_jis, stderr);
}

void ReportNoDirectory(Diagnostics& diagnostics, const char* name, int track, int sector_bytes) {
  diagnostics.Report(name,
                     "no directory: track %d holds no sector 1 of %d bytes (dskinfo says what "
                     "the disk holds)",
                     track, sector_bytes);
}

void ReportEntryNotRead(Diagnostics& diagnostics, const char* name, int index) {
  diagnostics.Report(name, "directory entry %d was not read from this disk", index);
}

int FinishRun(ExtractionRun& run) {
  if (run.listed_name_not_utf8) {
    run.diagnostics.Note("the names are Shift-JIS, as the disk holds them; -u shows them in UTF-8");
  }
  return FinishRun(run.diagnostics);
}

int FinishRun(Diagnostics& diagnostics) {
  errno = 0;
  if (fflush(stdout) != 0 || ferror(stdout)) {
    const int error = errno != 0 ? errno : EIO;
    diagnostics.Report("standard output", "the listing could not be written: %s", strerror(error));
  }
  return diagnostics.Count() > 0 ? kExitProblems : kExitSuccess;
}
