// Raw sector dumps: the disk's sectors and nothing else, the geometry told by the file's size and,
// where two geometries share a size, by the boot sector.
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

// Reads the parameter-block field at `offset` of the boot sector (little-endian).
int BlockField16(const unsigned char* boot, int offset) { return ReadLe16(boot + offset); }

bool HoldsDosBlock(const unsigned char* boot, int bytes_per_sector, int sectors, int heads) {
  return BlockField16(boot, 0x0B) == bytes_per_sector && BlockField16(boot, 0x18) == sectors &&
         BlockField16(boot, 0x1A) == heads;
}

// The 1024-byte-sector layouts: a parameter block saying 1024, or an X68000 boot sector (68000
// code first) whose little-endian block does not say 512.
bool Holds1024ByteSectors(const unsigned char* boot) {
  return BlockField16(boot, 0x0B) == 1024 || (boot[0] == 0x60 && BlockField16(boot, 0x0B) != 512);
}

// The geometry a raw dump of `size` bytes has, or false.
bool RawGrid(const unsigned char* bytes, size_t size, SectorGrid& grid) {
  grid = SectorGrid{0, 2, 0, 0, false};
  switch (size) {
    case 327680:
      grid.cylinders = 40, grid.sectors = 16, grid.size_code = 1;
      return true;
    case 368640:
      grid.sectors = 9, grid.size_code = 2;
      if (BlockField16(bytes, 0x1A) == 1) {
        grid.cylinders = 80, grid.heads = 1;
      } else {
        grid.cylinders = 40;
      }
      return true;
    case 655360:
      grid.cylinders = 80;
      if (HoldsDosBlock(bytes, 512, 8, 2) ||
          (bytes[512] == 0xFB && bytes[513] == 0xFF && bytes[514] == 0xFF)) {
        grid.sectors = 8, grid.size_code = 2;
      } else {
        grid.sectors = 16, grid.size_code = 1;
      }
      return true;
    case 737280:
      grid.cylinders = 80, grid.sectors = 9, grid.size_code = 2;
      return true;
    case 1021696:
      grid.cylinders = 77, grid.sectors = 26, grid.size_code = 1, grid.fm_track0 = true;
      return true;
    case 1025024:
      grid.cylinders = 77, grid.sectors = 26, grid.size_code = 1;
      return true;
    case 1228800:
      grid.cylinders = 80, grid.sectors = 15, grid.size_code = 2;
      return true;
    case 1261568:
      grid.cylinders = 77, grid.sectors = 8, grid.size_code = 3;
      return true;
    case 1474560:
      grid.cylinders = 80;
      if (Holds1024ByteSectors(bytes)) {
        grid.sectors = 9, grid.size_code = 3;
      } else {
        grid.sectors = 18, grid.size_code = 2;
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

bool RawDumpGrid(const unsigned char* head, size_t size, SectorGrid& grid) {
  return RawGrid(head, size, grid);
}

bool RawBootSectorAgrees(const unsigned char* bytes, size_t size) {
  SectorGrid grid;
  if (!RawGrid(bytes, size, grid)) return false;
  const int64_t sector_size = 128 << grid.size_code;
  return HoldsDosBlock(bytes, static_cast<int>(sector_size), grid.sectors, grid.heads) &&
         BlockField16(bytes, 0x13) * sector_size == static_cast<int64_t>(size);
}

bool ReadRawImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  SectorGrid grid;
  if (!RawGrid(bytes, size, grid)) return false;
  table.Reset(bytes, size);
  read = ContainerRead{grid.Media(), false, "", "", ""};
  int64_t offset = 0;
  for (int k = 0; k < grid.cylinders * grid.heads; ++k) {
    offset = AddGridTrack(table, grid, k, offset, size);
  }
  return true;
}

}  // namespace diskimage
