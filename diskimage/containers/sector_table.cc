// The sector table of a non-D88 container and the plain grid of sectors.
#include "diskimage/containers/sector_table.h"

#include <algorithm>
#include <cstring>

namespace diskimage {

void SectorTable::Reset(const unsigned char* data, size_t data_size) {
  bytes = data;
  size = data_size;
  memset(stored, 0, sizeof stored);
  memset(lost, 0, sizeof lost);
  memset(counts, 0, sizeof counts);
}

bool SectorTable::StoreTrack(int track) {
  if (track < 0 || track >= kTrackCount) return false;
  stored[track] = true;
  return true;
}

void SectorTable::LoseTrack(int track) {
  if (StoreTrack(track)) lost[track] = counts[track] == 0;
}

void SectorTable::AddSector(int track, const SectorHeader& sector) {
  if (!StoreTrack(track)) return;
  lost[track] = false;
  if (counts[track] == kSectorsKept) return;
  SectorHeader& kept = sectors[track][counts[track]++];
  kept = sector;
  const int64_t image_size = static_cast<int64_t>(size);
  const int64_t in_image =
      kept.data_offset < 0 || kept.data_offset >= image_size ? 0 : image_size - kept.data_offset;
  if (kept.repeated_byte) {
    if (in_image == 0) kept.data_size = 0;
  } else {
    kept.data_size = static_cast<int>(std::min<int64_t>(kept.data_size, in_image));
  }
}

bool SectorTable::HasTrack(int track) const {
  return track >= 0 && track < kTrackCount && stored[track];
}

bool SectorTable::TrackBeyondImage(int track) const { return HasTrack(track) && lost[track]; }

int SectorTable::ReadTrackSectors(int track, SectorHeader* dest, int max_count) {
  if (!HasTrack(track) || max_count <= 0) return 0;
  const int count = std::min(counts[track], max_count);
  std::copy(sectors[track], sectors[track] + count, dest);
  return count;
}

int SectorTable::ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                                 int max_len) {
  if (from < 0 || from >= sector.data_size || max_len <= 0 || sector.data_offset < 0) return 0;
  const int64_t offset = sector.data_offset + (sector.repeated_byte ? 0 : from);
  if (offset >= static_cast<int64_t>(size)) return 0;
  int64_t len = std::min<int64_t>(sector.data_size - from, max_len);
  if (sector.repeated_byte) {
    memset(dest, bytes[offset], static_cast<size_t>(len));
  } else {
    len = std::min<int64_t>(len, static_cast<int64_t>(size) - offset);
    memcpy(dest, bytes + offset, static_cast<size_t>(len));
  }
  return static_cast<int>(len);
}

const unsigned char* SectorTable::ViewSectorBytes(const SectorHeader& sector, int from,
                                                  int length) {
  if (sector.repeated_byte || from < 0 || length < 0 || from + int64_t{length} > sector.data_size ||
      sector.data_offset < 0 || sector.data_offset + from + length > static_cast<int64_t>(size)) {
    return nullptr;
  }
  return bytes + sector.data_offset + from;
}

int SizeCodeOf(int64_t bytes) {
  for (int code = 0; code <= 7; ++code) {
    if (bytes == int64_t{128} << code) return code;
  }
  return -1;
}

int64_t SectorGrid::TrackBytes(int k) const {
  if (fm_track0 && k == 0) return int64_t{sectors} * 128;
  return int64_t{sectors} << (7 + size_code);
}

int64_t SectorGrid::DiskBytes() const {
  const int64_t tracks = int64_t{cylinders} * heads;
  return tracks == 0 ? 0 : TrackBytes(0) + (tracks - 1) * TrackBytes(1);
}

int MediaByte(bool high_density, int cylinders) {
  if (high_density) return 0x20;
  return cylinders <= 42 ? 0x00 : 0x10;
}

int SectorGrid::Media() const { return MediaByte(TrackBytes(1) > 5120, cylinders); }

int64_t AddGridTrack(SectorTable& table, const SectorGrid& grid, int k, int64_t offset,
                     size_t image_size) {
  const int cylinder = k / grid.heads;
  const int head = k % grid.heads;
  const int track = 2 * cylinder + head;
  const bool fm = grid.fm_track0 && k == 0;
  const int size_code = fm ? 0 : grid.size_code;
  const int64_t end = offset + grid.TrackBytes(k);
  if (offset >= static_cast<int64_t>(image_size)) {
    table.LoseTrack(track);
    return end;
  }
  SectorHeader sector = {};
  sector.c = static_cast<unsigned char>(cylinder);
  sector.h = static_cast<unsigned char>(head);
  sector.n = static_cast<unsigned char>(size_code);
  sector.sector_count = grid.sectors;
  sector.density = fm ? SectorHeader::kDensityFm : 0x00;
  sector.data_size = 128 << size_code;
  for (int r = 1; r <= grid.sectors; ++r) {
    sector.r = static_cast<unsigned char>(r);
    sector.data_offset = offset + int64_t{r - 1} * sector.data_size;
    if (sector.data_offset >= static_cast<int64_t>(image_size)) break;
    table.AddSector(track, sector);
  }
  return end;
}

}  // namespace diskimage
