// dskput's command line and its two kinds of run: a new disk formatted (-n) and an image given
// files (-o OUT, --in-place). Files are added to the disk in memory; the image is written only
// when every path was added, to a temporary file beside its name, read back, compared and then
// given the name.
#include "dskput/dskput.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/host/file_info.h"
#include "common/run/command_line.h"
#include "common/run/container_names.h"
#include "common/run/extraction_run.h"
#include "common/run/open_image.h"
#include "common/run/program_messages.h"
#include "common/writing/save_file.h"
#include "common/writing/staged_sink.h"
#include "diskimage/container_writer.h"
#include "diskimage/identify.h"
#include "diskimage/names.h"
#include "dskput/entry_writer.h"
#include "dskput/host_file.h"

namespace {

using diskimage::ContainerKind;
using diskimage::FileSystemKind;

const char kUsage[] =
    "Usage: dskput -n FS[:VARIANT] OUT [PATH...] [options]\n"
    "       dskput IMAGE PATH... -o OUT [options]\n"
    "       dskput IMAGE PATH... --in-place [--no-backup] [options]\n"
    "       dskput --list\n";

const char kHelp[] =
    "Usage: dskput -n FS[:VARIANT] OUT [PATH...] [--boot FILE] [options]\n"
    "       dskput IMAGE PATH... -o OUT [options]\n"
    "       dskput IMAGE PATH... --in-place [--no-backup] [options]\n"
    "       dskput --list | --help | --version\n"
    "\n"
    "Writes files and folders (PATHs) into a floppy-disk image: a new disk formatted\n"
    "as file system FS in the geometry VARIANT (-n; dskput --list lists them), or a\n"
    "copy of IMAGE, any container dskget reads, with the PATHs added to one of its\n"
    "disks. FS is fat12, human68k, n88-basic, hu-basic, f-basic, cpm or mz-basic.\n"
    "The container written is OUT's extension's, as in dskconv (.d88, .hdm, .fdi,\n"
    "...; --in-place: IMAGE's own). IMAGE is never changed but with --in-place.\n"
    "\n"
    "Names are converted into code page 932 and must fit the disk's rules (FAT12\n"
    "8.3, Human68k 18.3, N88-BASIC 6.3, Hu-BASIC 13.3, F-BASIC 8, CP/M 8.3 in upper\n"
    "case, MZ 17); a name that does not is refused with the rule it breaks. A name\n"
    "the disk's folder has already is refused unless --replace.\n"
    "\n"
    "Options:\n"
    "  -n FS[:VARIANT]  a new disk (VARIANT: the system's first, without it)\n"
    "  -o OUT       the image written (a copy of IMAGE with the PATHs added)\n"
    "  -f           replace an existing OUT (never IMAGE itself)\n"
    "  --in-place   write IMAGE itself, keeping the original as IMAGE.bak\n"
    "  --no-backup  with --in-place: keep no IMAGE.bak\n"
    "  --disk N     add to disk N of IMAGE (from 0; default 0)\n"
    "  --to DIR     add into the disk's folder DIR ('/' between folders)\n"
    "  --rename     shorten names that break the rules, as the system's own\n"
    "               tools do, and say so\n"
    "  --replace    a file the disk has already, of the same name, is replaced\n"
    "  --type TYPE  the files' type where the system records one: bin, asc, bas\n"
    "               (N88-BASIC, Hu-BASIC; F-BASIC also dat), obj, btx (MZ); by\n"
    "               default .bas, .asc and .txt files are ASCII text (1Ah is\n"
    "               appended where the system ends text so), others binary\n"
    "  --load ADDR  a binary's load address (Hu-BASIC, MZ; 0x for hexadecimal)\n"
    "  --exec ADDR  a binary's execution address (Hu-BASIC, MZ)\n"
    "  --boot FILE  -n: the new disk's boot sector (cylinder 0, head 0, sector 1)\n"
    "               from FILE: disk 0's of an image, or FILE's bytes (zeros after\n"
    "               them); FAT keeps its parameter block, N88-BASIC reserves\n"
    "               the cluster that holds it\n"
    "\n"
    "Standard output says each PATH added (\"PATH -> NAME\") and the image written.\n"
    "\n"
    "Exit status: 0 when every PATH was added and the image written and checked; 1\n"
    "for usage, or an IMAGE that cannot be opened; 2 when a PATH could not be added\n"
    "(the disk full, a name refused, ...: nothing is written then) or the image\n"
    "could not be written.\n";

constexpr size_t kPathSize = 8192;

// The most bytes of an image read for adding to it: many disks.
constexpr size_t kMostImageBytes = size_t{32} << 20;
unsigned char image_bytes[kMostImageBytes];

struct Options {
  const char* new_disk = nullptr;  // -n FS[:VARIANT]
  const char* out = nullptr;       // -o
  bool in_place = false;
  bool backup = true;
  bool replace_image = false;  // -f
  bool list = false;
  int disk = 0;
  const char* to = nullptr;
  const char* boot = nullptr;  // --boot FILE
  AddOptions add;
};

// Reads the number `text` (decimal, or hexadecimal after 0x) into `value`, within 0..`most`.
bool ReadNumber(const char* text, long most, int& value) {
  char* end = nullptr;
  errno = 0;
  const long number = strtol(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || number < 0 || number > most) return false;
  value = static_cast<int>(number);
  return true;
}

// Reads the options; the other arguments are moved to the front of argv, their count into
// `paths`. False, after saying why, for a usage error.
bool ParseArguments(int argc, char** argv, Options& options, int& paths) {
  paths = 0;
  bool load = false, exec = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    static const char* const kWithValue[] = {"-n",     "-o",     "--disk", "--to",
                                             "--type", "--load", "--exec"};
    bool takes_value = false;
    for (const char* option : kWithValue)
      takes_value = takes_value || strcmp(argument, option) == 0;
    if (takes_value && i + 1 >= argc) {
      fprintf(stderr, "dskput: unknown option or missing argument: \"%s\"\n%s", argument, kUsage);
      return false;
    }
    const char* problem = nullptr;
    if (strcmp(argument, "-n") == 0) {
      options.new_disk = argv[++i];
    } else if (strcmp(argument, "-o") == 0) {
      options.out = argv[++i];
    } else if (strcmp(argument, "--disk") == 0) {
      if (!ReadNumber(argv[++i], 255, options.disk)) problem = "--disk takes a disk number";
    } else if (strcmp(argument, "--boot") == 0) {
      options.boot = argv[++i];
    } else if (strcmp(argument, "--to") == 0) {
      options.to = argv[++i];
    } else if (strcmp(argument, "--type") == 0) {
      options.add.type = argv[++i];
    } else if (strcmp(argument, "--load") == 0) {
      load = true;
      if (!ReadNumber(argv[++i], 0xFFFF, options.add.load_address)) {
        problem = "--load takes an address from 0 to 0xFFFF";
      }
    } else if (strcmp(argument, "--exec") == 0) {
      exec = true;
      if (!ReadNumber(argv[++i], 0xFFFF, options.add.exec_address)) {
        problem = "--exec takes an address from 0 to 0xFFFF";
      }
    } else if (strcmp(argument, "--in-place") == 0) {
      options.in_place = true;
    } else if (strcmp(argument, "--no-backup") == 0) {
      options.backup = false;
    } else if (strcmp(argument, "-f") == 0) {
      options.replace_image = true;
    } else if (strcmp(argument, "--rename") == 0) {
      options.add.rename = true;
    } else if (strcmp(argument, "--replace") == 0) {
      options.add.replace = true;
    } else if (strcmp(argument, "--list") == 0) {
      options.list = true;
    } else if (argument[0] == '-' && argument[1] != '\0') {
      fprintf(stderr, "dskput: unknown option or missing argument: \"%s\"\n%s", argument, kUsage);
      return false;
    } else {
      argv[paths++] = argv[i];
    }
    if (problem != nullptr) {
      fprintf(stderr, "dskput: %s\n%s", problem, kUsage);
      return false;
    }
  }
  const char* problem = nullptr;
  if (options.list) {
    if (paths > 0 || options.new_disk != nullptr || options.out != nullptr) {
      problem = "--list goes alone";
    }
  } else if (options.new_disk != nullptr) {
    if (paths == 0) {
      problem = "-n needs OUT";
    } else if (options.out != nullptr || options.in_place) {
      problem = "-n writes OUT, the first name after it: no -o or --in-place";
    } else if (options.disk != 0) {
      problem = "a new disk is disk 0";
    }
  } else if (paths < 2) {
    problem = paths == 0 ? "no image named" : "no file or folder named to add";
  } else if ((options.out != nullptr) == options.in_place) {
    problem = "IMAGE PATH... needs -o OUT or --in-place";
  }
  if (problem == nullptr && options.boot != nullptr && options.new_disk == nullptr) {
    problem = "--boot goes with -n: a new disk";
  }
  if (problem == nullptr && !options.backup && !options.in_place) {
    problem = "--no-backup goes with --in-place";
  }
  if (problem == nullptr && (load || exec) && options.add.type != nullptr &&
      strcmp(options.add.type, "bin") != 0 && strcmp(options.add.type, "obj") != 0) {
    problem = "--load and --exec are a binary's (--type bin or obj)";
  }
  if (problem != nullptr) {
    fprintf(stderr, "dskput: %s\n%s", problem, kUsage);
    return false;
  }
  return true;
}

