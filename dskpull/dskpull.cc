// dskpull's command line, the loading of disk 0 and the writing of its files.
#include "dskpull/dskpull.h"

#include <cstdio>

#include "diskimage/d88_image.h"
#include "extraction/prefault.h"
#include "extraction/program_messages.h"
#include "extraction/save_entry_file.h"

namespace {

constexpr int kDirectoryTrack = 1;
constexpr int kEntrySize = 8;
constexpr int kEntryCount = 128;
constexpr int kSectorSize = 512;
constexpr int kSectorSizeCode = 2;  // 512-byte sectors

}  // namespace

int RunDskpull(int argc, char** argv, DskpullBuffers& buffers) {
  if (argc != 2) {
    fputs("Usage: dskpull image\n", stderr);
    return kExitFailure;
  }
  diskimage::D88Image image;  // closes the image on every return from here on
  if (!image.Open(argv[1])) {
    fputs(kCannotOpenImage, stderr);
    return kExitFailure;
  }
  Prefault(&buffers, sizeof buffers);
  Prefault(&image, sizeof image);
  image.SelectDisk(0);  // only the first disk; an image without one reads nothing

  image.SetSectorRange(1, 16);
  image.ReadSectors(kDirectoryTrack, 0, 1, 1, 1, buffers.directory, sizeof buffers.directory);
  image.SetSectorRange(1, 10);
  for (int track = kDskpullFirstDataTrack; track <= kDskpullLastDataTrack; ++track) {
    image.ReadSectors(track, track / 2, track % 2, 1, kSectorSizeCode,
                      buffers.track_image + (track - kDskpullFirstDataTrack) * kDskpullTrackSize,
                      kDskpullTrackSize);
  }

  Diagnostics diagnostics("dskpull");
  for (int k = 0; k < kEntryCount; ++k) {
    const unsigned char* entry = buffers.directory + kEntrySize * k;
    if (entry[0] == 0) break;
    char name[5] = {static_cast<char>(entry[0]), static_cast<char>(entry[1]),
                    static_cast<char>(entry[2]), static_cast<char>(entry[3]), '\0'};
    const int sector = entry[5] / 2 + 1;
    const int size = entry[6] + 256 * entry[7];
    printf("%-4s %02x %02x %02x %02x %02d %02d\n", name, entry[4], entry[5], entry[6], entry[7],
           sector, size);
    // A start track below the first data track lies before the image: the offset is negative.
    const int64_t start = (entry[4] - kDskpullFirstDataTrack) * int64_t{kDskpullTrackSize} +
                          (sector - 1) * kSectorSize;
    SaveEntryFile(diagnostics, name, buffers.track_image, sizeof buffers.track_image, start, size);
  }
  return FinishRun(diagnostics);
}
