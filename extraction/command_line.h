// What both programs share on their command lines: --help and --version, the options -l, -u and
// -C DIR, and the start of a run that honours them.
#ifndef EXTRACTION_COMMAND_LINE_H_
#define EXTRACTION_COMMAND_LINE_H_

#include "diskimage/d88_image.h"
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

// Starts a run whose options are parsed: notes whether standard output is a terminal, checks that
// the system can convert Shift-JIS when UTF-8 names are asked for, opens `image_path` into
// `image` (see OpenImage; `all_disks` as there) and, unless the run only lists, enters
// `output_directory` when there is one, creating it and its missing parents. Returns false,
// after the message or diagnostic that says why, when any of that fails.
bool StartRun(ExtractionRun& run, const char* image_path, const char* output_directory,
              diskimage::D88Image& image, bool all_disks);

#endif  // EXTRACTION_COMMAND_LINE_H_