// The size of `grid` in kilobytes, as --list says it.
int64_t Kilobytes(const diskimage::SectorGrid& grid) { return grid.DiskBytes() / 1024; }

// Lists every file system's variants.
int ListVariants() {
  for (int i = 0; diskimage::IsFileSystem(diskimage::NthFileSystem(i)); ++i) {
    const FileSystemKind kind = diskimage::NthFileSystem(i);
    const char* name;
    diskimage::SectorGrid grid;
    for (int v = 0; diskimage::NthFormatVariant(kind, v, name, grid); ++v) {
      char variant[48];
      snprintf(variant, sizeof variant, "%s:%s", diskimage::FileSystemName(kind), name);
      printf("%-20s %2d x %d x %2d x %4d  %5lld KB%s\n", variant, grid.cylinders, grid.heads,
             grid.sectors, 128 << grid.size_code, static_cast<long long>(Kilobytes(grid)),
             grid.fm_track0 ? "  (track 0: FM, 26 x 128)" : "");
    }
  }
  return fflush(stdout) == 0 ? kExitSuccess : kExitProblems;
}

// The file system and variant "FS[:VARIANT]" names; false, said, for none.
bool FindVariant(const char* text, FileSystemKind& kind, int& variant) {
  const char* colon = strchr(text, ':');
  char fs_name[32];
  snprintf(fs_name, sizeof fs_name, "%.*s",
           static_cast<int>(colon != nullptr ? colon - text : strlen(text)), text);
  kind = FileSystemKind::kUnknown;
  for (int i = 0; diskimage::IsFileSystem(diskimage::NthFileSystem(i)); ++i) {
    if (diskimage::SameIgnoringAsciiCase(diskimage::FileSystemName(diskimage::NthFileSystem(i)),
                                         fs_name)) {
      kind = diskimage::NthFileSystem(i);
    }
  }
  variant = kind == FileSystemKind::kUnknown ? -1
            : colon == nullptr               ? 0
                                             : diskimage::FindFormatVariant(kind, colon + 1);
  const char* name;
  diskimage::SectorGrid grid;
  if (variant < 0 || !diskimage::NthFormatVariant(kind, variant, name, grid)) {
    fprintf(stderr, "dskput: -n: \"%s\" is no file system and variant (dskput --list lists them)\n",
            text);
    return false;
  }
  return true;
}

