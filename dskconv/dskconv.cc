// dskconv's command line, its four kinds of run (one image, --split, --join, a collection into
// -C DIR) and the conversion each of them makes: losses found first, the image written to a
// temporary file, read back, compared and only then given its name.
#include "dskconv/dskconv.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/collections/collection.h"
#include "common/collections/image_folder.h"
#include "common/host/file_info.h"
#include "common/run/command_line.h"
#include "common/run/container_names.h"
#include "common/run/image_check.h"
#include "common/run/open_image.h"
#include "common/run/program_messages.h"
#include "common/writing/output_names.h"
#include "common/writing/save_file.h"
#include "common/writing/staged_sink.h"
#include "common/writing/working_directory.h"
#include "diskimage/container_writer.h"
#include "diskimage/disk_check.h"
#include "diskimage/names.h"

namespace {

using diskimage::ContainerKind;

const char kUsage[] =
    "Usage: dskconv IN OUT [-t TYPE] [--lossy] [-f]\n"
    "       dskconv IN... --split [-t TYPE] [-o PATTERN] [--lossy] [-f]\n"
    "       dskconv IN... --join OUT [-f]\n"
    "       dskconv PATH... -t TYPE -C DIR [--lossy] [-f] [--all]\n";

const char kHelp[] =
    "Usage: dskconv IN OUT [-t TYPE] [--lossy] [-f]\n"
    "       dskconv IN... --split [-t TYPE] [-o PATTERN] [--lossy] [-f]\n"
    "       dskconv IN... --join OUT [-f]\n"
    "       dskconv PATH... -t TYPE -C DIR [--lossy] [-f] [--all]\n"
    "       dskconv --help | --version\n"
    "\n"
    "Converts floppy-disk images from any container dskget reads (D88, raw sector\n"
    "dump, FDI, DIM, NFD, DCP/DCU, IMD, FDD, DSK, Extended DSK, TD0) into TYPE:\n"
    "  d88  D88 (.d88 .d77 .d68 .d98 .88d .d8u .1dd), several disks in one file\n"
    "  raw  a raw sector dump (.hdm .xdf .2hd .2d .2dd .dsk .img .ima .dup ...)\n"
    "  fdi  FDI (.fdi)      dim  DIM (.dim)      nfd  NFD r0 (.nfd)\n"
    "  imd  IMD (.imd)      fdd  Virtual98 FDD (.fdd)\n"
    "TYPE is OUT's extension's unless -t names it. IN is never modified.\n"
    "\n"
    "Nothing is lost in silence: what TYPE cannot hold of a disk (sector IDs, FM\n"
    "tracks, tracks of other shapes, deleted marks, read errors, more than one disk,\n"
    "write protection, the disk's name, a shape it has no code for) is said, one\n"
    "line each, and nothing is written (exit status 2). With --lossy what TYPE holds\n"
    "is written all the same and each loss said as a warning.\n"
    "\n"
    "Options:\n"
    "  -t TYPE     the container written, whatever the name's extension\n"
    "  --lossy     write what TYPE can hold, saying what it loses\n"
    "  -f          replace an existing OUT (never IN itself)\n"
    "  --split     each disk of each IN to a file of its own: game.d88 of three disks\n"
    "              gives game_1.d88, game_2.d88, game_3.d88 here (-t: its extension)\n"
    "  -o PATTERN  --split's names: PATTERN with # replaced by the disk's number, or\n"
    "              _1, _2, ... before its extension\n"
    "  --join OUT  every disk of every IN, in order, into the one D88 image OUT\n"
    "  -C DIR      every image of every PATH (a file, a folder, an archive) into DIR,\n"
    "              at the path dskget gives its folder, with TYPE's extension\n"
    "              (pack.zip/a.d88.hdm; an image of several disks and a TYPE that\n"
    "              holds one: pack.zip/a.d88/000.hdm, ...)\n"
    "  --all       try every file of folders and archives, whatever its name\n"
    "\n"
    "Each image is written to a temporary file beside OUT, read back and compared\n"
    "with its source sector by sector (IDs, data, marks, as far as TYPE records\n"
    "them), then renamed to OUT; an interrupted run leaves nothing. Standard output\n"
    "says each image written: \"IN -> OUT (TYPE)\", for --join \"N images -> OUT\".\n"
    "\n"
    "Exit status: 0 when every image was written and checked; 1 for usage, or when\n"
    "the image (one alone) cannot be opened; 2 when the run went through with\n"
    "diagnostics (a conversion refused, an OUT that exists, a copy that does not\n"
    "read back the same, ...).\n";

constexpr size_t kPathSize = 8192;

// What a run does, from its command line.
struct Options {
  ContainerKind type = ContainerKind::kNone;  // -t
  bool lossy = false;
  bool replace = false;
  bool split = false;
  bool every_file = false;
  const char* pattern = nullptr;    // -o
  const char* join = nullptr;       // --join OUT
  const char* directory = nullptr;  // -C DIR
};

// The extension a file of `type` holding the selected disk of `image` is given: a raw dump's by
// its size (.hdm for 1,261,568 bytes, .2d for 327,680, else .img).
const char* ExtensionFor(ContainerKind type, const diskimage::DiskMap& map) {
  if (type != ContainerKind::kRaw) {
    return type == ContainerKind::kD88   ? ".d88"
           : type == ContainerKind::kFdi ? ".fdi"
           : type == ContainerKind::kDim ? ".dim"
           : type == ContainerKind::kNfd ? ".nfd"
           : type == ContainerKind::kImd ? ".imd"
                                         : ".fdd";
  }
  const diskimage::DiskGeometry g = map.Summarize();
  const int64_t bytes = int64_t{g.cylinders} * g.heads * g.sectors_per_track * g.sector_size;
  return bytes == 1261568 ? ".hdm" : bytes == 327680 ? ".2d" : ".img";
}

// One image a run reads: a command-line path, or an archive's member in memory.
struct Source {
  const char* path;  // nullptr for bytes
  const unsigned char* bytes;
  size_t size;
  const char* shown;  // in diagnostics
  const char* file;   // the file that holds it (its time is an IMD image's)
};

// Opens `source` into `image`, saying what of it cannot be read. False when the file cannot be
// opened.
bool OpenSource(ExtractionRun& run, const Source& source, diskimage::DiskImage& image) {
  if (source.path != nullptr) return OpenImage(run, source.path, image);
  OpenImageBytes(run, source.shown, source.bytes, source.size, image);
  return true;
}

// True when the selected disk of `image` is one to read: any disk of a container other than D88,
// and a D88 disk whose header a D88 writer makes.
bool DiskToRead(const diskimage::DiskImage& image) {
  if (image.Container() != ContainerKind::kD88) return true;
  diskimage::DiskCheck check;
  diskimage::CheckDisk(image.D88(), check);
  return check.d88;
}

// The disks one output is made of: disk `disk` (-1: every disk) of each of `count` sources.
struct Selection {
  const Source* sources;
  int count;
  int disk;
};

class Converter {
 public:
  Converter(ExtractionRun& run, DskconvState& state, const Options& options)
      : run(run), state(state), options(options) {}

