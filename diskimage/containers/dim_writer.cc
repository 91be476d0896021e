// Writing a DIM image: a 256-byte header (media type, a flag per track, "DIFC HEADER"), then every
// track of the disk's grid.
#include <cstring>

#include "diskimage/containers/container_writers.h"

namespace diskimage {

int DimMediaType(const SectorGrid& grid) {
  if (grid.heads != 2 || grid.fm_track0) return -1;
  if (grid.cylinders == 77 && grid.sectors == 8 && grid.size_code == 3) return 0x00;
  if (grid.cylinders != 80) return -1;
  if (grid.sectors == 15 && grid.size_code == 2) return 0x02;
  if (grid.sectors == 9 && grid.size_code == 3) return 0x03;
  if (grid.sectors == 18 && grid.size_code == 2) return 0x09;
  return -1;
}

bool WriteDimImage(const DiskMap& map, const DiskFacts&, ByteSink& sink) {
  SectorGrid grid;
  if (!WrittenGrid(*FindContainerWriter(ContainerKind::kDim), map, grid)) return false;
  const int type = DimMediaType(grid);
  if (type < 0) return false;
  unsigned char header[0x100] = {};
  header[0] = static_cast<unsigned char>(type);
  memset(header + 1, 1, static_cast<size_t>(grid.cylinders * grid.heads));
  memcpy(header + 0xAB, "DIFC HEADER  ", 13);
  return sink.Write(header, sizeof header) && WriteGridData(map, grid, sink);
}

}  // namespace diskimage