// What the run writes: the disks of `state.source` (an image given) or the one new disk.
class ImageWriter {
 public:
  ImageWriter(ExtractionRun& run, DskputState& state, bool new_disk)
      : run(run), state(state), new_disk(new_disk) {}

  // Writes the image to `out` as `type`, replacing an existing file only with `replace`; read
  // back and compared before it is named. True once written.
  bool Write(ContainerKind type, const char* out, bool replace, const diskimage::DiskFacts& facts) {
    int disks = 0;
    bool held = true;
    ForEachDisk([&](int disk) {
      ++disks;
      diskimage::ContainerLoss losses[16];
      const int found = diskimage::FindContainerLosses(type, state.map, Facts(facts), losses, 16);
      for (int i = 0; i < found && i < 16; ++i) {
        run.diagnostics.Report(out, "disk %d: %s", disk, losses[i].text);
      }
      held = held && found == 0;
    });
    if (disks > 1 && type != ContainerKind::kD88) {
      run.diagnostics.Report(out, "%d disks; %s holds one", disks, diskimage::ContainerName(type));
      held = false;
    }
    if (!held) {
      run.diagnostics.Note("%s not written", out);
      return false;
    }
    StagedFile file;
    int error = BeginStagedFile(out, file);
    if (error == 0) {
      StagedSink sink(file);
      bool written = true;
      ForEachDisk([&](int) {
        written = written && diskimage::WriteContainer(type, state.map, Facts(facts), sink);
      });
      error = sink.Flush();
      const int closed = CloseStagedFile(file);
      if (error == 0) error = closed != 0 ? closed : written ? 0 : EIO;
    }
    if (error != 0) {
      run.diagnostics.Report(out, "cannot be written: %s", strerror(error));
      DropStagedFile(file);
      return false;
    }
    if (!ReadBack(type, file.temporary, out)) {
      DropStagedFile(file);
      return false;
    }
    error = KeepStagedFile(file, out, replace);
    if (error != 0) {
      run.diagnostics.Report(
          out, error == EEXIST ? "exists; not replaced (-f replaces it)" : "cannot be written: %s",
          strerror(error));
      return false;
    }
    return true;
  }