  // Writes the disks of `selection` as `type` to `out`: refused, said, when they cannot be held
  // (unless lossy), when `out` exists (unless replacing) or is an image read, or when the copy
  // does not read back the same. `opened`: the one source is open already. True once written.
  // `shown` is what standard output calls `out` (nullptr: `out`).
  bool Convert(const Selection& selection, bool opened, ContainerKind type, const char* out,
               const char* shown = nullptr) {
    FileInfo existing;
    if (GetFileInfo(out, existing)) {
      const bool read_here = ReadHere(selection, existing);
      if (read_here || !options.replace) {
        run.diagnostics.Report(out, read_here ? "is an image read; not overwritten"
                                              : "exists; not replaced (-f replaces it)");
        return false;
      }
    }
    int disks = 0;
    disks_passed_over = 0;
    bool held = true;
    const bool opened_all = ForEachDisk(selection, opened, [&](const Source& source, int disk) {
      if (++disks == 2 && type != ContainerKind::kD88) {
        SayLoss(source.shown, -1,
                "%d disks; %s holds one (--split writes each to a file of its own)",
                state.source.DiskCount(), diskimage::ContainerName(type));
        held = false;
        return false;
      }
      held = CheckDisk(source, disk, type) && held;
      return true;
    });
    if (!opened_all || disks == 0) return false;
    held = held && disks_passed_over == 0;
    if (!held && !options.lossy) {
      run.diagnostics.Note("%s not written (--lossy writes what it can hold)", out);
      return false;
    }
    StagedFile file;
    int error = BeginStagedFile(out, file);
    if (error != 0) {
      run.diagnostics.Report(out, "cannot be written: %s", strerror(error));
      return false;
    }
    if (!WriteDisks(selection, type, file, error)) {
      if (error != 0) run.diagnostics.Report(out, "cannot be written: %s", strerror(error));
      DropStagedFile(file);
      return false;
    }
    if (!ReadBack(selection, type, file.temporary, out)) {
      DropStagedFile(file);
      return false;
    }
    error = KeepStagedFile(file, out, options.replace);
    if (error != 0) {
      run.diagnostics.Report(
          out, error == EEXIST ? "exists; not replaced (-f replaces it)" : "cannot be written: %s",
          strerror(error));
      return false;
    }
    if (selection.count == 1) {
      printf("%s -> ", selection.sources[0].shown);
    } else {
      printf("%d images -> ", selection.count);
    }
    printf("%s (%s)\n", shown != nullptr ? shown : out, diskimage::ContainerName(type));
    return true;
  }

