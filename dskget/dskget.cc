// dskget's command line and its loops over the images named (and those in folders named) and
// over their disks.
#include "dskget/dskget.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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
#include "common/writing/output_names.h"
#include "common/writing/safe_file_name.h"
#include "common/writing/working_directory.h"
#include "diskimage/identify.h"
#include "dskget/extract_tree.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using diskimage::FileSystemKind;

const char kUsage[] = "Usage: dskget IMAGE... [-d] [-l] [-r] [-C DIR] [--all] [-j N]\n";

const char kHelp[] =
    "Usage: dskget IMAGE... [-d] [-l] [-r] [-C DIR] [--all] [-j N]\n"
    "       dskget --help | --version\n"
    "\n"
    "Extracts the files of every disk of a floppy-disk image (D88, raw sector dump,\n"
    "FDI, DIM, NFD, DCP/DCU, IMD, FDD, DSK, Extended DSK or TD0, recognised by\n"
    "content) that holds a standard file system: FAT12 (MS-DOS, MSX-DOS, FM TOWNS),\n"
    "Human68k (X68000), N88-BASIC (2D, 2DD, 2HD), Hu-BASIC (2D, 2HD), F-BASIC (2D),\n"
    "CP/M (X1turbo 2D; users 1-15 in folders 1 to 15) or Sharp MZ DISK BASIC (2D,\n"
    "2DD), folders included, each file with the date its disk recorded; or the\n"
    "dskcut or dskpull game layout, each file named and sized as that program writes\n"
    "it. The image is never modified. IMAGE may be a pipe, or \"-\" for standard\n"
    "input.\n"
    "\n"
    "Options, before or after the images:\n"
    "  -d      no per-disk folders: the files of all disks go into one folder\n"
    "  -l      list only: print the listing and the diagnostics, create nothing\n"
    "  -r      names as the disk's bytes (Shift-JIS) instead of UTF-8\n"
    "  -C DIR  extract into DIR, created if needed, as if started there\n"
    "  --all   try every file of folders and archives, whatever its name\n"
    "  -j N    read and write N images at a time (1 to 64; by default one per core,\n"
    "          1 on Windows); the output is the same whatever N\n"
    "\n"
    "Output: disk 0's files go into the folder 000, disk 1's into 001, and so on.\n"
    "Standard output lists each disk, as \"[NAME] FILE-SYSTEM -> 000\", and each file\n"
    "and folder: the bytes written, its type and attributes, its date and its path.\n"
    "A name that an earlier file took gets ~2, ~3, ... before its extension. Every\n"
    "problem is reported on standard error, one line each: \"dskget: NAME: reason\".\n"
    "\n"
    "IMAGE may be a folder: the images and archives below it (by their extensions:\n"
    ".d88, .d77, .2d, .dsk, .bin, .hdm, .xdf, .img, .dim, .fdi, .nfd, .dcp, .imd,\n"
    ".td0, ...; .zip, .7z, .lzh, .cab, .rar, .tar, .tar.gz, ...; no link followed),\n"
    "in name order; or an archive: the images inside it, and inside the archives it\n"
    "holds, to three levels, read in memory. The files passed over by their names\n"
    "are counted at the end. Several images: each gets a folder named after its path\n"
    "(game.d88: game.d88/000, ...; games/x1/a.d88 in the folder games:\n"
    "games/x1/a.d88/000; member b.d88 of pack.zip: pack.zip/b.d88/000; a second\n"
    "game.d88 named on the command line: game.d88~2), is listed under its path\n"
    "(pack.zip:b.d88), and begins every diagnostic about it: \"dskget: IMAGE:\n"
    "000/FILE: reason\". One that cannot be read, or a damaged archive, is reported\n"
    "and the run goes on.\n"
    "\n"
    "Exit status: 0 when every listed file was written whole; 1 for usage, or when\n"
    "the image (one alone) or DIR cannot be opened; 2 when the run went through with\n"
    "diagnostics (a damaged file, a disk without a file system dskget reads, a\n"
    "folder or archive that holds no image, ...).\n";

// The names written in a lone image's run, or the images' folders in a run over several: 4 MB of
// address space, whose pages are touched as names come.
NameSlot name_slots[size_t{1} << 18];
NameRegistry names(name_slots, sizeof name_slots / sizeof name_slots[0]);

