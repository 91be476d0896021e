// Messages and the end of a run, shared by both programs.
#include "extraction/program_messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const char kCannotOpenImage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xc5\x82\xab"
    "\x82\xdc\x82\xb9\x82\xf1\n";
const char kCannotOpenImageUtf8[] = "ファイルをオープンできません\n";

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
