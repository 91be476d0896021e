// dskinfo's command line and its loop over images and disks.
#include "dskinfo/dskinfo.h"

#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/catalogue/disk_content_hash.h"
#include "common/catalogue/file_hashes.h"
#include "common/collections/collection.h"
#include "common/collections/image_folder.h"
#include "common/collections/image_jobs.h"
#include "common/console/output.h"
#include "common/host/file_info.h"
#include "common/run/command_line.h"
#include "common/run/image_check.h"
#include "common/run/listed_name.h"
#include "common/run/open_image.h"
#include "common/run/program_messages.h"
#include "common/writing/disk_tree.h"
#include "diskimage/container_fit.h"
#include "diskimage/identify.h"
#include "dskinfo/disk_report.h"
#include "dskinfo/file_catalogue.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const char kUsage[] =
    "Usage: dskinfo IMAGE... [--all] [--files] [--json | --jsonl | --dat] [-j N]\n";

const char kHelp[] =
    "Usage: dskinfo IMAGE... [--all] [--files] [--json | --jsonl | --dat] [-j N]\n"
    "       dskinfo --help | --version\n"
    "\n"
    "Says what every disk of each floppy-disk image holds (D88, raw sector dump,\n"
    "FDI, DIM, NFD, DCP/DCU, IMD, FDD, DSK, Extended DSK or TD0, recognised by\n"
    "content): the container, its name, media, write protection, geometry (and what\n"
    "departs from it: FM tracks, duplicate sector IDs, sectors with error status,\n"
    "...), its file system (fat12, human68k, n88-basic, hu-basic, f-basic, cpm,\n"
    "mz-basic), or the game layout that dskcut or dskpull reads, or unformatted or\n"
    "unknown, with the evidence found, its files and space, and which program reads\n"
    "it. Images are never modified; IMAGE may be a pipe, \"-\" for standard input, a\n"
    "folder: the images and archives below it (by their extensions: .d88, .d77, .2d,\n"
    ".dsk, .bin, .hdm, .xdf, .img, .dim, .fdi, .nfd, .dcp, .imd, .td0, ...; .zip,\n"
    ".7z, .lzh, .cab, .rar, .tar, .tar.gz, ...; no link followed), in name order, or\n"
    "an archive: the images inside it, as ARCHIVE:MEMBER. The files passed over by\n"
    "their names are counted at the end.\n"
    "\n"
    "Options:\n"
    "  --all    try every file of folders and archives, whatever its name\n"
    "  --json   one JSON document on standard output instead of text\n"
    "  --jsonl  one JSON object per image, a line each, written as each is read\n"
    "  --files  also, per disk, every file dskget would write (JSON: \"file_list\"),\n"
    "           by its path below the disk's folder: size, date, type, damage,\n"
    "           CRC32, MD5, SHA-1 and SHA-256; and each image's size, CRC32, SHA-1;\n"
    "           JSON: each disk's \"content_sha1\", of its sectors in order, the same\n"
    "           in every container\n"
    "  --dat    a Logiqx XML datafile for ROM managers instead: a game per image,\n"
    "           a rom per file (000/FILE.BIN; status good, or baddump where\n"
    "           damaged), each disk's content hash in a comment, named after the\n"
    "           first IMAGE\n"
    "  -j N     read N images at a time on N threads (default: one per core); the\n"
    "           output is the same for any N\n"
    "\n"
    "Problems are reported on standard error, one line each: \"dskinfo: NAME: reason\".\n"
    "\n"
    "Exit status: 0 when every image was read; 1 for usage; 2 when an image could\n"
    "not be opened, is no disk image or was not read whole, or a folder or archive\n"
    "holds no image (the others are still reported).\n";

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
    OutText(", \"container\": null, \"unrecorded\": []");
    return;
  }
  OutPrintf(", \"container\": \"%s\", \"unrecorded\": [", diskimage::ContainerName(container));
  const char* keys = diskimage::ContainerUnrecordedKeys(container);
  for (const char* key = keys; *key != '\0';) {
    const size_t length = strcspn(key, " ");
    OutPrintf("%s\"%.*s\"", key == keys ? "" : ", ", static_cast<int>(length), key);
    key += length + (key[length] == ' ' ? 1 : 0);
  }
  OutChar(']');
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