// How the disks' files are laid out.
struct LayoutOptions {
  bool one_folder;  // -d: no per-disk folders
  bool raw;         // -r: names as the disk's bytes
};

// What one extractor of images uses: the disks' state, its own run (diagnostics and counts), the
// names its disks' files get in a run over several images (an image's at a time: 2 MB of address
// space, of which a usual image touches the 16 KB the table keeps in itself) and the bytes of its
// files (the largest data area of the disks it read).
struct Extractor {
  DskgetState* state = nullptr;
  ExtractionRun run{"dskget"};
  NameSlot name_slots[size_t{1} << 17];
  NameRegistry image_names{name_slots, sizeof name_slots / sizeof name_slots[0]};
  TreeBuffer file_buffer;
  char tree_path[kTreePathSize];  // the folder being read, below the disk's folder
  int64_t image_bytes = 0;        // of the images it read
};

// Says why a disk is not extracted.
void ReportNotReadable(ExtractionRun& run, const char* label, const diskimage::Identification& id) {
  run.diagnostics.Report(label, "not a standard file system: %s (%s)",
                         diskimage::FileSystemName(id.kind), id.evidence);
}

// Lists and extracts disk `disk`, selected in the image, its files' names kept apart in
// `registry`. Returns false when the run must stop: it could not come back from the disk's folder.
bool ExtractDisk(Extractor& extractor, NameRegistry& registry, int disk,
                 const LayoutOptions& layout, uint64_t parent_key, StartingDirectory& start) {
  ExtractionRun& run = extractor.run;
  DskgetState& state = *extractor.state;
  diskimage::DiskImage& image = state.image;
  state.map.Load(image.Disk());
  diskimage::Identification id;
  diskimage::Identify(state.map, state.file_system, id);
  char folder[12];  // "000" to "063"; room for any int
  snprintf(folder, sizeof folder, "%03d", disk);
  ListedName disk_name;
  PrepareListedName(run, image.DiskName(), disk_name);
  OutText("\n[");
  PrintListedName(disk_name, 0);
  const bool readable = WalksDisk(state.file_system, id.kind);
  const bool shows_folder = readable && !layout.one_folder;
  OutPrintf("] %s%s%s%s%s%s\n", diskimage::FileSystemName(id.kind),
            id.variant[0] != '\0' ? " (" : "", id.variant, id.variant[0] != '\0' ? ")" : "",
            shows_folder ? " -> " : "", shows_folder ? folder : "");
  if (!readable) {
    ReportNotReadable(run, folder, id);
    return true;
  }
  ++run.disks_read;
  if (state.file_system.Kind() != FileSystemKind::kUnknown &&
      state.file_system.Layout().allocation_mismatches > 0) {
    run.diagnostics.Warn("%s: the bitmap and the directory disagree on %d block%s", folder,
                         state.file_system.Layout().allocation_mismatches,
                         state.file_system.Layout().allocation_mismatches == 1 ? "" : "s");
  }
  const int64_t volume = DiskDataBytes(state.file_system, id.kind);
  if (!extractor.file_buffer.Reserve(volume)) {
    run.diagnostics.Report(folder, "not enough memory for %lld bytes; disk skipped",
                           static_cast<long long>(volume));
    return true;
  }
  const bool enter = !layout.one_folder && !run.list_only;
  if (enter && !EnterDiskFolder(start, folder, run.diagnostics)) return true;
  char label[16];
  snprintf(label, sizeof label, "%s/", folder);
  extractor.tree_path[0] = '\0';
  TreeWriter writer(run);
  DiskTree tree = {&state.file_system,
                   &registry,
                   &writer,
                   &run.diagnostics,
                   run.list_only,
                   layout.raw,
                   layout.one_folder ? "" : label,
                   extractor.file_buffer.Bytes(),
                   volume,
                   extractor.tree_path};
  WalkDisk(tree, state.map, id.kind,
           layout.one_folder ? parent_key : NameRegistry::FolderKey(parent_key, folder));
  return !enter || LeaveDiskFolder(start, folder, run.diagnostics);
}

