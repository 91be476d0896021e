// FDI images: a header of little-endian 32-bit fields (its own size, the data's size, bytes per
// sector, sectors, heads, cylinders), then the disk as a raw dump.
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

constexpr size_t kMinHeaderSize = 32;

uint32_t Field(const unsigned char* bytes, int offset) {
  return static_cast<uint32_t>(ReadLe32(bytes + offset));
}

}  // namespace

bool ReadFdiImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  if (size < kMinHeaderSize || Field(bytes, 0x00) != 0) return false;
  const uint64_t header_size = Field(bytes, 0x08);
  const uint64_t data_size = Field(bytes, 0x0C);
  const uint32_t sectors = Field(bytes, 0x14);
  const uint32_t heads = Field(bytes, 0x18);
  const uint32_t cylinders = Field(bytes, 0x1C);
  const int size_code = SizeCodeOf(Field(bytes, 0x10));
  if (header_size < kMinHeaderSize || header_size + data_size != size || size_code < 0 ||
      sectors < 1 || sectors > 255 || heads < 1 || heads > 2 || cylinders < 1 ||
      cylinders > SectorSource::kTrackCount / 2) {
    return false;
  }
  const SectorGrid grid = {static_cast<int>(cylinders), static_cast<int>(heads),
                           static_cast<int>(sectors), size_code, false};
  if (static_cast<uint64_t>(grid.DiskBytes()) != data_size) return false;
  table.Reset(bytes, size);
  read = ContainerRead{grid.Media(), false, "", "", ""};
  int64_t offset = static_cast<int64_t>(header_size);
  for (int k = 0; k < grid.cylinders * grid.heads; ++k) {
    offset = AddGridTrack(table, grid, k, offset, size);
  }
  return true;
}

}  // namespace diskimage