 private:
  // The facts of the disk being written: the source's, or `facts` for a new disk.
  diskimage::DiskFacts Facts(const diskimage::DiskFacts& facts) const {
    if (new_disk) return facts;
    return diskimage::DiskFacts{state.source.DiskName(), state.source.WriteProtected(),
                                state.source.MediaType(), facts.image_time};
  }

  // Calls visit(disk) for each disk written, its map in state.map.
  template <typename Visit>
  void ForEachDisk(Visit visit) {
    if (new_disk) {
      visit(0);
      return;
    }
    for (int disk = 0; disk < state.source.DiskCount() && state.source.SelectDisk(disk); ++disk) {
      state.map.Load(state.source.Disk());
      visit(disk);
    }
  }

  bool ReadBack(ContainerKind type, const char* temporary, const char* out) {
    if (!OpenWrittenImage(temporary, state.copy) || state.copy.Container() != type) {
      run.diagnostics.Report(out, "the image written does not read back as %s; not kept",
                             diskimage::ContainerName(type));
      return false;
    }
    bool same = true;
    int disks = 0;
    ForEachDisk([&](int disk) {
      char difference[200] = "";
      if (!same) return;
      same = state.copy.SelectDisk(disks++);
      if (same) state.copy_map.Load(state.copy.Disk());
      same = same && diskimage::SameSectors(type, state.map, state.copy_map, true, difference,
                                            sizeof difference);
      if (!same) {
        run.diagnostics.Report(out, "disk %d reads back otherwise (%s); not kept", disk,
                               difference[0] != '\0' ? difference : "missing");
      }
    });
    if (same && disks != state.copy.DiskCount()) {
      run.diagnostics.Report(out, "the image written holds %d disks, not %d; not kept",
                             state.copy.DiskCount(), disks);
      same = false;
    }
    OpenWrittenImage(nullptr, state.copy);
    return same;
  }

