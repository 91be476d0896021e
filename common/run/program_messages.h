// What the two programs share in their messages: the open-failure message, the reports about a
// disk's directory, and the exit statuses at the end of a run.
#ifndef COMMON_RUN_PROGRAM_MESSAGES_H_
#define COMMON_RUN_PROGRAM_MESSAGES_H_

#include "common/console/diagnostics.h"
#include "common/run/extraction_run.h"

// Shift-JIS "ファイルをオープンできません" (the file cannot be opened) and a line feed; the
// same in UTF-8, for runs with UTF-8 names.
extern const char kCannotOpenImage[];
extern const char kCannotOpenImageUtf8[];

// Writes one of the Japanese messages to standard error: `utf8` with UTF-8 names (-u) or where
// standard error is a terminal whose locale shows UTF-8 (on Windows, a console, written through
// the wide console API); otherwise `shift_jis`, the bytes that pipes and files have always had.
void WriteJapaneseMessage(bool utf8_names, const char* shift_jis, const char* utf8);

// Reports that the directory read of disk `name` returned nothing: no sector 1 of
// `sector_bytes` bytes on `track`.
void ReportNoDirectory(Diagnostics& diagnostics, const char* name, int track, int sector_bytes);

// Reports that listed entry `index`, named `name`, lies beyond the directory bytes read from this
// disk.
void ReportEntryNotRead(Diagnostics& diagnostics, const char* name, int index);

constexpr int kExitSuccess = 0;   // every listed file written in full under its listed name
constexpr int kExitFailure = 1;   // usage, or the image cannot be opened
constexpr int kExitProblems = 2;  // the run went through, with diagnostics

// Flushes standard output, reports it through `diagnostics` if it could not be written, and
// returns the exit status of a run that went through: kExitProblems after any diagnostic,
// otherwise kExitSuccess.
int FinishRun(Diagnostics& diagnostics);

// The same for a run that lists names: first, when a name it showed on a UTF-8 terminal was not
// UTF-8, a note (which leaves the status alone) that -u shows them in UTF-8.
int FinishRun(ExtractionRun& run);

#endif  // COMMON_RUN_PROGRAM_MESSAGES_H_
