// dskcut's command line and its loop over the disks of an image.
#include "dskcut/dskcut.h"

#include <cstdio>
#include <cstring>

#include "common/run/command_line.h"
#include "common/run/foreign_disk.h"
#include "common/run/listed_name.h"
#include "common/run/program_messages.h"
#include "common/writing/working_directory.h"

namespace {

// "       -d : " then Shift-JIS "サブディレクトリを作成しな" (no subdirectories).
const char kHelpNoSubdirectories[] =
    "       -d : \x83\x54\x83\x75\x83\x66\x83\x42\x83\x8c\x83\x4e\x83\x67\x83\x8a\x82\xf0\x8d\xec"
    "\x90\xac\x82\xb5\x82\xc8\n";
// "       -2 : KOVA" then Shift-JIS "切り出しモードにする" (KOVA extraction mode).
const char kHelpKovaMode[] =
    "       -2 : KOVA\x90\xd8\x82\xe8\x8f\x6f\x82\xb5\x83\x82\x81\x5b\x83\x68\x82\xc9\x82\xb7\x82"
    "\xe9\n";

// The same two lines in UTF-8, for -u.
const char kHelpNoSubdirectoriesUtf8[] = "       -d : サブディレクトリを作成しな\n";
const char kHelpKovaModeUtf8[] = "       -2 : KOVA切り出しモードにする\n";

const char kHelp[] =
    "Usage: dskcut d88file [-d] [-2] [-l] [-u] [-f] [-C DIR]\n"
    "       dskcut --help | --version\n"
    "\n"
    "Extracts the files of every disk of a D88 floppy-disk image whose directory\n"
    "(track 1, sectors 1 and 2) has 16-byte entries with 6.3 names and whose data\n"
    "tracks hold five 1024-byte sectors. The image is never modified. d88file may be\n"
    "a pipe, or \"-\" for standard input.\n"
    "\n"
    "Options, after the image:\n"
    "  -d      no subdirectories: the files of all disks go into one directory\n"
    "  -2      KOVA mode: skip empty directory entries instead of stopping there\n"
    "  -l      list only: print the listing and the diagnostics about the image,\n"
    "          create no file and no directory\n"
    "  -u      names in UTF-8, converted from Shift-JIS; a byte that is not\n"
    "          Shift-JIS becomes %XX (its value in hexadecimal)\n"
    "  -f      read every disk as this layout, also one that holds a standard file\n"
    "          system (FAT12, Human68k, N88-BASIC, Hu-BASIC, F-BASIC), dskget's:\n"
    "          without -f such a disk is said and nothing of it is written\n"
    "  -C DIR  extract into DIR, created if needed, as if started there\n"
    "Any other argument is ignored, with a warning.\n"
    "\n"
    "Output: disk 0 goes into the subdirectory 000, disk 1 into 001, and so on (with\n"
    "-d, into the current directory). Standard output lists each disk, as\n"
    "\"[NAME] -> 000\", and each file: its name, start track, start block, length in\n"
    "256-byte blocks and last-block flag, in hexadecimal. Every problem is reported\n"
    "on standard error, one line each: \"dskcut: NAME: reason\".\n"
    "\n"
    "Exit status: 0 when every listed file was written in full from the disk; 1 for\n"
    "usage, or when the image or DIR cannot be opened; 2 when the run went through\n"
    "with diagnostics.\n";

// With -d, the names written so far, so that a later disk's file replacing one is said: 64 disks
// of 127 entries fill half of it.
NameSlot name_slots[1 << 14];

}  // namespace

