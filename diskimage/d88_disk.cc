// A D88 disk's tracks as a sector map reads them: the table up to the first track, no entry that
// points inside another track.
#include "diskimage/d88_disk.h"

#include <algorithm>

#include "diskimage/disk_check.h"

namespace diskimage {
namespace {

// Where the bytes of `track` (its headers and data as walked) end, as an image offset; its start
// when it holds no sector.
int64_t TrackEnd(D88Image& image, int track, int64_t start) {
  constexpr int kHeadersWalked = 65;
  SectorHeader headers[kHeadersWalked];
  const int count = image.ReadTrackSectors(track, headers, kHeadersWalked);
  int64_t end = start;
  for (int i = 0; i < count; ++i) {
    end = std::max(end, headers[i].data_offset + headers[i].data_size);
  }
  return end;
}

}  // namespace

void D88Disk::Select(D88Image& selected) {
  image = &selected;
  DiskCheck check;
  CheckDisk(selected, check);
  const int entries = check.d88 ? check.table_entries : kTrackCount;
  int64_t start[kTrackCount];
  for (int track = 0; track < kTrackCount; ++track) {
    kept[track] = track < entries && selected.HasTrack(track);
    start[track] = selected.DiskOffset() + selected.TrackTableEntry(track);
  }
  if (!check.d88) return;
  // A writer stores the tracks in index order; an entry below an earlier one is looked at.
  int64_t highest = -1;
  for (int track = 0; track < entries; ++track) {
    if (!kept[track]) continue;
    if (start[track] > highest) {
      highest = start[track];
      continue;
    }
    int before = -1;  // the other track that begins last at or before this one
    for (int other = 0; other < entries; ++other) {
      if (other == track || !kept[other] || start[other] > start[track]) continue;
      if (before < 0 || start[other] > start[before]) before = other;
    }
    if (before < 0) continue;
    kept[track] =
        start[before] != start[track] && TrackEnd(selected, before, start[before]) <= start[track];
  }
}

bool D88Disk::HasTrack(int track) const { return Kept(track); }

bool D88Disk::TrackBeyondImage(int track) const {
  return Kept(track) && image->TrackBeyondImage(track);
}

int D88Disk::ReadTrackSectors(int track, SectorHeader* dest, int max_count) {
  if (!Kept(track)) return 0;
  const int count = image->ReadTrackSectors(track, dest, max_count);
  // A first header that counts no sector begins no sector: a writer's unformatted track, stored
  // as zeros.
  return count > 0 && dest[0].sector_count == 0 ? 0 : count;
}

int D88Disk::ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                             int max_len) {
  return image == nullptr ? 0 : image->ReadSectorBytes(sector, from, dest, max_len);
}

const unsigned char* D88Disk::ViewSectorBytes(const SectorHeader& sector, int from, int length) {
  return image == nullptr ? nullptr : image->ViewSectorBytes(sector, from, length);
}

}  // namespace diskimage