// What a run prints.
struct ReportOptions {
  const JsonLayout* json;  // nullptr: text (or the datafile)
  bool files;              // each disk's files with their hashes
  bool dat;                // a Logiqx datafile
  bool every_file;         // every file of folders and archives tried, whatever its name
};

// The datafile's games, named as dskget names the images' folders: 4 MB of address space, whose
// pages are touched as names come.
NameSlot image_folder_slots[size_t{1} << 18];
NameRegistry image_folders(image_folder_slots,
                           sizeof image_folder_slots / sizeof *image_folder_slots);

// What one reader of images uses: the disks' state, its own diagnostics, the names a disk's files
// get (a disk's at a time: 128 KB, cleared per image as used) and the bytes of its files (the
// largest data area of the disks it read).
struct ImageReader {
  DskinfoState* state = nullptr;
  ExtractionRun run{"dskinfo"};
  NameSlot name_slots[size_t{1} << 13];
  NameRegistry names{name_slots, sizeof name_slots / sizeof name_slots[0]};
  TreeBuffer file_buffer;
  char tree_path[kTreePathSize];
};

// Prints the files of disk `disk`, identified as `kind`, in `format`; false when dskget does not
// read it (or there is no memory for its files, said).
bool CatalogueDisk(ImageReader& reader, diskimage::FileSystemKind kind, int disk,
                   CatalogueFormat format) {
  ExtractionRun& run = reader.run;
  diskimage::FileSystem& file_system = reader.state->file_system;
  if (!WalksDisk(file_system, kind)) return false;
  const int64_t volume = DiskDataBytes(file_system, kind);
  char folder[12];
  snprintf(folder, sizeof folder, "%03d", disk);
  if (!reader.file_buffer.Reserve(volume)) {
    run.diagnostics.Report(folder, "not enough memory for %" PRId64 " bytes; files not listed",
                           volume);
    return false;
  }
  FileCatalogue catalogue(format, folder);
  reader.tree_path[0] = '\0';
  DiskTree tree = {&file_system, &reader.names,   &catalogue, nullptr,
                   true,         false,           "",         reader.file_buffer.Bytes(),
                   volume,       reader.tree_path};
  WalkDisk(tree, reader.state->map, kind, NameRegistry::FolderKey(0, folder));
  return true;
}

// Writes the content hash of the disk `map` maps as 40 hexadecimal digits and a NUL.
void FormatContentHash(const diskimage::DiskMap& map, char* text) {
  unsigned char sha1[20];
  HashDiskContent(map, sha1);
  FormatHex(sha1, sizeof sha1, text);
}

