// What both programs share on their command lines: --help and --version, the options -l, -u and
// -C DIR, and the start of a run that honours them.
#ifndef COMMON_RUN_COMMAND_LINE_H_
#define COMMON_RUN_COMMAND_LINE_H_

#include "common/run/extraction_run.h"
#include "diskimage/d88_image.h"
#include "diskimage/disk_image.h"

// The programs' version ("1.2.0").
const char* ProgramVersion();

// When "--help" or "--version" is among the arguments (the first one found wins), or "-h" is the
// only one and names no file (with `h_anywhere`: "-h" is any of them, for programs whose every
// argument beginning with "-" is an option), prints `help`, or the program's name and version,
// on standard output and returns true, with `status` 0, or 2 after "PROGRAM: write error:
// REASON" on standard error when standard output cannot be written. Otherwise returns false.
bool AnswerInformationRequest(int argc, char** argv, const char* program, const char* help,
                              bool h_anywhere, int& status);

// Room for the letters of one argument of bundled short options, and its NUL.
constexpr int kMaxBundledOptions = 15;

// When `argument` is "-" followed only by letters of `letters` ("-lu", "-d2", "-lC"; a letter
// that takes a value, C, only last), copies those letters into `taken` (kMaxBundledOptions + 1
// bytes) and returns true; otherwise returns false.
bool SplitShortOptions(const char* argument, const char* letters, char* taken);

enum class CommonOption { kTaken, kNotOne, kMissingDirectory };

// Takes the option letter `letter` of argv[i] when it is l (list only), u (UTF-8 names) or C, whose
// directory is the next argument and goes into `directory` (`i` then points at it). C as the
// last argument is kMissingDirectory; any other letter kNotOne.
CommonOption TakeCommonOption(char letter, int argc, char** argv, int& i, ExtractionRun& run,
                              const char*& directory);

// When the first argument, which could not be opened as the image, begins with "-" while a later
// argument names a file, writes "PROGRAM: options go after the image: USAGE" on standard error.
void HintOptionsGoAfterTheImage(int argc, char** argv, const char* program, const char* usage);

// Starts a run whose options are parsed: notes whether standard output is a terminal, checks that
// the system can convert Shift-JIS when UTF-8 names are asked for, opens `image_path` into
// `image` (see OpenImage; `all_disks` as there) and, unless the run only lists, enters
// `output_directory` when there is one, creating it and its missing parents. Returns false,
// after the message or diagnostic that says why, when any of that fails.
bool StartRun(ExtractionRun& run, const char* image_path, const char* output_directory,
              diskimage::D88Image& image, bool all_disks);
// As above, for an image in any container; with `image_path` nullptr (a run over several images,
// each opened in its turn) nothing is opened.
bool StartRun(ExtractionRun& run, const char* image_path, const char* output_directory,
              diskimage::DiskImage& image);

#endif  // COMMON_RUN_COMMAND_LINE_H_
