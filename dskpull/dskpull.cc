// dskpull's command line, the loading of disk 0 and the writing of its files.
#include "dskpull/dskpull.h"

#include <cstdio>

#include "diskimage/d88_image.h"
#include "extraction/open_image.h"
#include "extraction/prefault.h"
#include "extraction/program_messages.h"
#include "extraction/save_entry_file.h"

namespace {

constexpr int kDirectoryTrack = 1;
constexpr int kEntrySize = 8;
constexpr int kEntryCount = 128;
constexpr int kSectorSize = 512;
constexpr int kSectorSizeCode = 2;     // 512-byte data sectors
constexpr int kDirectorySizeCode = 1;  // 256-byte directory sectors

}  // namespace

int RunDskpull(int argc, char** argv, DskpullBuffers& buffers) {
  if (argc != 2) {
    fputs("Usage: dskpull image\n", stderr);
    return kExitFailure;
  }
  diskimage::D88Image image;  // closes the image on every return from here on
  ExtractionRun run("dskpull");
  if (!OpenImage(run, argv[1], image, false)) return kExitFailure;
  Prefault(&buffers, sizeof buffers);
  Prefault(&image, sizeof image);
  image.SelectDisk(0);  // only the first disk; an image without one reads nothing

  image.SetSectorRange(1, 16);
  const int directory_read = image.ReadSectors(kDirectoryTrack, 0, 1, 1, kDirectorySizeCode,
                                               buffers.directory, sizeof buffers.directory);
  if (directory_read == 0 && image.DiskCount() > 0) {
    run.diagnostics.Report(argv[1], "no directory: track %d holds no sector 1 of %d bytes",
                           kDirectoryTrack, 128 << kDirectorySizeCode);
  }
  image.SetSectorRange(1, 10);
  for (int track = kDskpullFirstDataTrack; track <= kDskpullLastDataTrack; ++track) {
    const int slot = track - kDskpullFirstDataTrack;
    buffers.loaded[slot] =
        image.ReadSectors(track, track / 2, track % 2, 1, kSectorSizeCode,
                          buffers.track_image + slot * kDskpullTrackSize, kDskpullTrackSize);
  }

  const TrackImage track_image = {buffers.track_image, sizeof buffers.track_image,
                                  kDskpullTrackSize, buffers.loaded, "zeros"};
  for (int k = 0; k < kEntryCount; ++k) {
    const unsigned char* entry = buffers.directory + kEntrySize * k;
    if (entry[0] == 0) break;
    char name[5] = {static_cast<char>(entry[0]), static_cast<char>(entry[1]),
                    static_cast<char>(entry[2]), static_cast<char>(entry[3]), '\0'};
    const int sector = entry[5] / 2 + 1;
    const int size = entry[6] + 256 * entry[7];
    printf("%-4s %02x %02x %02x %02x %02d %02d\n", name, entry[4], entry[5], entry[6], entry[7],
           sector, size);
    if (kEntrySize * (k + 1) > directory_read) {
      run.diagnostics.Report(name, "directory entry %d was not read from this disk", k);
    }
    // A start track below the first data track lies before the image: the offset is negative.
    const int64_t start = (entry[4] - kDskpullFirstDataTrack) * int64_t{kDskpullTrackSize} +
                          (sector - 1) * kSectorSize;
    SaveEntryFile(run, name, track_image, start, size);
  }
  return FinishRun(run.diagnostics);
}
