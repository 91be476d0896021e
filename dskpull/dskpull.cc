// dskpull's command line, the loading of disk 0 and the writing of its files.
#include "dskpull/dskpull.h"

#include <cstdio>
#include <cstring>

#include "common/console/listing_fields.h"
#include "common/host/prefault.h"
#include "common/run/command_line.h"
#include "common/run/foreign_disk.h"
#include "common/run/listed_name.h"
#include "common/run/program_messages.h"
#include "common/writing/save_entry_file.h"
#include "diskimage/d88_image.h"

namespace {

constexpr int kDirectoryTrack = 1;
constexpr int kEntrySize = 8;
constexpr int kEntryCount = 128;
constexpr int kSectorSize = 512;
constexpr int kSectorSizeCode = 2;     // 512-byte data sectors
constexpr int kDirectorySizeCode = 1;  // 256-byte directory sectors

// What loading a track needs: the image with disk 0 selected, and where the track goes.
struct DiskTracks {
  diskimage::D88Image* image;
  DskpullBuffers* buffers;
};

// What a track holds after the sectors read from it.
const unsigned char kZeroTrack[kDskpullTrackSize] = {};

// Finds the data tracks in slots `first_slot` to `last_slot` of the track image that are not
// read yet: where the image lies in memory, its sectors are written from there; an image read
// from a file is copied into the track image.
void LoadTracks(void* context, int first_slot, int last_slot) {
  const DiskTracks& tracks = *static_cast<const DiskTracks*>(context);
  DskpullBuffers& buffers = *tracks.buffers;
  for (int slot = first_slot; slot <= last_slot; ++slot) {
    if (buffers.track_read[slot]) continue;
    buffers.track_read[slot] = true;
    const int track = slot + kDskpullFirstDataTrack;
    FilePiece* pieces = buffers.track_pieces + slot * kDskpullTrackPieces;
    diskimage::ImageSpan spans[kDskpullTrackPieces - 1];
    int count = 0;
    const int viewed =
        tracks.image->ViewSectors(track, track / 2, track % 2, 1, kSectorSizeCode,
                                  kDskpullTrackSize, spans, kDskpullTrackPieces - 1, count);
    if (viewed < 0) {
      unsigned char* copy = buffers.track_image + slot * kDskpullTrackSize;
      buffers.loaded[slot] = tracks.image->ReadSectors(track, track / 2, track % 2, 1,
                                                       kSectorSizeCode, copy, kDskpullTrackSize);
      pieces[0] = {copy, kDskpullTrackSize};
      buffers.piece_counts[slot] = 1;
      continue;
    }
    size_t covered = 0;
    for (int i = 0; i < count; ++i) {
      pieces[i] = {spans[i].bytes, static_cast<size_t>(spans[i].size)};
      covered += pieces[i].size;
    }
    if (covered < kDskpullTrackSize) pieces[count++] = {kZeroTrack, kDskpullTrackSize - covered};
    buffers.loaded[slot] = viewed;
    buffers.piece_counts[slot] = count;
  }
}

const char kUsageLine[] = "dskpull IMAGE [-l] [-u] [-f] [-C DIR]";

const char kHelp[] =
    "Usage: dskpull image [-l] [-u] [-f] [-C DIR]\n"
    "       dskpull --help | --version\n"
    "\n"
    "Extracts the files of the first disk of a D88 floppy-disk image whose directory\n"
    "(track 1, sectors 1 to 4) has 8-byte entries with four-byte names and whose data\n"
    "tracks (4 to 79) hold ten 512-byte sectors. The image is never modified. image\n"
    "may be a pipe, or \"-\" for standard input.\n"
    "\n"
    "Options, after the image:\n"
    "  -l      list only: print the listing and the diagnostics about the image,\n"
    "          create no file\n"
    "  -u      names in UTF-8, converted from Shift-JIS; a byte that is not\n"
    "          Shift-JIS becomes %XX (its value in hexadecimal)\n"
    "  -f      read the disk as this layout even where it holds a standard file\n"
    "          system (FAT12, Human68k, N88-BASIC, Hu-BASIC, F-BASIC), dskget's:\n"
    "          without -f such a disk is said and nothing of it is written\n"
    "  -C DIR  extract into DIR, created if needed, as if started there\n"
    "Any other argument shows the usage line.\n"
    "\n"
    "Output: the files go into the current directory. Standard output lists each\n"
    "file: its name, start track, start position, the two size bytes (hexadecimal),\n"
    "start sector and size (decimal). Every problem is reported on standard error,\n"
    "one line each: \"dskpull: NAME: reason\".\n"
    "\n"
    "Exit status: 0 when every listed file was written in full from the disk; 1 for\n"
    "usage, or when the image or DIR cannot be opened; 2 when the run went through\n"
    "with diagnostics.\n";

}  // namespace