 private:
  // Calls visit(source, disk) for each disk of `selection`, its source open and selected and its
  // map loaded into state.source_map, until visit returns false. One source stays open once open
  // (`opened`); several are opened in turn, said only the first time (`say`). False when a source
  // cannot be opened.
  template <typename Visit>
  bool ForEachDisk(const Selection& selection, bool opened, Visit visit, bool say = true) {
    for (int i = 0; i < selection.count; ++i) {
      const Source& source = selection.sources[i];
      if (!opened || selection.count > 1) {
        if (say && !OpenSource(run, source, state.source)) return false;
        if (!say && (source.path == nullptr || !state.source.Open(source.path))) return false;
      }
      const int first = selection.disk < 0 ? 0 : selection.disk;
      const int end = selection.disk < 0 ? state.source.DiskCount() : selection.disk + 1;
      for (int disk = first; disk < end && state.source.SelectDisk(disk); ++disk) {
        // As dskget does: a disk whose header no D88 writer makes is said and passed over, one
        // the image cut short said and read as far as it goes.
        if (say ? !CheckImageDisk(run, source.shown, state.source, disk)
                : !DiskToRead(state.source)) {
          disks_passed_over += say ? 1 : 0;
          continue;
        }
        state.source_map.Load(state.source.Disk());
        if (!visit(source, disk)) return true;
      }
    }
    return true;
  }

  // True when `file` is one of the files the selection's images are read from.
  bool ReadHere(const Selection& selection, const FileInfo& file) const {
    if (SameFile(file, run.image)) return true;
    for (int i = 0; i < selection.count; ++i) {
      FileInfo source;
      const char* path = selection.sources[i].file;
      if (path != nullptr && GetFileInfo(path, source) && SameFile(file, source)) return true;
    }
    return false;
  }

  // "IN: disk N: LOSS", as a problem or (lossy) a warning; disk -1 for the image.
  void SayLoss(const char* shown, int disk, const char* format, ...) COMMON_PRINTF_FORMAT(4, 5) {
    char loss[256];
    va_list args;
    va_start(args, format);
    vsnprintf(loss, sizeof loss, format, args);
    va_end(args);
    char where[24] = "";
    if (disk >= 0) snprintf(where, sizeof where, "disk %d: ", disk);
    if (options.lossy) {
      run.diagnostics.Warn("%s: %s%s", shown, where, loss);
    } else {
      run.diagnostics.Report(shown, "%s%s", where, loss);
    }
  }

  diskimage::DiskFacts Facts(const Source& source) const {
    struct stat status;
    const int64_t time =
        source.file != nullptr && stat(source.file, &status) == 0 ? status.st_mtime : 0;
    return diskimage::DiskFacts{state.source.DiskName(), state.source.WriteProtected(),
                                state.source.MediaType(), time};
  }

  // Says what `type` cannot hold of the selected disk; true when it holds it all.
  bool CheckDisk(const Source& source, int disk, ContainerKind type) {
    diskimage::ContainerLoss losses[16];
    const int found =
        diskimage::FindContainerLosses(type, state.source_map, Facts(source), losses, 16);
    for (int i = 0; i < found && i < 16; ++i) SayLoss(source.shown, disk, "%s", losses[i].text);
    return found == 0;
  }

