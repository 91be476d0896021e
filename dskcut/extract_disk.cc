// Loading one disk of the 16-byte-directory layout and writing its files.
#include <cstdio>

#include "common/console/listing_fields.h"
#include "common/run/program_messages.h"
#include "common/writing/save_entry_file.h"
#include "dskcut/dskcut.h"

namespace {

constexpr int kSectorSizeCode = 3;  // 1024-byte sectors
constexpr int kDirectoryTrack = 1;
constexpr int kFirstDataTrack = 2;
constexpr int kLastDataTrack = 79;
constexpr int kEntrySize = 16;
constexpr int kEntryCount = 128;
constexpr int kBlockSize = 256;
constexpr unsigned char kHalfBlockFlag = 0x80;

// The name bytes up to the first space, then a point and the extension bytes up to the first
// space unless the extension begins with one. A NUL byte is copied like any other, so the string
// ends at the first NUL.
void BuildName(const unsigned char* entry, char* name) {
  int out = 0;
  for (int i = 0; i < 6 && entry[i] != ' '; ++i) name[out++] = static_cast<char>(entry[i]);
  if (entry[6] != ' ') {
    name[out++] = '.';
    for (int i = 6; i < 9 && entry[i] != ' '; ++i) name[out++] = static_cast<char>(entry[i]);
  }
  name[out] = '\0';
}

// What loading a track needs: the image with the disk selected, and where the track goes.
struct DiskTracks {
  diskimage::D88Image* image;
  DskcutBuffers* buffers;
};

// Reads data track `track` of the selected disk into the track image, once per disk. Each data
// track is numbered from the upper four bits of its first stored sector's number.
void LoadTrack(diskimage::D88Image& image, DskcutBuffers& buffers, int track) {
  if (buffers.track_read[track]) return;
  buffers.track_read[track] = true;
  image.ReadTrackIds(track, buffers.sector_ids, sizeof buffers.sector_ids);
  const int base = buffers.sector_ids[2] & 0xF0;
  image.SetSectorRange(base | 1, base | 5);
  buffers.loaded[track] =
      image.ReadSectors(track, track / 2, track % 2, base | 1, kSectorSizeCode,
                        buffers.track_image + track * kDskcutTrackSize, kDskcutTrackSize);
}

void LoadTracks(void* context, int first_track, int last_track) {
  const DiskTracks& tracks = *static_cast<const DiskTracks*>(context);
  for (int track = first_track; track <= last_track; ++track) {
    LoadTrack(*tracks.image, *tracks.buffers, track);
  }
}

// Reads the selected disk's directory into the run's buffer and marks its data tracks unread,
// to be read when a file needs them (the directory tracks never are). Returns the directory bytes
// read.
int BeginDisk(diskimage::D88Image& image, DskcutBuffers& buffers) {
  image.SetSectorRange(1, 5);
  const int directory_read = image.ReadSectors(kDirectoryTrack, 0, 1, 1, kSectorSizeCode,
                                               buffers.directory, sizeof buffers.directory);
  buffers.loaded[0] = buffers.loaded[1] = 0;
  for (int track = 0; track < kDskcutTrackImageTracks; ++track) {
    buffers.track_read[track] = track < kFirstDataTrack;
    buffers.track_pieces[track] = {buffers.track_image + track * kDskcutTrackSize,
                                   kDskcutTrackSize};
    buffers.piece_counts[track] = 1;
  }
  return directory_read;
}

// A later disk's unreadable sectors keep this disk's bytes: the rest of its tracks are read.
void EndDisk(DiskTracks& tracks, int disk) {
  if (disk + 1 < tracks.image->DiskCount()) LoadTracks(&tracks, kFirstDataTrack, kLastDataTrack);
}

}  // namespace

void PassOverDisk(diskimage::D88Image& image, int disk, DskcutBuffers& buffers) {
  BeginDisk(image, buffers);
  DiskTracks tracks = {&image, &buffers};
  EndDisk(tracks, disk);
}

bool ExtractDisk(diskimage::D88Image& image, int disk, bool kova_mode, DskcutBuffers& buffers,
                 ExtractionRun& run) {
  const int directory_read = BeginDisk(image, buffers);
  if (directory_read == 0) {
    char label[12];
    snprintf(label, sizeof label, "%03d", disk);
    ReportNoDirectory(run.diagnostics, label, kDirectoryTrack, 128 << kSectorSizeCode);
  }
  DiskTracks tracks = {&image, &buffers};
  const TrackImage track_image = {buffers.track_pieces,
                                  buffers.piece_counts,
                                  1,
                                  kDskcutTrackImageTracks,
                                  kDskcutTrackSize,
                                  buffers.loaded,
                                  "zeros or an earlier disk's bytes",
                                  LoadTracks,
                                  &tracks};
  for (int k = 1; k < kEntryCount; ++k) {
    const unsigned char* entry = buffers.directory + kEntrySize * k;
    if (entry[0] == 0) {
      if (kova_mode) continue;
      break;
    }
    char name[6 + 1 + 3 + 1];
    BuildName(entry, name);
    ListedName listed;
    PrepareListedName(run, name, listed);
    int64_t size = entry[11] * kBlockSize;
    if (entry[12] == kHalfBlockFlag) size -= kBlockSize / 2;
    PrintListedName(listed, 12);
    PrintHexFields(entry + 9, 4);  // start track, start block, blocks, last-block flag
    putchar('\n');
    if (kEntrySize * (k + 1) > directory_read) {
      char shown[sizeof run.name_prefix + kListedNameSize];
      NameInRun(run, listed.name, shown, sizeof shown);
      ReportEntryNotRead(run.diagnostics, shown, k);
    }
    const int64_t start = entry[9] * int64_t{kDskcutTrackSize} + entry[10] * kBlockSize;
    SaveEntryFile(run, listed, track_image, start, size);
  }
  EndDisk(tracks, disk);
  return directory_read > 0;
}