int RunDskpull(int argc, char** argv, DskpullBuffers& buffers) {
  int status;
  if (argc >= 2 && AnswerInformationRequest(argc, argv, "dskpull", kHelp, false, status))
    return status;
  ExtractionRun run("dskpull");
  const char* output_directory = nullptr;
  bool as_layout = false;
  bool usage = argc < 2;
  for (int i = 2; i < argc && !usage; ++i) {
    char letters[kMaxBundledOptions + 1];
    usage = !SplitShortOptions(argv[i], "lufC", letters);
    for (const char* letter = letters; !usage && *letter != '\0'; ++letter) {
      if (*letter == 'f') {
        as_layout = true;
      } else {
        usage =
            TakeCommonOption(*letter, argc, argv, i, run, output_directory) != CommonOption::kTaken;
      }
    }
  }
  if (usage) {
    fputs("Usage: dskpull image\nTry 'dskpull --help'.\n", stderr);
    HintOptionsGoAfterTheImage(argc, argv, "dskpull", kUsageLine);
    return kExitFailure;
  }
  diskimage::D88Image image;  // closes the image on every return from here on
  if (!StartRun(run, argv[1], output_directory, image, false)) {
    HintOptionsGoAfterTheImage(argc, argv, "dskpull", kUsageLine);
    return kExitFailure;
  }
  image.SelectDisk(0);  // only the first disk; an image without one reads nothing
  if (!as_layout && image.DiskCount() > 0 && HoldsStandardFileSystem(run, nullptr, image)) {
    return FinishRun(run);
  }
  // The disk's files usually fill the track image, when there is one to fill.
  if (!image.InMemory()) Prefault(&buffers.track_image, sizeof buffers.track_image);

  image.SetSectorRange(1, 16);
  const int directory_read = image.ReadSectors(kDirectoryTrack, 0, 1, 1, kDirectorySizeCode,
                                               buffers.directory, sizeof buffers.directory);
  if (directory_read == 0 && image.DiskCount() > 0) {
    ReportNoDirectory(run.diagnostics, argv[1], kDirectoryTrack, 128 << kDirectorySizeCode);
  }
  image.SetSectorRange(1, 10);  // the data tracks', read when a file needs them
  DiskTracks tracks = {&image, &buffers};
  static_assert(kDskpullTracks * kDskpullTrackPieces <= kMaxTrackImagePieces, "pieces");
  const TrackImage track_image = {buffers.track_pieces,
                                  buffers.piece_counts,
                                  kDskpullTrackPieces,
                                  kDskpullTracks,
                                  kDskpullTrackSize,
                                  buffers.loaded,
                                  "zeros",
                                  LoadTracks,
                                  &tracks};
  for (int k = 0; k < kEntryCount; ++k) {
    const unsigned char* entry = buffers.directory + kEntrySize * k;
    if (entry[0] == 0) break;
    const char name[5] = {static_cast<char>(entry[0]), static_cast<char>(entry[1]),
                          static_cast<char>(entry[2]), static_cast<char>(entry[3]), '\0'};
    ListedName listed;
    PrepareListedName(run, name, listed);
    const int sector = entry[5] / 2 + 1;
    const int size = entry[6] + 256 * entry[7];
    PrintListedName(listed, 4);
    PrintHexFields(entry + 4, 4);  // start track, start position, size
    PrintDecimalField(static_cast<unsigned>(sector));
    PrintDecimalField(static_cast<unsigned>(size));
    putchar('\n');
    if (kEntrySize * (k + 1) > directory_read) {
      ReportEntryNotRead(run.diagnostics, listed.name, k);
    }
    // A start track below the first data track lies before the image: the offset is negative.
    const int64_t start = (entry[4] - kDskpullFirstDataTrack) * int64_t{kDskpullTrackSize} +
                          (sector - 1) * kSectorSize;
    SaveEntryFile(run, listed, track_image, start, size);
  }
  return FinishRun(run);
}