// Checks and extracts every disk of the open image, opened from `path` (nullptr where the
// diagnostics' prefix names it). Returns false when the run must stop.
bool ExtractDisks(Extractor& extractor, NameRegistry& registry, const char* path,
                  const LayoutOptions& layout, uint64_t parent_key, StartingDirectory& start) {
  diskimage::DiskImage& image = extractor.state->image;
  for (int disk = 0; disk < image.DiskCount(); ++disk) {
    image.SelectDisk(disk);
    if (!CheckImageDisk(extractor.run, path, image, disk)) return true;
    if (!ExtractDisk(extractor, registry, disk, layout, parent_key, start)) return false;
  }
  return true;
}

// Makes `folder` (where the run started, or where the images' folders go) current again; when
// it cannot be, says so as a disk's folder does and stops the run: nothing more would go where it
// belongs.
void ReturnOrStop(ExtractionRun& run, StartingDirectory& folder, const char* path) {
  if (!LeaveDiskFolder(folder, path, run.diagnostics)) exit(FinishRun(run.diagnostics));
}

// What the walk gives with each image of a run over several: its folder, formed in the images'
// order, and the progress line's count before it.
struct ImageNote {
  int before;            // images before it
  int64_t bytes_before;  // their bytes
  bool renamed;          // an earlier image's folder had its name
  uint64_t key;          // its folder's key in `names`
  char folder[kImageFolderSize];
};

// The images of a run over several, from the command line's files, folders and archives: read on
// the calling thread, or, once HandTo is called, on the jobs' workers, each working in a folder of
// its own (the run's current directory stays where it started).
class ImageRun final : public CollectionVisitor, public ImageWork {
 public:
  // The walk's own problems (folders and archives that cannot be read) go to `walk`.
  ImageRun(Extractor* extractors, const LayoutOptions& layout, bool every_file, Diagnostics& walk)
      : extractors(extractors), layout(layout), every_file(every_file), walk(walk) {}

  void HandTo(ImageJobs& started) { jobs = &started; }

  // Reads the image, or every image in the folder or archive, that `path` names.
  void Take(const char* path) {
    ExtractionRun& run = extractors[0].run;
    ReturnOrStop(run, origin, path);
    passed_over += WalkCollection(path, every_file, walk, *this);
    ReturnOrStop(run, output, path);
  }

  void VisitImage(const CollectionImage& image) override {
    note.before = listed++;
    // The progress line counts the images' sizes as the walk finds them, whichever thread reads
    // them (a pipe's as none).
    note.bytes_before = walked_bytes;
    FileInfo file;
    walked_bytes += image.path == nullptr ? static_cast<int64_t>(image.size)
                    : GetFileInfo(image.path, file) && file.regular ? file.size
                                                                    : 0;
    note.renamed = FormImageFolder(names, image.folder, note.folder, note.key);
    if (jobs == nullptr) {
      ExtractImage(extractors[0], image, note);
      ReturnOrStop(extractors[0].run, origin, image.shown);  // a folder's walk goes on from there
      return;
    }
    jobs->Submit(image, &note, offsetof(ImageNote, folder) + strlen(note.folder) + 1);
  }

  void ReadImage(int worker, const CollectionImage& image, const void* given) override {
    Extractor& extractor = extractors[worker];
    const int error = WorkInOwnFolder();
    if (error != 0) {
      extractor.run.diagnostics.Report(image.shown, "cannot work in a folder of its own: %s",
                                       strerror(error));
      return;
    }
    ExtractImage(extractor, image, *static_cast<const ImageNote*>(given));
  }

  // Ends the progress line with what the `count` extractors did, on a terminal; `problems` in
  // all.
  void ShowSummary(int count, int problems) const {
    if (!progress) return;
    int64_t image_bytes = 0, disks = 0, files = 0, file_bytes = 0;
    for (int i = 0; i < count; ++i) {
      const ExtractionRun& run = extractors[i].run;
      image_bytes += extractors[i].image_bytes;
      disks += run.disks_read;
      files += run.files_read;
      file_bytes += run.bytes_read;
    }
    char line[256];
    const int length = snprintf(
        line, sizeof line,
        "dskget: %d image%s (%.1f MB), %lld disk%s read, %lld file%s (%.1f MB), %d problem%s\n",
        listed, listed == 1 ? "" : "s", static_cast<double>(image_bytes) / 1e6,
        static_cast<long long>(disks), disks == 1 ? "" : "s", static_cast<long long>(files),
        files == 1 ? "" : "s", static_cast<double>(file_bytes) / 1e6, problems,
        problems == 1 ? "" : "s");
    if (length > 0) ErrWrite(line, strlen(line));
  }

