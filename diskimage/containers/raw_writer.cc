// Writing a raw dump: the disk's grid of sectors and nothing else.
#include "diskimage/containers/container_writers.h"

namespace diskimage {

bool WriteRawImage(const DiskMap& map, const DiskFacts&, ByteSink& sink) {
  SectorGrid grid;
  const ContainerWriter& raw = *FindContainerWriter(ContainerKind::kRaw);
  return WrittenGrid(raw, map, grid) && WriteGridData(map, grid, sink);
}

}  // namespace diskimage