// Reports the first `disks` disks of the open image as `options` say; `path` names it, and the
// text's command reads `file`, which holds it.
void ReportImage(ImageReader& reader, const char* path, const char* file, int disks,
                 const ReportOptions& options) {
  ExtractionRun& run = reader.run;
  DskinfoState& state = *reader.state;
  diskimage::DiskImage& image = state.image;
  const JsonLayout* json = options.json;
  reader.names.Clear();
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
    report.in_archive = strcmp(file, path) != 0;
    report.geometry = state.map.Summarize();
    char content_sha1[41];
    report.content_sha1 = nullptr;
    if (options.files && json != nullptr) {
      FormatContentHash(state.map, content_sha1);
      report.content_sha1 = content_sha1;
    }
    diskimage::Identify(state.map, state.file_system, report.identification);
    // The label and the containers that hold the disk, which the datafile does not give.
    ListedName shown_label;
    report.label = "";
    report.held_by_count = 0;
    if (!options.dat) {
      char label[12];
      state.file_system.VolumeLabel(label);
      PrepareListedName(run, label, shown_label);
      report.label = json != nullptr ? shown_label.name : shown_label.shown;
      const diskimage::DiskFacts facts = {image.DiskName(), image.WriteProtected()};
      for (diskimage::ContainerKind target : diskimage::kWritableContainers) {
        if (diskimage::FindContainerLosses(target, state.map, facts, nullptr, 0) == 0) {
          report.held_by[report.held_by_count++] = diskimage::ContainerName(target);
        }
      }
    }
    if (options.dat) {
      CatalogueDisk(reader, report.identification.kind, disk, CatalogueFormat::kDat);
    } else if (json != nullptr) {
      OutText(disk == 0 ? json->first_disk : json->next_disk);
      PrintDiskJson(report);
      if (options.files && !WalksDisk(state.file_system, report.identification.kind)) {
        OutText(", \"file_list\": null");
      } else if (options.files) {
        OutText(", \"file_list\": [");
        CatalogueDisk(reader, report.identification.kind, disk, CatalogueFormat::kJson);
        OutChar(']');
      }
      OutChar('}');
    } else {
      PrintDiskText(report, file);
      if (options.files) {
        CatalogueDisk(reader, report.identification.kind, disk, CatalogueFormat::kText);
      }
    }
  }
  if (reader.names.Full()) {
    run.diagnostics.Report(path,
                           "too many names to keep apart; later names were not checked "
                           "against earlier ones");
  }
}

// Prints the image's own size and hashes, as --files adds them: of the bytes the open `opened`
// holds, or read again from its path where it holds none (a large D88 image, read where it lies);
// null where neither can be.
void PrintImageHashes(const CollectionImage& image, const diskimage::DiskImage& opened, bool json) {
  FileHashes hashes = {};
  int64_t size = 0;
  bool hashed = true;
  if (opened.Bytes() != nullptr) {
    Hasher hasher(true);
    hasher.Add(opened.Bytes(), static_cast<size_t>(opened.ImageSize()));
    hasher.Finish(hashes);
    size = opened.ImageSize();
  } else {
    hashed =
        image.path != nullptr && strcmp(image.path, "-") != 0 && HashFile(image.path, hashes, size);
  }
  char sha1[41];
  FormatHex(hashes.sha1, sizeof hashes.sha1, sha1);
  if (json && hashed) {
    OutPrintf(", \"size\": %" PRId64 ", \"crc32\": \"%08" PRIx32 "\", \"sha1\": \"%s\"", size,
              hashes.crc32, sha1);
  } else if (json) {
    OutText(", \"size\": null, \"crc32\": null, \"sha1\": null");
  } else if (hashed) {
    OutPrintf("image: %" PRId64 " bytes, crc32 %08" PRIx32 ", sha1 %s\n", size, hashes.crc32, sha1);
  }
}

// What the walk's side settles for each image, in the images' order: whether it is the first
// listed, and the folder dskget gives it in a run over several (the datafile's game's name, and
// JSON's "folder"; the text says neither, and spends no name on it).
struct ImageNote {
  bool first;
  char folder[kImageFolderSize];
};