  ExtractionRun& run;
  DskputState& state;
  bool new_disk;
};

// When the image is made: SOURCE_DATE_EPOCH where set (a build that is to be reproducible), else
// now.
int64_t ImageTime() {
  const char* epoch = getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr && *epoch != '\0') return strtoll(epoch, nullptr, 10);
  return static_cast<int64_t>(time(nullptr));
}

// Adds the PATHs to the mounted disk (into --to's folder); true when every one was added.
bool AddPaths(ExtractionRun& run, DskputState& state, const Options& options, char** paths,
              int count, unsigned char* bytes, size_t size) {
  EntryWriter writer(run.diagnostics, state.fs, bytes, size, options.disk, options.add);
  diskimage::DirectoryEntry folder;
  const bool into_folder = options.to != nullptr && options.to[0] != '\0';
  if (into_folder && !writer.FindFolder(options.to, folder)) return false;
  char folder_path[kPathSize + 1] = "";
  if (into_folder) {
    char sjis[kPathSize];
    if (diskimage::Utf8ToShiftJis(options.to, sjis, sizeof sjis) >= 0) {
      snprintf(folder_path, sizeof folder_path, "%s%s", sjis,
               sjis[strlen(sjis) - 1] == '/' ? "" : "/");
    }
  }
  if (options.add.load_address != 0 || options.add.exec_address != 0) {
    if (!diskimage::RecordsAddresses(state.fs.Kind())) {
      run.diagnostics.Report(nullptr, "--load, --exec: %s records no addresses",
                             diskimage::FileSystemName(state.fs.Kind()));
      return false;
    }
  }
  for (int i = 0; i < count && !writer.stopped; ++i) {
    writer.Add(paths[i], into_folder ? &folder : nullptr, folder_path);
  }
  if (writer.refused > 0 || writer.stopped) {
    run.diagnostics.Note("nothing written: %d of the paths could not be added",
                         writer.refused > 0 ? writer.refused : 1);
    return false;
  }
  return true;
}

// The boot sector of --boot's FILE into `sector` (1024 bytes), its length into `size`: disk 0's
// first sector (cylinder 0, head 0, sector 1) where FILE is an image, else FILE's bytes. False,
// said, when there is none or it is larger than the new disk's (`most` bytes).
bool ReadBootSector(ExtractionRun& run, DskputState& state, const char* path, int64_t most,
                    unsigned char* sector, size_t& size) {
  size = 0;
  if (state.copy.Open(path) && state.copy.DiskCount() > 0 && state.copy.SelectDisk(0)) {
    state.copy_map.Load(state.copy.Disk());
    const diskimage::SectorHeader* boot = state.copy_map.Find(0, 1);
    if (boot == nullptr) {
      run.diagnostics.Report(path, "--boot: disk 0 has no sector 1 on cylinder 0, head 0");
      return false;
    }
    if (boot->data_size > most) {
      run.diagnostics.Report(path, "--boot: its boot sector is %d bytes; the new disk's holds %lld",
                             boot->data_size, static_cast<long long>(most));
      return false;
    }
    size = static_cast<size_t>(state.copy_map.Read(*boot, sector, boot->data_size));
    OpenWrittenImage(nullptr, state.copy);
    return true;
  }
  const int error = ReadHostFile(path, sector, static_cast<size_t>(most), size, nullptr);
  if (error == EFBIG) {
    run.diagnostics.Report(path, "--boot: %lld bytes; the new disk's boot sector holds %lld",
                           static_cast<long long>(size), static_cast<long long>(most));
    return false;
  }
  if (error != 0) {
    run.diagnostics.Report(path, "--boot: cannot be read: %s", strerror(error));
    return false;
  }
  return true;
}