  StartingDirectory origin, output;
  int64_t passed_over = 0;

 private:
  // Lists the image and extracts its disks into its folder below `output`: note.folder with '/'
  // between its parts, the last without its extension (game.d88: game). Every diagnostic about
  // the image begins with what it is shown as. The image's folder is left for `output`.
  void ExtractImage(Extractor& extractor, const CollectionImage& image, const ImageNote& given) {
    ExtractionRun& run = extractor.run;
    ShowProgress(run, given, image.shown);
    OutPrintf("\n%s\n", image.shown);
    DskgetState& state = *extractor.state;
    if (image.path != nullptr) {
      // The path is the command line's: opened from where the run started.
      ReturnOrStop(run, origin, image.shown);
      const bool opened = OpenImage(run, image.path, state.image);
      ReturnOrStop(run, output, image.shown);
      if (!opened) return;
    } else {
      ReturnOrStop(run, output, image.shown);
      OpenImageBytes(run, image.shown, image.bytes, image.size, state.image);
    }
    extractor.image_bytes += state.image.ImageSize();
    char folder[kImageFolderSize];
    memcpy(folder, given.folder, strlen(given.folder) + 1);
    if (given.renamed) {
      run.diagnostics.Report(image.shown, "an earlier image has its folder's name; %s as \"%s\"",
                             run.list_only ? "would be written" : "written", BaseName(folder));
    }
    if (run.list_only || EnterImageFolder(folder, image.shown, run.diagnostics)) {
      run.diagnostics.SetPrefix(image.shown);
      extractor.image_names.Clear();
      StartingDirectory start;
      ExtractDisks(extractor, extractor.image_names, nullptr, layout, given.key, start);
      if (extractor.image_names.Full()) {
        run.diagnostics.Report(nullptr,
                               "too many names to keep apart; later names were not "
                               "checked against earlier ones");
      }
      run.diagnostics.SetPrefix(nullptr);
    }
    ReturnOrStop(run, output, image.shown);
  }

  // Says on standard error which image is being read.
  void ShowProgress(ExtractionRun& run, const ImageNote& given, const char* shown) const {
    if (!progress) return;
    char text[128];
    snprintf(text, sizeof text, "dskget: %d image%s (%.1f MB) read; reading ", given.before,
             given.before == 1 ? "" : "s", static_cast<double>(given.bytes_before) / 1e6);
    run.diagnostics.ShowProgress(text, shown);
  }

  Extractor* extractors;
  ImageJobs* jobs = nullptr;
  const LayoutOptions& layout;
  bool every_file;
  Diagnostics& walk;
  int listed = 0;
  int64_t walked_bytes = 0;
  ImageNote note;
  // Progress is shown when standard error is a terminal and standard output is not (the listing
  // would be in its way there).
#ifdef _WIN32
  const bool progress = _isatty(_fileno(stderr)) != 0 && _isatty(_fileno(stdout)) == 0;
#else
  const bool progress = isatty(STDERR_FILENO) != 0 && isatty(STDOUT_FILENO) == 0;
#endif
};

// The options of a run.
struct DskgetOptions {
  bool one_folder = false;
  bool every_file = false;
  const char* output_directory = nullptr;
  int workers = DefaultWorkerCount();
};

// Reads the command line into `run` and `options`, calling take_image(path) for each image in
// order. Returns false, after saying why, for a usage error.
template <typename TakeImage>
bool ParseArguments(int argc, char** argv, ExtractionRun& run, DskgetOptions& options,
                    TakeImage take_image) {
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-") == 0 || argv[i][0] != '-') {
      take_image(argv[i]);
      continue;
    }
    if (strcmp(argv[i], "--all") == 0) {
      options.every_file = true;
      continue;
    }
    if (strncmp(argv[i], "-j", 2) == 0) {
      if (!TakeWorkerCount("dskget", argc, argv, i, options.workers)) return false;
      continue;
    }
    // -l and -C DIR as the other programs take them; -u, their UTF-8 names, is the default.
    char letters[kMaxBundledOptions + 1];
    bool usage = !SplitShortOptions(argv[i], "dlruC", letters);
    const char* option = argv[i];
    for (const char* letter = letters; !usage && *letter != '\0'; ++letter) {
      if (*letter == 'd') {
        options.one_folder = true;
      } else if (*letter == 'r') {
        run.utf8_names = false;
      } else {
        usage = TakeCommonOption(*letter, argc, argv, i, run, options.output_directory) !=
                CommonOption::kTaken;
      }
    }
    if (usage) {
      fprintf(stderr, "dskget: unknown option or missing argument: \"%s\"\n", option);
      return false;
    }
  }
  return true;
}

}  // namespace