// Reports one image on `reader`, as `note` says.
void ReportOneImage(ImageReader& reader, const CollectionImage& image, const ImageNote& note,
                    const ReportOptions& options) {
  ExtractionRun& run = reader.run;
  DskinfoState& state = *reader.state;
  const char* path = image.shown;
  const JsonLayout* json = options.json;
  run.diagnostics.KeepNextReason();
  bool opened = true;
  if (image.path != nullptr) {
    opened = OpenImage(run, image.path, state.image);
  } else {
    OpenImageBytes(run, image.shown, image.bytes, image.size, state.image);
  }
  const int disks = opened ? CheckDisks(run, state.image, path) : 0;
  if (options.dat) {
    OutText("\t<game name=\"");
    PrintXmlText(note.folder);
    OutText("\">\n");
    for (int disk = 0; disk < disks; ++disk) {
      state.image.SelectDisk(disk);
      state.map.Load(state.image.Disk());
      char content_sha1[41];
      FormatContentHash(state.map, content_sha1);
      OutPrintf("\t\t<comment>%03d content_sha1 %s</comment>\n", disk, content_sha1);
    }
    OutText("\t\t<description>");
    PrintXmlText(path);
    OutText("</description>\n");
  } else if (json != nullptr) {
    OutText(note.first ? json->first_image : json->next_image);
    OutText("\"path\": ");
    PrintJsonString(path);
    OutText(", \"folder\": ");
    PrintJsonString(note.folder);
    if (options.files) PrintImageHashes(image, state.image, true);
    PrintContainerJson(opened ? state.image.Container() : diskimage::ContainerKind::kNone);
    OutText(", \"error\": ");
    if (run.diagnostics.FirstReason()[0] != '\0') {
      PrintJsonString(run.diagnostics.FirstReason());
    } else {
      OutText("null");
    }
    OutText(", \"disks\": [");
  } else {
    if (!note.first) OutChar('\n');
    OutPrintf("%s\n", path);
    if (options.files) PrintImageHashes(image, state.image, false);
  }
  ReportImage(reader, path, image.file, disks, options);
  if (options.dat) {
    OutText("\t</game>\n");
  } else if (json != nullptr) {
    OutText(disks > 0 ? json->disks_end : json->no_disks_end);
  }
  if (json == &kJsonLines || options.dat) OutFlush();  // each image as soon as it is read
  state.image.Open(nullptr);
}

// Reports each image it is given: the command line's, and those found in its folders and
// archives; on the calling thread, or, once HandTo is called, on the jobs' workers.
class ImageReport final : public CollectionVisitor, public ImageWork {
 public:
  ImageReport(ImageReader* readers, const ReportOptions& options)
      : readers(readers), options(options) {}

  // Hands the images given from now on to `started`, whose workers call ReadImage.
  void HandTo(ImageJobs& started) { jobs = &started; }

  void VisitImage(const CollectionImage& image) override {
    note.first = listed++ == 0;
    note.folder[0] = '\0';
    uint64_t key;
    if (options.dat || options.json != nullptr) {
      FormImageFolder(image_folders, image.folder, note.folder, key);
    }
    if (jobs != nullptr) {
      jobs->Submit(image, &note, offsetof(ImageNote, folder) + strlen(note.folder) + 1);
    } else {
      ReportOneImage(readers[0], image, note, options);
    }
  }

  void ReadImage(int worker, const CollectionImage& image, const void* given) override {
    ReportOneImage(readers[worker], image, *static_cast<const ImageNote*>(given), options);
  }

 private:
  ImageReader* readers;
  ImageJobs* jobs = nullptr;
  const ReportOptions& options;
  int listed = 0;
  ImageNote note;
};

// The datafile's header, named after the first IMAGE (its base name without its extension).
void PrintDatHeader(const char* first) {
  char path[4096];
  snprintf(path, sizeof path, "%s", strcmp(first, "-") == 0 ? "standard input" : first);
  for (size_t length = strlen(path); length > 1 && IsPathSeparator(path[length - 1]);) {
    path[--length] = '\0';
  }
  char name[4096];
  snprintf(name, sizeof name, "%s", BaseName(path));
  char* dot = strrchr(name, '.');
  if (dot != nullptr && dot != name) *dot = '\0';
  fputs(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
      "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
      "<datafile>\n\t<header>\n\t\t<name>",
      stdout);
  PrintXmlText(name);
  OutText("</name>\n\t\t<description>");
  PrintXmlText(name);
  OutPrintf(
      "</description>\n\t\t<version>dskinfo %s</version>\n\t\t<author>dskinfo</author>\n"
      "\t</header>\n",
      ProgramVersion());
}

}  // namespace

