// Writing an FDI image: a 4,096-byte header (its geometry fields and the disk type code the
// emulator that made the format gives it), then the disk's grid as a raw dump stores it.
#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

constexpr int kHeaderSize = 4096;

// The type codes images of each shape carry: 90h 1.2 MB 2HD, 30h 1.44 MB, 10h 640/720 KB 2DD,
// 50h 320 KB 2D.
uint32_t FddType(const SectorGrid& grid, int media) {
  if (media == 0x20) return grid.sectors == 18 && grid.size_code == 2 ? 0x30 : 0x90;
  return media == 0x10 ? 0x10 : 0x50;
}

}  // namespace

bool WriteFdiImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink) {
  SectorGrid grid;
  if (!WrittenGrid(*FindContainerWriter(ContainerKind::kFdi), map, grid)) return false;
  unsigned char header[kHeaderSize] = {};
  StoreLe32(header + 0x04, FddType(grid, facts.media));
  StoreLe32(header + 0x08, kHeaderSize);
  StoreLe32(header + 0x0C, static_cast<uint32_t>(grid.DiskBytes()));
  StoreLe32(header + 0x10, 128u << grid.size_code);
  StoreLe32(header + 0x14, static_cast<uint32_t>(grid.sectors));
  StoreLe32(header + 0x18, static_cast<uint32_t>(grid.heads));
  StoreLe32(header + 0x1C, static_cast<uint32_t>(grid.cylinders));
  return sink.Write(header, sizeof header) && WriteGridData(map, grid, sink);
}

}  // namespace diskimage