  // Writes every disk of `selection` (the first alone for a container of one) into `file`,
  // closed after. False when a writer refused a disk (said) or, with `error` its errno value, a
  // write failed.
  bool WriteDisks(const Selection& selection, ContainerKind type, StagedFile& file, int& error) {
    StagedSink sink(file);
    bool refused = false;
    int disks = 0;
    const bool opened = ForEachDisk(
        selection, true,
        [&](const Source& source, int disk) {
          if (!diskimage::WriteContainer(type, state.source_map, Facts(source), sink)) {
            refused = sink.Flush() == 0;
            if (refused) {
              run.diagnostics.Report(source.shown, "disk %d: %s has no layout for it; not written",
                                     disk, diskimage::ContainerName(type));
            }
            return false;
          }
          return ++disks < 2 || type == ContainerKind::kD88;
        },
        false);
    error = sink.Flush();
    const int closed = CloseStagedFile(file);
    if (error == 0) error = closed;
    if (!opened && error == 0) error = EIO;
    return !refused && error == 0;
  }

  // Reads the written image back and compares each of its disks with its source's.
  bool ReadBack(const Selection& selection, ContainerKind type, const char* temporary,
                const char* out) {
    if (!OpenWrittenImage(temporary, state.copy) || state.copy.Container() != type) {
      run.diagnostics.Report(out, "the image written does not read back as %s; not kept",
                             diskimage::ContainerName(type));
      return false;
    }
    int copy_disk = 0;
    bool same = true;
    const bool opened = ForEachDisk(
        selection, true,
        [&](const Source& source, int disk) {
          char difference[200] = "";
          same = state.copy.SelectDisk(copy_disk++);
          if (same) state.copy_map.Load(state.copy.Disk());
          same = same && diskimage::SameSectors(type, state.source_map, state.copy_map,
                                                !options.lossy, difference, sizeof difference);
          if (!same) {
            run.diagnostics.Report(out, "disk %d of %s reads back otherwise (%s); not kept", disk,
                                   source.shown, difference[0] != '\0' ? difference : "missing");
          }
          return same && type == ContainerKind::kD88;
        },
        false);
    const bool whole = same && copy_disk == state.copy.DiskCount();
    if (same && !whole) {
      run.diagnostics.Report(out, "the image written holds %d disks, not %d; not kept",
                             state.copy.DiskCount(), copy_disk);
    }
    OpenWrittenImage(nullptr, state.copy);
    return opened && whole;
  }

  ExtractionRun& run;
  DskconvState& state;
  const Options& options;
  int disks_passed_over = 0;  // in the walk that says them
};

// The name of disk `number` (from 1) of `in` for --split: PATTERN with # replaced by it, or
// PATTERN (else IN's base name) with _NUMBER before its extension and `extension` (else its own).
bool SplitName(const char* in, const char* pattern, int number, const char* extension, char* out,
               size_t out_size) {
  const char* hash = pattern != nullptr ? strchr(pattern, '#') : nullptr;
  if (hash != nullptr) {
    const int length = snprintf(out, out_size, "%.*s%d%s", static_cast<int>(hash - pattern),
                                pattern, number, hash + 1);
    return length > 0 && static_cast<size_t>(length) < out_size;
  }
  const char* base = pattern != nullptr ? pattern : BaseName(in);
  const char* own = ExtensionOf(base);
  const int length = snprintf(out, out_size, "%.*s_%d%s", static_cast<int>(own - base), base,
                              number, extension != nullptr ? extension : own);
  return length > 0 && static_cast<size_t>(length) < out_size;
}

// Every disk of the image at `path` to a file of its own.
void Split(ExtractionRun& run, DskconvState& state, const Options& options, const char* path) {
  if (!OpenImage(run, path, state.source)) return;
  const Source source = {path, nullptr, 0, path, path};
  const ContainerKind type = options.type != ContainerKind::kNone ? options.type : TypeOfName(path);
  if (type == ContainerKind::kNone) {
    run.diagnostics.Report(path, "its extension names no container written; -t names one");
    return;
  }
  Converter converter(run, state, options);
  for (int disk = 0; disk < state.source.DiskCount(); ++disk) {
    state.source.SelectDisk(disk);
    state.source_map.Load(state.source.Disk());
    // With -t, the files take its extension (a raw dump's by the disk's size); else IN's own.
    const char* extension =
        options.type != ContainerKind::kNone ? ExtensionFor(type, state.source_map) : nullptr;
    char out[kPathSize];
    if (!SplitName(path, options.pattern, disk + 1, extension, out, sizeof out)) {
      run.diagnostics.Report(path, "disk %d: the name for it is too long", disk);
      continue;
    }
    const Selection selection = {&source, 1, disk};
    converter.Convert(selection, true, type, out);
  }
}

// Every image a collection holds, into the output folder (the current directory), each at its
// folder's path with the type's extension.
class CollectionRun final : public CollectionVisitor {
 public:
  CollectionRun(ExtractionRun& run, DskconvState& state, const Options& options)
      : run(run), state(state), options(options), names(slots, kSlots) {}

