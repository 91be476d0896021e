// The sector map of a disk, its geometry summary and logical sector reads.
#include "diskimage/disk_map.h"

#include <cstring>

namespace diskimage {
namespace {

// The most frequent value among `values` counted in `histogram` (values 0..size-1); ties go to
// the smaller value.
int Commonest(const int* histogram, int size) {
  int best = 0;
  for (int v = 1; v < size; ++v) {
    if (histogram[v] > histogram[best]) best = v;
  }
  return best;
}

}  // namespace

void DiskMap::Load(SectorSource& disk) {
  source = &disk;
  memset(loaded, 0, sizeof loaded);
  summarized = false;
}

void DiskMap::LoadTrack(int track) const {
  if (loaded[track]) return;
  loaded[track] = true;
  counts[track] = 0;
  present[track] = missing[track] = long_track[track] = false;
  if (source == nullptr) return;
  // One header more than kept tells a long track from a full one; it lands in a scratch slot.
  SectorHeader listed[kMaxSectorsPerTrack + 1];
  const int count = source->ReadTrackSectors(track, listed, kMaxSectorsPerTrack + 1);
  missing[track] = source->TrackBeyondImage(track);
  present[track] = source->HasTrack(track) && !missing[track];
  long_track[track] = count > kMaxSectorsPerTrack;
  counts[track] = long_track[track] ? kMaxSectorsPerTrack : count;
  memcpy(sectors[track], listed, sizeof(SectorHeader) * static_cast<size_t>(counts[track]));
}

void DiskMap::LoadAll() const {
  for (int track = 0; track < SectorSource::kTrackCount; ++track) LoadTrack(track);
}

bool DiskMap::TrackPresent(int track) const {
  if (track < 0 || track >= SectorSource::kTrackCount) return false;
  LoadTrack(track);
  return present[track];
}

int DiskMap::SectorCount(int track) const {
  if (track < 0 || track >= SectorSource::kTrackCount) return 0;
  LoadTrack(track);
  return counts[track];
}

const SectorHeader* DiskMap::Find(int track, int r) const {
  for (int i = 0; i < SectorCount(track); ++i) {
    if (sectors[track][i].r == r) return &sectors[track][i];
  }
  return nullptr;
}

int DiskMap::Read(const SectorHeader& sector, unsigned char* dest, int max_len) const {
  return ReadPart(sector, 0, dest, max_len);
}

const unsigned char* DiskMap::View(const SectorHeader& sector, int from, int length) const {
  return source == nullptr ? nullptr : source->ViewSectorBytes(sector, from, length);
}

int DiskMap::ReadPart(const SectorHeader& sector, int from, unsigned char* dest,
                      int max_len) const {
  return source == nullptr ? 0 : source->ReadSectorBytes(sector, from, dest, max_len);
}

DiskGeometry DiskMap::Summarize() const {
  if (!summarized) {
    summary = Summarized();
    summarized = true;
  }
  return summary;
}

DiskGeometry DiskMap::Summarized() const {
  LoadAll();
  DiskGeometry g = {};
  int count_histogram[kMaxSectorsPerTrack + 1] = {};
  int size_codes[8] = {};  // 128 << code for codes 0..7; other sizes are not counted
  int last_present = -1;
  bool odd_track = false;
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    if (missing[track]) ++g.missing_tracks;
    if (!present[track]) continue;
    ++g.tracks_present;
    last_present = track;
    odd_track = odd_track || track % 2 == 1;
    if (counts[track] == 0) {
      ++g.empty_tracks;
      continue;
    }
    ++count_histogram[counts[track]];
    if (long_track[track]) ++g.long_tracks;
    bool seen[256] = {};
    bool duplicate = false;
    bool fm = false;
    for (int i = 0; i < counts[track]; ++i) {
      const SectorHeader& s = sectors[track][i];
      for (int code = 0; code < 8; ++code) {
        if (s.data_size == 128 << code) ++size_codes[code];
      }
      duplicate = duplicate || seen[s.r];
      seen[s.r] = true;
      fm = fm || s.Fm();
      if (s.status != 0) ++g.error_sectors;
      if (s.Deleted()) ++g.deleted_sectors;
      ++g.total_sectors;
    }
    if (duplicate) ++g.duplicate_id_tracks;
    if (fm) {
      ++g.fm_tracks;
      if (track == 0) g.fm_track0 = true;
    }
  }
  if (last_present < 0) return g;
  g.cylinders = last_present / 2 + 1;
  g.heads = odd_track ? 2 : 1;
  g.sectors_per_track = Commonest(count_histogram, kMaxSectorsPerTrack + 1);
  const int code = Commonest(size_codes, 8);
  g.sector_size = size_codes[code] > 0 ? 128 << code : 0;
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    if (counts[track] == 0) continue;
    if (counts[track] != g.sectors_per_track) ++g.odd_count_tracks;
    for (int i = 0; i < counts[track]; ++i) {
      if (sectors[track][i].data_size != g.sector_size) {
        ++g.odd_size_tracks;
        break;
      }
    }
  }
  return g;
}

