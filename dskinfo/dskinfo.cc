// dskinfo's command line and its loop over images and disks.
#include "dskinfo/dskinfo.h"

#include <cstdio>
#include <cstring>

#include "diskimage/identify.h"
#include "dskinfo/disk_report.h"
#include "extraction/command_line.h"
#include "extraction/file_info.h"
#include "extraction/image_check.h"
#include "extraction/image_folder.h"
#include "extraction/listed_name.h"
#include "extraction/open_image.h"
#include "extraction/program_messages.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const char kUsage[] = "Usage: dskinfo IMAGE... [--json | --jsonl]\n";

const char kHelp[] =
    "Usage: dskinfo IMAGE... [--json | --jsonl]\n"
    "       dskinfo --help | --version\n"
    "\n"
    "Says what every disk of each floppy-disk image holds (D88, raw sector dump,\n"
    "FDI, DIM, NFD, DCP/DCU or IMD, recognised by content): the container, its name,\n"
    "media, write protection, geometry (and what departs from it: FM tracks,\n"
    "duplicate sector IDs, sectors with error status, ...), its file system (fat12,\n"
    "human68k, n88-basic, hu-basic, f-basic, cpm, mz-basic), or the game layout that\n"
    "dskcut or dskpull reads, or unformatted or unknown, with the evidence found, its\n"
    "files and space, and which program reads it. Images are never modified; IMAGE\n"
    "may be a pipe, \"-\" for standard input, or a folder: the images below it (by\n"
    "their extensions: .d88, .d77, .2d, .hdm, .xdf, .dim, .fdi, .nfd, .dcp, .imd,\n"
    "...; no link followed), in name order.\n"
    "\n"
    "Options:\n"
    "  --json   one JSON document on standard output instead of text\n"
    "  --jsonl  one JSON object per image, a line each, written as each is read\n"
    "\n"
    "Problems are reported on standard error, one line each: \"dskinfo: NAME: reason\".\n"
    "\n"
    "Exit status: 0 when every image was read; 1 for usage; 2 when an image could\n"
    "not be opened, is no disk image or was not read whole (the others are still\n"
    "reported).\n";

// Checks the disks of the open image in turn; returns how many are read, up to the first that is
// no D88 disk.
int CheckDisks(ExtractionRun& run, diskimage::DiskImage& image, const char* path) {
  int disk = 0;
  while (disk < image.DiskCount() && image.SelectDisk(disk) &&
         CheckImageDisk(run, path, image, disk)) {
    ++disk;
  }
  return disk;
}

// Prints the image's "container" and "unrecorded" members (null and [] for no container).
void PrintContainerJson(diskimage::ContainerKind container) {
  if (container == diskimage::ContainerKind::kNone) {
    fputs(", \"container\": null, \"unrecorded\": []", stdout);
    return;
  }
  printf(", \"container\": \"%s\", \"unrecorded\": [%s]", diskimage::ContainerName(container),
         diskimage::ContainerUnrecorded(container)[0] != '\0'
             ? "\"sector_ids\", \"density\", \"deleted_marks\", \"read_errors\""
             : "");
}

// Where JSON output puts its line breaks: one document, or one line per image.
struct JsonLayout {
  const char* first_image;
  const char* next_image;
  const char* first_disk;
  const char* next_disk;
  const char* disks_end;
  const char* no_disks_end;
};
constexpr JsonLayout kJsonDocument = {"\n  {", ",\n  {", "\n    ", ",\n    ", "\n  ]}", "]}"};
constexpr JsonLayout kJsonLines = {"{", "{", "", ", ", "]}\n", "]}\n"};

