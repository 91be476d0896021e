// The content hash: sectors in track and sector-number order through one SHA-1.
#include "common/catalogue/disk_content_hash.h"

#include "common/catalogue/file_hashes.h"

namespace {

using diskimage::DiskMap;
using diskimage::SectorHeader;

// Hashes `sector`'s data, from where it lies in memory or in pieces read.
void AddSector(const DiskMap& map, const SectorHeader& sector, Hasher& hasher) {
  const unsigned char* view = map.View(sector, 0, sector.data_size);
  if (view != nullptr) {
    hasher.Add(view, static_cast<size_t>(sector.data_size));
    return;
  }
  unsigned char piece[4096];
  for (int from = 0; from < sector.data_size;) {
    const int got = map.ReadPart(sector, from, piece, static_cast<int>(sizeof piece));
    if (got <= 0) return;
    hasher.Add(piece, static_cast<size_t>(got));
    from += got;
  }
}

}  // namespace

void HashDiskContent(const DiskMap& map, unsigned char sha1[20]) {
  Hasher hasher(true);
  for (int track = 0; track < diskimage::SectorSource::kTrackCount; ++track) {
    // The track's sectors by ascending number, stable: an insertion sort of at most 64.
    int order[DiskMap::kMaxSectorsPerTrack];
    const int count = map.SectorCount(track);
    for (int i = 0; i < count; ++i) {
      int at = i;
      while (at > 0 && map.Sector(track, order[at - 1]).r > map.Sector(track, i).r) {
        order[at] = order[at - 1];
        --at;
      }
      order[at] = i;
    }
    for (int i = 0; i < count; ++i) AddSector(map, map.Sector(track, order[i]), hasher);
  }
  FileHashes hashes;
  hasher.Finish(hashes);
  for (int i = 0; i < 20; ++i) sha1[i] = hashes.sha1[i];
}