// dskput -n FS[:VARIANT] OUT [PATH...]
int NewDisk(ExtractionRun& run, DskputState& state, const Options& options, char** argv,
            int paths) {
  FileSystemKind kind;
  int variant;
  if (!FindVariant(options.new_disk, kind, variant)) return kExitFailure;
  const char* out = argv[0];
  const ContainerKind type = TypeOfName(out);
  if (type == ContainerKind::kNone) {
    fprintf(stderr, "dskput: %s: its extension names no container written\n%s", out, kUsage);
    return kExitFailure;
  }
  const char* variant_name;
  diskimage::SectorGrid grid;
  diskimage::NthFormatVariant(kind, variant, variant_name, grid);
  const size_t size = static_cast<size_t>(grid.DiskBytes());
  if (!diskimage::FormatDisk(kind, variant, image_bytes, size)) return kExitFailure;
  if (options.boot != nullptr) {
    unsigned char boot[1024];
    size_t boot_size = 0;
    if (!ReadBootSector(run, state, options.boot, diskimage::BootSectorBytes(grid), boot,
                        boot_size)) {
      return FinishRun(run.diagnostics);
    }
    diskimage::WriteBootSector(kind, variant, boot, boot_size, image_bytes, size);
  }
  state.table.Reset(image_bytes, size);
  int64_t offset = 0;
  for (int k = 0; k < grid.cylinders * grid.heads; ++k) {
    offset = diskimage::AddGridTrack(state.table, grid, k, offset, size);
  }
  state.map.Load(state.table);
  if (!state.fs.Mount(state.map, kind)) {
    run.diagnostics.Report(out, "the new disk does not mount as %s",
                           diskimage::FileSystemName(kind));
    return FinishRun(run.diagnostics);
  }
  FileInfo existing;
  if (GetFileInfo(out, existing) && !options.replace_image) {
    run.diagnostics.Report(out, "exists; not replaced (-f replaces it)");
    return FinishRun(run.diagnostics);
  }
  if (!AddPaths(run, state, options, argv + 1, paths - 1, image_bytes, size)) {
    return FinishRun(run.diagnostics);
  }
  ImageWriter writer(run, state, true);
  const diskimage::DiskFacts facts = {"", false, grid.Media(), ImageTime()};
  if (writer.Write(type, out, options.replace_image, facts)) {
    printf("%s:%s -> %s (%s)\n", diskimage::FileSystemName(kind), variant_name, out,
           diskimage::ContainerName(type));
  }
  return FinishRun(run.diagnostics);
}

// The path of IMAGE's backup, IMAGE.bak, into `backup`; false when too long.
bool BackupName(const char* image, char* backup, size_t size) {
  const int length = snprintf(backup, size, "%s.bak", image);
  return length > 0 && static_cast<size_t>(length) < size;
}

