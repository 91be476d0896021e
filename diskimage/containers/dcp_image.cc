// DCP and DCU images: a media type, a byte per track index saying whether the track is stored and
// an "all cylinders" flag, then the stored tracks in track-index order as a raw dump stores them.
// The header's length varies between writers (160 or 161 map bytes); the one whose stored tracks
// fill the file is taken.
#include <initializer_list>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

// The geometry of a media type, or false.
bool DcpGrid(int type, SectorGrid& grid) {
  switch (type) {
    case 0x01:
      grid = {77, 2, 8, 3, false};
      return true;
    case 0x02:
      grid = {80, 2, 15, 2, false};
      return true;
    case 0x03:
      grid = {80, 2, 18, 2, false};
      return true;
    case 0x04:
      grid = {80, 2, 8, 2, false};
      return true;
    case 0x05:
      grid = {80, 2, 9, 2, false};
      return true;
    case 0x08:
      grid = {80, 2, 9, 3, false};
      return true;
    case 0x11:
      grid = {77, 2, 26, 1, true};
      return true;
    case 0x19:
      grid = {80, 2, 16, 1, false};
      return true;
    case 0x21:
      grid = {80, 2, 26, 1, false};
      return true;
    default:
      return false;
  }
}

// The bytes of the tracks `map` (`map_length` bytes) marks stored, every track when `all`.
int64_t StoredBytes(const unsigned char* map, int map_length, const SectorGrid& grid, bool all) {
  int64_t total = 0;
  for (int track = 0; track < map_length && track < 2 * grid.cylinders; ++track) {
    if (all || map[track] != 0) total += grid.TrackBytes(track);
  }
  return total;
}

}  // namespace

bool ReadDcpImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  SectorGrid grid;
  if (size < 0xA3 || !DcpGrid(bytes[0], grid)) return false;
  for (const int map_length : {160, 161}) {
    const int64_t header = 1 + map_length + 1;
    const int64_t data = static_cast<int64_t>(size) - header;
    const unsigned char* map = bytes + 1;
    if (data <= 0) continue;
    // The flag that says every cylinder is stored is taken only where the map alone does not fit.
    bool all = false;
    if (StoredBytes(map, map_length, grid, false) != data) {
      all = bytes[header - 1] == 1 && StoredBytes(map, map_length, grid, true) == data;
      if (!all) continue;
    }
    table.Reset(bytes, size);
    read = ContainerRead{grid.Media(), false, "", "", ""};
    int64_t offset = header;
    for (int track = 0; track < map_length && track < 2 * grid.cylinders; ++track) {
      if (all || map[track] != 0) offset = AddGridTrack(table, grid, track, offset, size);
    }
    return true;
  }
  return false;
}

}  // namespace diskimage