  void Take(const char* path) {
    if (origin.Return() != 0) {
      run.diagnostics.Report(path, "cannot return to the folder the run started in; run stopped");
      stopped = true;
      return;
    }
    passed_over += WalkCollection(path, options.every_file, run.diagnostics, *this);
  }

  void VisitImage(const CollectionImage& image) override {
    if (stopped) return;  // nothing more goes where it belongs
    const Source source = {image.path, image.bytes, image.size, image.shown, image.file};
    Converter converter(run, state, options);
    const Selection whole = {&source, 1, -1};
    origin.Return();
    const bool opened = OpenSource(run, source, state.source);
    if (output.Return() != 0 || !opened || state.source.DiskCount() == 0) return;
    char folder[kImageFolderSize];
    uint64_t key;
    FormImageFolder(names, image.folder, folder, key);
    const bool one_file = options.type == ContainerKind::kD88 || state.source.DiskCount() == 1;
    state.source.SelectDisk(0);
    state.source_map.Load(state.source.Disk());
    char name[kPathSize], shown[kImageFolderSize + kPathSize];
    const size_t base = static_cast<size_t>(BaseName(folder) - folder);
    if (one_file) {
      snprintf(name, sizeof name, "%s%s", folder + base,
               ExtensionFor(options.type, state.source_map));
      snprintf(shown, sizeof shown, "%s%s", folder, ExtensionFor(options.type, state.source_map));
      if (base > 0) folder[base - 1] = '\0';
    } else {
      snprintf(shown, sizeof shown, "%s/", folder);
    }
    const size_t shown_folder = strlen(shown);
    if ((one_file && base == 0) || EnterImageFolder(folder, image.shown, run.diagnostics)) {
      if (one_file) {
        converter.Convert(whole, true, options.type, name, shown);
      } else {
        for (int disk = 0; disk < state.source.DiskCount(); ++disk) {
          state.source.SelectDisk(disk);
          state.source_map.Load(state.source.Disk());
          snprintf(name, sizeof name, "%03d%s", disk, ExtensionFor(options.type, state.source_map));
          const Selection one = {&source, 1, disk};
          snprintf(shown + shown_folder, sizeof shown - shown_folder, "%s", name);
          converter.Convert(one, true, options.type, name, shown);
        }
      }
    }
    if (output.Return() != 0) {
      run.diagnostics.Report(image.shown, "cannot return to the output folder; run stopped");
      stopped = true;
    }
  }

  StartingDirectory origin, output;
  int64_t passed_over = 0;
  bool stopped = false;

