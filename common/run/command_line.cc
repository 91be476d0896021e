// The options and information requests that both programs take.
#include "common/run/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/console/diagnostics.h"
#include "common/console/shift_jis_names.h"
#include "common/host/file_info.h"
#include "common/run/open_image.h"

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

int MakeDirectory(const char* path) {
#ifdef _WIN32
  return _mkdir(path);
#else
  return mkdir(path, 0777);  // the umask applies
#endif
}

bool IsSeparator(char c) {
#ifdef _WIN32
  if (c == '\\') return true;
#endif
  return c == '/';
}

// Creates `directory` and any missing parents unless they exist, and makes it the current
// directory. Returns 0, or the errno value of the step that failed.
int EnterOutputDirectory(const char* directory) {
  char path[4096];
  if (snprintf(path, sizeof path, "%s", directory) >= static_cast<int>(sizeof path)) {
    return ENAMETOOLONG;
  }
  // Each missing parent first; a part that exists is fine, whatever the error says, as long as
  // the whole can be entered at the end.
  for (size_t i = 1; path[i] != '\0'; ++i) {
    if (IsSeparator(path[i]) && !IsSeparator(path[i - 1])) {
      const char separator = path[i];
      path[i] = '\0';
      MakeDirectory(path);
      path[i] = separator;
    }
  }
  const int made = MakeDirectory(path) == 0 ? 0 : errno;
#ifdef _WIN32
  if (_chdir(path) == 0) return 0;
#else
  if (chdir(path) == 0) return 0;
#endif
  return made != 0 && made != EEXIST ? made : errno;
}

}  // namespace

const char* ProgramVersion() { return DISKIMAGE_VERSION; }

bool AnswerInformationRequest(int argc, char** argv, const char* program, const char* help,
                              bool h_anywhere, int& status) {
  const char* request = nullptr;
  for (int i = 1; i < argc && request == nullptr; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "--version") == 0) request = argv[i];
    if (h_anywhere && strcmp(argv[i], "-h") == 0) request = "--help";
  }
  FileInfo info;
  if (request == nullptr && argc == 2 && strcmp(argv[1], "-h") == 0 && !GetFileInfo("-h", info)) {
    request = "--help";
  }
  if (request == nullptr) return false;
  errno = 0;
  if (strcmp(request, "--version") == 0) {
    printf("%s %s\n", program, ProgramVersion());
  } else {
    fputs(help, stdout);
  }
  status = 0;
  if (fflush(stdout) != 0 || ferror(stdout)) {
    Diagnostics diagnostics(program);
    diagnostics.Report("write error", "%s", strerror(errno != 0 ? errno : EIO));
    status = 2;
  }
  return true;
}

bool SplitShortOptions(const char* argument, const char* letters, char* taken) {
  if (argument[0] != '-' || argument[1] == '\0') return false;
  int count = 0;
  for (const char* c = argument + 1; *c != '\0'; ++c) {
    // C takes the next argument as its value, so it can only come last.
    if (strchr(letters, *c) == nullptr || count == kMaxBundledOptions ||
        (*c == 'C' && c[1] != '\0')) {
      return false;
    }
    taken[count++] = *c;
  }
  taken[count] = '\0';
  return true;
}

CommonOption TakeCommonOption(char letter, int argc, char** argv, int& i, ExtractionRun& run,
                              const char*& directory) {
  if (letter == 'l') {
    run.list_only = true;
  } else if (letter == 'u') {
    run.utf8_names = true;
  } else if (letter == 'C') {
    if (i + 1 >= argc) return CommonOption::kMissingDirectory;
    directory = argv[++i];
  } else {
    return CommonOption::kNotOne;
  }
  return CommonOption::kTaken;
}

void HintOptionsGoAfterTheImage(int argc, char** argv, const char* program, const char* usage) {
  if (argc < 3 || argv[1][0] != '-') return;
  for (int i = 2; i < argc; ++i) {
    FileInfo info;
    if (GetFileInfo(argv[i], info) && !info.directory) {
      fprintf(stderr, "%s: options go after the image: %s\n", program, usage);
      return;
    }
  }
}

namespace {

// StartRun with `open`, which opens the image and says whether the run goes on.
template <typename Open>
bool StartRunWith(ExtractionRun& run, const char* output_directory, Open open) {
#ifdef _WIN32
  run.terminal_listing = _isatty(_fileno(stdout)) != 0;
#else
  run.terminal_listing = isatty(STDOUT_FILENO) != 0;
#endif
  run.utf8_terminal = run.terminal_listing && !run.utf8_names && LocaleIsUtf8();
  int columns = 0;
  char converted[8];
  if (run.utf8_names &&
      diskimage::ShiftJisToUtf8("\x83\x41", converted, sizeof converted, columns) < 0) {
    run.diagnostics.Report("-u", "this system cannot convert Shift-JIS (code page 932) names");
    return false;
  }
  if (!open()) return false;
  if (output_directory == nullptr || run.list_only) return true;
  const int error = EnterOutputDirectory(output_directory);
  if (error != 0) {
    run.diagnostics.Report(output_directory, "cannot create or enter the directory: %s",
                           strerror(error));
    return false;
  }
  return true;
}

}  // namespace

bool StartRun(ExtractionRun& run, const char* image_path, const char* output_directory,
              diskimage::D88Image& image, bool all_disks) {
  return StartRunWith(run, output_directory,
                      [&] { return OpenImage(run, image_path, image, all_disks); });
}

bool StartRun(ExtractionRun& run, const char* image_path, const char* output_directory,
              diskimage::DiskImage& image) {
  return StartRunWith(run, output_directory,
                      [&] { return image_path == nullptr || OpenImage(run, image_path, image); });
}