int DiskMap::FillerSectors(int& commonest_filler) const {
  LoadAll();
  unsigned char data[4096];
  int by_filler[256] = {};
  int count = 0;
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    for (int i = 0; i < counts[track]; ++i) {
      // The data is read in pieces.
      const SectorHeader& sector = sectors[track][i];
      int filler = -1;
      bool one_value = true;
      for (int from = 0; one_value && from < sector.data_size;) {
        const int got = source->ReadSectorBytes(sector, from, data, sizeof data);
        if (got <= 0) break;
        if (filler < 0) filler = data[0];
        for (int k = 0; k < got && one_value; ++k) one_value = data[k] == filler;
        from += got;
      }
      if (!one_value) continue;
      ++count;
      if (filler >= 0) ++by_filler[filler];
    }
  }
  commonest_filler = 0;
  for (int b = 1; b < 256; ++b) {
    if (by_filler[b] > by_filler[commonest_filler]) commonest_filler = b;
  }
  return count;
}

bool DiskMap::OnlyFillerBytes() const {
  int filler;
  const int total = Summarize().total_sectors;
  return total > 0 && FillerSectors(filler) == total;
}

int SectorNumbering::TrackOf(int64_t logical) const {
  const int64_t track_side = logical / sectors_per_track;
  const int64_t track =
      heads == 2 ? (swap_heads ? track_side ^ 1 : track_side) : track_side * track_step;
  return track < SectorSource::kTrackCount ? static_cast<int>(track) : -1;
}

namespace {

const SectorHeader* FindLogical(const DiskMap& map, const SectorNumbering& numbering,
                                int64_t logical) {
  const int track = logical < 0 ? -1 : numbering.TrackOf(logical);
  return track < 0 ? nullptr : map.Find(track, numbering.SectorNumberOf(logical));
}

SectorRead Condition(const SectorHeader& sector, int got, const SectorNumbering& numbering) {
  if (got < numbering.sector_size) return SectorRead::kShort;
  return sector.status != 0 ? SectorRead::kCrcError : SectorRead::kFine;
}

}  // namespace

SectorRead ReadLogicalSector(const DiskMap& map, const SectorNumbering& numbering, int64_t logical,
                             unsigned char* dest) {
  memset(dest, 0, static_cast<size_t>(numbering.sector_size));
  const SectorHeader* sector = FindLogical(map, numbering, logical);
  if (sector == nullptr) return SectorRead::kMissing;
  const int got = map.Read(*sector, dest, numbering.sector_size);
  if (numbering.inverted) {
    for (int i = 0; i < got; ++i) dest[i] = static_cast<unsigned char>(dest[i] ^ 0xFF);
  }
  return Condition(*sector, got, numbering);
}

namespace {

// The sector WriteLogicalSector writes, or nullptr.
const SectorHeader* WritableSector(const DiskMap& map, const SectorNumbering& numbering,
                                   int64_t logical, size_t image_size) {
  const SectorHeader* sector = FindLogical(map, numbering, logical);
  const size_t size = static_cast<size_t>(numbering.sector_size);
  if (sector == nullptr || sector->data_size != numbering.sector_size || sector->repeated_byte ||
      sector->data_offset < 0 || static_cast<uint64_t>(sector->data_offset) > image_size ||
      image_size - static_cast<size_t>(sector->data_offset) < size) {
    return nullptr;
  }
  return sector;
}

}  // namespace

bool CanWriteLogicalSector(const DiskMap& map, const SectorNumbering& numbering, int64_t logical,
                           size_t image_size) {
  return WritableSector(map, numbering, logical, image_size) != nullptr;
}

bool WriteLogicalSector(const DiskMap& map, const SectorNumbering& numbering, int64_t logical,
                        const unsigned char* bytes, unsigned char* image, size_t image_size) {
  const SectorHeader* sector = WritableSector(map, numbering, logical, image_size);
  if (sector == nullptr) return false;
  unsigned char* dest = image + sector->data_offset;
  if (!numbering.inverted) {
    memcpy(dest, bytes, static_cast<size_t>(numbering.sector_size));
    return true;
  }
  for (int i = 0; i < numbering.sector_size; ++i)
    dest[i] = static_cast<unsigned char>(bytes[i] ^ 0xFF);
  return true;
}

SectorRead ProbeLogicalSector(const DiskMap& map, const SectorNumbering& numbering,
                              int64_t logical) {
  const SectorHeader* sector = FindLogical(map, numbering, logical);
  if (sector == nullptr) return SectorRead::kMissing;
  // The stored size, as far as the disk holds it, decides a short sector.
  return Condition(*sector, sector->data_size, numbering);
}

}  // namespace diskimage