int RunDskget(int argc, char** argv, DskgetState& state) {
  int status;
  if (AnswerInformationRequest(argc, argv, "dskget", kHelp, true, status)) return status;
  // The run's own extractor, whose run is the run's: a lone image's, or the walk's and (with one
  // worker) every image's.
  static Extractor first;
  first.state = &state;
  first.run = ExtractionRun("dskget");  // a new run each time (the page runs it again)
  first.image_bytes = 0;
  ExtractionRun& run = first.run;
  run.utf8_names = true;
  run.japanese_open_message = false;  // dskget speaks in its own one-line form only
  DskgetOptions options;
  int images = 0;
  const char* first_image = nullptr;
  const bool parsed = ParseArguments(argc, argv, run, options, [&](const char* path) {
    if (images++ == 0) first_image = path;
  });
  if (!parsed || images == 0) {
    fputs(kUsage, stderr);
    fputs("Try 'dskget --help'.\n", stderr);
    return kExitFailure;
  }
#ifdef _WIN32
  options.workers = 1;  // Windows has no folder of a thread's own: one writer
#endif
  const LayoutOptions layout = {options.one_folder, !run.utf8_names};
  const char* output_directory = options.output_directory;
  names.Clear();
  const bool one_image = images == 1 && !IsCollection(first_image);
  if (one_image) {
    if (!StartRun(run, first_image, output_directory, state.image)) return kExitFailure;
    StartingDirectory start;
    ExtractDisks(first, names, first_image, layout, 0, start);
    if (names.Full()) {
      run.diagnostics.Report(first_image,
                             "too many names to keep apart; later names were not "
                             "checked against earlier ones");
    }
    return FinishRun(run.diagnostics);
  }
  // Each image is opened in turn; one that cannot be is said, and the run goes on. With several
  // workers, every thread works in a folder of its own, and the run's current directory stays
  // where it started, where the command line's paths are.
  WorkerStates<Extractor, DskgetState> extractors(first, options.workers);
  for (int i = 0; i < extractors.count; ++i) {
    ExtractionRun& worker_run = extractors.workers[i].run;
    worker_run.list_only = run.list_only;
    worker_run.utf8_names = run.utf8_names;
    worker_run.japanese_open_message = run.japanese_open_message;
  }
  ImageRun image_run(extractors.workers, layout, options.every_file, run.diagnostics);
  if (image_run.origin.Save() != 0 || !StartRun(run, nullptr, output_directory, state.image) ||
      image_run.output.Save() != 0) {
    return kExitFailure;
  }
  for (int i = 0; i < extractors.count; ++i) {
    extractors.workers[i].run.terminal_listing = run.terminal_listing;
    extractors.workers[i].run.utf8_terminal = run.utf8_terminal;
  }
  ImageJobs jobs;
  if (extractors.count > 1 && image_run.origin.Return() == 0 && WorkInOwnFolder() == 0) {
    if (jobs.Start(extractors.count, image_run)) image_run.HandTo(jobs);
  }
  DskgetOptions again;
  ParseArguments(argc, argv, run, again, [&](const char* path) { image_run.Take(path); });
  jobs.Stop();
  EndOwnFolder();
  for (int i = 0; i < extractors.count; ++i) {
    if (&extractors.workers[i] != &first) {
      run.diagnostics.AddCount(extractors.workers[i].run.diagnostics.Count());
    }
  }
  NotePassedOver(run.diagnostics, image_run.passed_over);
  image_run.ShowSummary(extractors.count, run.diagnostics.Count());
  return FinishRun(run.diagnostics);
}