int RunDskinfo(int argc, char** argv, DskinfoState& state) {
  int status;
  if (AnswerInformationRequest(argc, argv, "dskinfo", kHelp, true, status)) return status;
  image_folders.Clear();  // a run names its images' folders afresh (the page runs it again)
  ReportOptions options = {nullptr, false, false, false};
  int images = 0;
  const char* first = nullptr;
  int workers = DefaultWorkerCount();
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "-j", 2) == 0) {
      if (!TakeWorkerCount("dskinfo", argc, argv, i, workers)) {
        fputs(kUsage, stderr);
        return kExitFailure;
      }
    } else if (strcmp(argv[i], "--json") == 0) {
      options.json = &kJsonDocument;
    } else if (strcmp(argv[i], "--jsonl") == 0) {
      options.json = &kJsonLines;
    } else if (strcmp(argv[i], "--files") == 0) {
      options.files = true;
    } else if (strcmp(argv[i], "--dat") == 0) {
      options.dat = true;
    } else if (strcmp(argv[i], "--all") == 0) {
      options.every_file = true;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      fprintf(stderr, "dskinfo: unknown option \"%s\"\n%s", argv[i], kUsage);
      return kExitFailure;
    } else if (images++ == 0) {
      first = argv[i];
    }
  }
  if (images == 0 || (options.dat && options.json != nullptr)) {
    fputs(kUsage, stderr);
    fputs("Try 'dskinfo --help'.\n", stderr);
    return kExitFailure;
  }
  if ((options.files || options.dat) && !HashesAvailable()) {
    fprintf(stderr, "dskinfo: %s: this build has no hashes (it was made without zlib and nettle)\n",
            options.dat ? "--dat" : "--files");
    return kExitFailure;
  }
  const JsonLayout* json = options.json;
  ExtractionRun run("dskinfo");
  run.utf8_names = true;
  run.japanese_open_message = false;
  // Identification reads few of an image's sectors; --files reads all of them, and hashes the
  // image from where they are.
  run.prefault_image = options.files;
#ifdef _WIN32
  run.terminal_listing = json == nullptr && !options.dat && _isatty(_fileno(stdout)) != 0;
#else
  run.terminal_listing = json == nullptr && !options.dat && isatty(STDOUT_FILENO) != 0;
#endif
  if (json == &kJsonDocument) OutText("{\"images\": [");
  if (options.dat) PrintDatHeader(first);
  // One reader on this thread; with workers, one each, the first this one's.
  static ImageReader first_reader;
  first_reader.state = &state;
  first_reader.run = ExtractionRun("dskinfo");  // a new run each time (the page runs it again)
  if (images == 1 && !IsCollection(first)) workers = 1;
  WorkerStates<ImageReader, DskinfoState> readers(first_reader, workers);
  for (int i = 0; i < readers.count; ++i) {
    ExtractionRun& reader_run = readers.workers[i].run;
    reader_run.utf8_names = run.utf8_names;
    reader_run.japanese_open_message = run.japanese_open_message;
    reader_run.prefault_image = run.prefault_image;
    reader_run.terminal_listing = run.terminal_listing;
  }
  ImageJobs jobs;
  ImageReport report(readers.workers, options);
  if (readers.count > 1 && jobs.Start(readers.count, report)) report.HandTo(jobs);
  int64_t passed_over = 0;
  for (int i = 1; i < argc; ++i) {
    const char* path = argv[i];
    if (strcmp(path, "-j") == 0) ++i;
    if (path[0] == '-' && path[1] != '\0') continue;
    passed_over += WalkCollection(path, options.every_file, run.diagnostics, report);
  }
  jobs.Stop();
  for (int i = 0; i < readers.count; ++i) {
    run.diagnostics.AddCount(readers.workers[i].run.diagnostics.Count());
  }
  NotePassedOver(run.diagnostics, passed_over);
  if (json == &kJsonDocument) OutText("\n]}\n");
  if (options.dat) OutText("</datafile>\n");
  return FinishRun(run.diagnostics);
}
