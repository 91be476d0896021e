// What both programs share on their command lines: --help and --version, the options -l, -u and
// -C DIR, and the start of a run that honours them.
#ifndef EXTRACTION_COMMAND_LINE_H_
#define EXTRACTION_COMMAND_LINE_H_

#include "extraction/extraction_run.h"

// When "--help" or "--version" is the only argument, prints `help`, or the program's name and
// version, on standard output, sets `status` to 0 and returns true; otherwise returns false.
bool AnswerInformationRequest(int argc, char** argv, const char* program, const char* help,
                              int& status);

enum class CommonOption { kTaken, kNotOne, kMissingDirectory };

// Takes argv[i] when it is -l (list only), -u (UTF-8 names) or -C followed by a directory, which
// goes into `directory`; `i` then points at the last argument taken. -C as the last argument is
// kMissingDirectory; any other argument kNotOne.
CommonOption TakeCommonOption(int argc, char** argv, int& i, ExtractionRun& run,
                              const char*& directory);

// Readies `run` for its listing (is standard output a terminal?) and, with UTF-8 names, checks
// that the system can convert Shift-JIS; returns false after a diagnostic when it cannot.
bool StartRun(ExtractionRun& run);

// Creates `directory` and any missing parents unless they exist, and makes it the current
// directory. Returns 0, or the errno value of the step that failed.
int EnterOutputDirectory(const char* directory);

#endif  // EXTRACTION_COMMAND_LINE_H_