// dskput IMAGE PATH... -o OUT | --in-place
int AddToImage(ExtractionRun& run, DskputState& state, const Options& options, char** argv,
               int paths) {
  const char* image = argv[0];
  size_t size = 0;
  const int read_error = ReadHostFile(image, image_bytes, kMostImageBytes, size, nullptr);
  if (read_error != 0) {
    run.diagnostics.Report(image, "cannot be read: %s",
                           read_error == EFBIG ? "larger than 32 MiB" : strerror(read_error));
    return kExitFailure;
  }
  const int64_t image_time = HostFileTime(image);
  if (!state.source.OpenMemory(image_bytes, size) || state.source.DiskCount() == 0) {
    run.diagnostics.Report(image, "holds no disk image dskput reads");
    return kExitFailure;
  }
  const char* out = options.in_place ? image : options.out;
  const ContainerKind type = options.in_place ? state.source.Container() : TypeOfName(out);
  bool writable = false;
  for (ContainerKind kind : diskimage::kWritableContainers) writable = writable || kind == type;
  if (!writable) {
    if (options.in_place) {
      run.diagnostics.Report(image,
                             "%s is not written; -o OUT writes the disk into another "
                             "container",
                             diskimage::ContainerName(type));
    } else {
      fprintf(stderr, "dskput: %s: its extension names no container written\n%s", out, kUsage);
    }
    return kExitFailure;
  }
  FileInfo image_file, out_file;
  if (!options.in_place && GetFileInfo(out, out_file)) {
    GetFileInfo(image, image_file);
    if (SameFile(image_file, out_file)) {
      run.diagnostics.Report(out, "is the image given; not overwritten (--in-place writes it)");
      return FinishRun(run.diagnostics);
    }
    if (!options.replace_image) {
      run.diagnostics.Report(out, "exists; not replaced (-f replaces it)");
      return FinishRun(run.diagnostics);
    }
  }
  char backup[kPathSize];
  if (options.in_place && options.backup) {
    FileInfo existing;
    if (!BackupName(image, backup, sizeof backup) || GetFileInfo(backup, existing)) {
      run.diagnostics.Report(backup, "exists; not replaced (--no-backup keeps none)");
      return FinishRun(run.diagnostics);
    }
  }
  if (!state.source.SelectDisk(options.disk)) {
    run.diagnostics.Report(image, "has no disk %d (%d disks, from 0)", options.disk,
                           state.source.DiskCount());
    return FinishRun(run.diagnostics);
  }
  state.map.Load(state.source.Disk());
  diskimage::Identification id;
  diskimage::Identify(state.map, state.fs, id);
  // An empty disk is every formatter's: the first system that mounts it (a new CP/M disk).
  for (int i = 0; id.kind == FileSystemKind::kUnformatted &&
                  diskimage::IsFileSystem(diskimage::NthFileSystem(i));
       ++i) {
    if (state.fs.Mount(state.map, diskimage::NthFileSystem(i)))
      id.kind = diskimage::NthFileSystem(i);
  }
  if (!diskimage::IsFileSystem(id.kind) || !state.fs.Mount(state.map, id.kind)) {
    run.diagnostics.Report(image, "disk %d: %s, no file system dskput writes", options.disk,
                           diskimage::FileSystemName(id.kind));
    return FinishRun(run.diagnostics);
  }
  if (!AddPaths(run, state, options, argv + 1, paths - 1, image_bytes, size)) {
    return FinishRun(run.diagnostics);
  }
  ImageWriter writer(run, state, false);
  const diskimage::DiskFacts disk_facts = {"", false, 0, image_time};
  if (options.in_place && options.backup) {
    // The original keeps its bytes under the backup's name before the new image takes its own.
    if (rename(image, backup) != 0) {
      run.diagnostics.Report(image, "cannot be renamed to %s: %s", backup, strerror(errno));
      return FinishRun(run.diagnostics);
    }
    if (!writer.Write(type, image, false, disk_facts)) {
      if (rename(backup, image) != 0) {
        run.diagnostics.Report(image, "the original is kept as %s", backup);
      }
      return FinishRun(run.diagnostics);
    }
  } else if (!writer.Write(type, out, options.replace_image || options.in_place, disk_facts)) {
    return FinishRun(run.diagnostics);
  }
  printf("%s -> %s (%s)\n", image, out, diskimage::ContainerName(type));
  return FinishRun(run.diagnostics);
}

}  // namespace

int RunDskput(int argc, char** argv, DskputState& state) {
  int status;
  if (AnswerInformationRequest(argc, argv, "dskput", kHelp, true, status)) return status;
  ExtractionRun run("dskput");
  Options options;
  int paths = 0;
  if (!ParseArguments(argc, argv, options, paths)) return kExitFailure;
  if (options.list) return ListVariants();
  if (options.new_disk != nullptr) return NewDisk(run, state, options, argv, paths);
  return AddToImage(run, state, options, argv, paths);
}