// Reports the first `disks` disks of the open image; as JSON laid out by `json`, or as text when
// it is nullptr.
void ReportImage(ExtractionRun& run, DskinfoState& state, const char* path, int disks,
                 const JsonLayout* json) {
  diskimage::DiskImage& image = state.image;
  for (int disk = 0; disk < disks; ++disk) {
    image.SelectDisk(disk);
    state.map.Load(image.Disk());
    DiskReport report;
    report.index = disk;
    ListedName name;
    PrepareListedName(run, image.DiskName(), name);
    report.name = json != nullptr ? name.name : name.shown;
    report.media = image.MediaType();
    report.write_protected = image.WriteProtected();
    report.disk_size = image.DiskSize();
    report.container = image.Container();
    report.geometry = state.map.Summarize();
    diskimage::Identify(state.map, state.file_system, report.identification);
    if (json != nullptr) {
      fputs(disk == 0 ? json->first_disk : json->next_disk, stdout);
      PrintDiskJson(report);
    } else {
      PrintDiskText(report, path);
    }
  }
}

// Reports each image it is given: the command line's, and those found in its folders.
class ImageReport final : public ImageVisitor {
 public:
  ImageReport(ExtractionRun& run, DskinfoState& state, const JsonLayout* json)
      : run(run), state(state), json(json) {}

  void Visit(const char* path, const char*) override {
    run.diagnostics.KeepNextReason();
    const bool opened = OpenImage(run, path, state.image);
    const int disks = opened ? CheckDisks(run, state.image, path) : 0;
    if (json != nullptr) {
      fputs(listed++ == 0 ? json->first_image : json->next_image, stdout);
      fputs("\"path\": ", stdout);
      PrintJsonString(path);
      PrintContainerJson(opened ? state.image.Container() : diskimage::ContainerKind::kNone);
      fputs(", \"error\": ", stdout);
      if (run.diagnostics.FirstReason()[0] != '\0') {
        PrintJsonString(run.diagnostics.FirstReason());
      } else {
        fputs("null", stdout);
      }
      fputs(", \"disks\": [", stdout);
    } else {
      if (listed++ > 0) putchar('\n');
      printf("%s\n", path);
    }
    ReportImage(run, state, path, disks, json);
    if (json != nullptr) {
      fputs(disks > 0 ? json->disks_end : json->no_disks_end, stdout);
      if (json == &kJsonLines) fflush(stdout);  // each line as soon as its image is read
    }
    state.image.Open(nullptr);
  }

 private:
  ExtractionRun& run;
  DskinfoState& state;
  const JsonLayout* json;
  int listed = 0;
};

}  // namespace

int RunDskinfo(int argc, char** argv, DskinfoState& state) {
  int status;
  if (AnswerInformationRequest(argc, argv, "dskinfo", kHelp, true, status)) return status;
  const JsonLayout* json = nullptr;
  int images = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--json") == 0) {
      json = &kJsonDocument;
    } else if (strcmp(argv[i], "--jsonl") == 0) {
      json = &kJsonLines;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      fprintf(stderr, "dskinfo: unknown option \"%s\"\n%s", argv[i], kUsage);
      return kExitFailure;
    } else {
      ++images;
    }
  }
  if (images == 0) {
    fputs(kUsage, stderr);
    fputs("Try 'dskinfo --help'.\n", stderr);
    return kExitFailure;
  }
  ExtractionRun run("dskinfo");
  run.utf8_names = true;
  run.japanese_open_message = false;
  run.map_image = false;  // identification reads few of an image's sectors
#ifdef _WIN32
  run.terminal_listing = json == nullptr && _isatty(_fileno(stdout)) != 0;
#else
  run.terminal_listing = json == nullptr && isatty(STDOUT_FILENO) != 0;
#endif
  if (json == &kJsonDocument) fputs("{\"images\": [", stdout);
  ImageReport report(run, state, json);
  for (int i = 1; i < argc; ++i) {
    const char* path = argv[i];
    if (strcmp(path, "--json") == 0 || strcmp(path, "--jsonl") == 0) continue;
    FileInfo info;
    if (strcmp(path, "-") != 0 && GetFileInfo(path, info) && info.directory) {
      WalkImageFolder(path, run.diagnostics, report);
    } else {
      report.Visit(path, path);
    }
  }
  if (json == &kJsonDocument) fputs("\n]}\n", stdout);
  return FinishRun(run.diagnostics);
}