int RunDskcut(int argc, char** argv, diskimage::D88Image& image, DskcutBuffers& buffers) {
  int status;
  if (argc >= 2 && AnswerInformationRequest(argc, argv, "dskcut", kHelp, false, status))
    return status;
  ExtractionRun run("dskcut");
  bool subdirectories = true;
  bool kova_mode = false;
  bool as_layout = false;
  const char* output_directory = nullptr;
  bool missing_directory = false;
  for (int i = 2; i < argc; ++i) {
    char letters[kMaxBundledOptions + 1];
    if (!SplitShortOptions(argv[i], "d2lufC", letters)) {
      run.diagnostics.Warn(
          "argument \"%s\" ignored: %s", argv[i],
          argv[i][0] == '-' && argv[i][1] != '\0' ? "unknown option" : "one image per run");
      continue;
    }
    for (const char* letter = letters; *letter != '\0'; ++letter) {
      if (*letter == 'd') {
        subdirectories = false;
      } else if (*letter == '2') {
        kova_mode = true;
      } else if (*letter == 'f') {
        as_layout = true;
      } else if (TakeCommonOption(*letter, argc, argv, i, run, output_directory) ==
                 CommonOption::kMissingDirectory) {
        missing_directory = true;
      }
    }
  }
  if (argc < 2 || missing_directory) {
    if (missing_directory) fputs("dskcut: option -C needs a directory\n", stderr);
    fprintf(stderr, "Usage: %s [d88file] (-d)\n", argc > 0 && argv[0] ? argv[0] : "dskcut");
    WriteJapaneseMessage(run.utf8_names, kHelpNoSubdirectories, kHelpNoSubdirectoriesUtf8);
    WriteJapaneseMessage(run.utf8_names, kHelpKovaMode, kHelpKovaModeUtf8);
    fputs("Try 'dskcut --help'.\n", stderr);
    return kExitFailure;
  }
  if (!StartRun(run, argv[1], output_directory, image, true)) {
    HintOptionsGoAfterTheImage(argc, argv, "dskcut",
                               "dskcut IMAGE [-d] [-2] [-l] [-u] [-f] [-C DIR]");
    return kExitFailure;
  }

  // The part of the table that the image's disks fill at most half of, cleared of a run before.
  size_t name_capacity = 256;
  while (name_capacity < 2 * 127 * static_cast<size_t>(image.DiskCount())) name_capacity *= 2;
  NameTable one_folder_names(name_slots, name_capacity);
  if (!subdirectories) {
    memset(name_slots, 0, name_capacity * sizeof name_slots[0]);  // an earlier run's names
    run.one_folder_names = &one_folder_names;
  }

  StartingDirectory start;
  for (int i = 0; i < image.DiskCount(); ++i) {
    image.SelectDisk(i);
    char directory[12];  // "000" to "063"; room for any int
    snprintf(directory, sizeof directory, "%03d", i);
    run.disk = i;
    snprintf(run.name_prefix, sizeof run.name_prefix, "%s", subdirectories ? directory : "");
    if (subdirectories) strcat(run.name_prefix, "/");
    ListedName disk_name;
    PrepareListedName(run, image.DiskName(), disk_name);
    if (!as_layout && HoldsStandardFileSystem(run, directory, image)) {
      fputs("\n[", stdout);
      PrintListedName(disk_name, 0);
      fputs("]\n", stdout);
      PassOverDisk(image, i, buffers);
      continue;
    }
    const bool enter = subdirectories && !run.list_only;
    FileInfo existing;
    const bool existed = enter && GetFileInfo(directory, existing);
    if (enter && !EnterDiskFolder(start, directory, run.diagnostics)) continue;
    fputs("\n[", stdout);
    PrintListedName(disk_name, 0);
    if (subdirectories) {
      printf("] -> %s\n", directory);
    } else {
      fputs("]\n", stdout);
    }
    if (disk_name.escaped > 0) {
      run.diagnostics.Report(directory,
                             "the disk's name holds bytes that are not Shift-JIS, shown "
                             "as %%XX");
    }
    const bool found = ExtractDisk(image, i, kova_mode, buffers, run);
    if (enter) {
      if (!LeaveDiskFolder(start, directory, run.diagnostics)) break;
      // A disk without a directory leaves no empty folder behind (one that held files stays).
      if (!found && !existed) RemoveEmptyFolder(directory);
    }
  }
  return FinishRun(run);
}