 private:
  static constexpr size_t kSlots = size_t{1} << 16;
  static NameSlot slots[kSlots];
  ExtractionRun& run;
  DskconvState& state;
  const Options& options;
  NameRegistry names;
};
NameSlot CollectionRun::slots[CollectionRun::kSlots];

// Reads the options; the other arguments (IN, OUT, PATH) are moved to the front of argv, their
// count into `paths`. False, after saying why, for a usage error.
bool ParseArguments(int argc, char** argv, Options& options, int& paths) {
  paths = 0;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    const bool takes_value = strcmp(argument, "-t") == 0 || strcmp(argument, "-o") == 0 ||
                             strcmp(argument, "-C") == 0 || strcmp(argument, "--join") == 0;
    if (takes_value && i + 1 >= argc) {
      fprintf(stderr, "dskconv: unknown option or missing argument: \"%s\"\n%s", argument, kUsage);
      return false;
    }
    if (strcmp(argument, "-t") == 0) {
      options.type = TypeNamed(argv[++i]);
      if (options.type == ContainerKind::kNone) {
        fprintf(stderr,
                "dskconv: -t: \"%s\" is no container written (d88, raw, fdi, dim, nfd, "
                "imd, fdd)\n",
                argv[i]);
        return false;
      }
    } else if (strcmp(argument, "-o") == 0) {
      options.pattern = argv[++i];
    } else if (strcmp(argument, "-C") == 0) {
      options.directory = argv[++i];
    } else if (strcmp(argument, "--join") == 0) {
      options.join = argv[++i];
    } else if (strcmp(argument, "--lossy") == 0) {
      options.lossy = true;
    } else if (strcmp(argument, "-f") == 0) {
      options.replace = true;
    } else if (strcmp(argument, "--split") == 0) {
      options.split = true;
    } else if (strcmp(argument, "--all") == 0) {
      options.every_file = true;
    } else if (argument[0] == '-' && argument[1] != '\0') {
      fprintf(stderr, "dskconv: unknown option or missing argument: \"%s\"\n%s", argument, kUsage);
      return false;
    } else {
      argv[paths++] = argv[i];
    }
  }
  const int kinds = (options.split ? 1 : 0) + (options.join != nullptr ? 1 : 0) +
                    (options.directory != nullptr ? 1 : 0);
  const char* problem = nullptr;
  if (kinds > 1) {
    problem = "--split, --join and -C go alone";
  } else if (paths == 0) {
    problem = "no image named";
  } else if (kinds == 0 && paths != 2) {
    problem = "IN and OUT, or --split, --join or -C";
  } else if (options.directory != nullptr && options.type == ContainerKind::kNone) {
    problem = "-C needs -t TYPE";
  } else if (options.join != nullptr && options.type != ContainerKind::kNone &&
             options.type != ContainerKind::kD88) {
    problem = "--join writes D88 only";
  } else if (options.pattern != nullptr && !options.split) {
    problem = "-o goes with --split";
  }
  if (problem != nullptr) {
    fprintf(stderr, "dskconv: %s\n%s", problem, kUsage);
    return false;
  }
  return true;
}

}  // namespace

int RunDskconv(int argc, char** argv, DskconvState& state) {
  int status;
  if (AnswerInformationRequest(argc, argv, "dskconv", kHelp, true, status)) return status;
  ExtractionRun run("dskconv");
  run.japanese_open_message = false;
  Options options;
  int paths = 0;
  if (!ParseArguments(argc, argv, options, paths)) return kExitFailure;
  Converter converter(run, state, options);
  if (options.directory != nullptr) {
    CollectionRun collection(run, state, options);
    if (collection.origin.Save() != 0 || !StartRun(run, nullptr, options.directory, state.source) ||
        collection.output.Save() != 0) {
      return kExitFailure;
    }
    for (int i = 0; i < paths && !collection.stopped; ++i) collection.Take(argv[i]);
    NotePassedOver(run.diagnostics, collection.passed_over);
    return FinishRun(run.diagnostics);
  }
  if (options.split) {
    for (int i = 0; i < paths; ++i) Split(run, state, options, argv[i]);
    return FinishRun(run.diagnostics);
  }
  if (options.join != nullptr) {
    Source sources[256];
    if (paths > 256) {
      fprintf(stderr, "dskconv: --join takes at most 256 images\n");
      return kExitFailure;
    }
    for (int i = 0; i < paths; ++i) sources[i] = Source{argv[i], nullptr, 0, argv[i], argv[i]};
    const Selection selection = {sources, paths, -1};
    converter.Convert(selection, false, ContainerKind::kD88, options.join);
    return FinishRun(run.diagnostics);
  }
  const char* in = argv[0];
  const char* out = argv[1];
  const ContainerKind type = options.type != ContainerKind::kNone ? options.type : TypeOfName(out);
  if (type == ContainerKind::kNone) {
    fprintf(stderr, "dskconv: %s: its extension names no container written; -t names one\n%s", out,
            kUsage);
    return kExitFailure;
  }
  if (!OpenImage(run, in, state.source)) return kExitFailure;
  const Source source = {in, nullptr, 0, in, in};
  const Selection selection = {&source, 1, options.lossy && type != ContainerKind::kD88 ? 0 : -1};
  if (selection.disk == 0 && state.source.DiskCount() > 1) {
    run.diagnostics.Warn("%s: holds %d disks; %s holds one: disk 0 written", in,
                         state.source.DiskCount(), diskimage::ContainerName(type));
  }
  converter.Convert(selection, true, type, out);
  return FinishRun(run.diagnostics);
}
