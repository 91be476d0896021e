// Fuzz target for one container reader, chosen when the target is built (FUZZED_READER names the
// reader function): any bytes read as that container, whatever their signature, then mapped,
// summarised, identified and every sector's data read. Checks that the map keeps within its
// bounds and that no sector claims data past the image.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "diskimage/containers/container_readers.h"
#include "diskimage/disk_map.h"
#include "diskimage/identify.h"
#include "fuzz/fuzz_scratch.h"

namespace {

using namespace diskimage;

unsigned char sector_bytes[1 << 16];

// Runs a reader, with the memory it decodes into where it takes some.
template <typename Reader>
bool Read(Reader reader, const uint8_t* data, size_t size, SectorTable& table, ContainerRead& read,
          DecodedBytes& decoded) {
  if constexpr (std::is_invocable_v<Reader, const unsigned char*, size_t, SectorTable&,
                                    ContainerRead&, DecodedBytes&>) {
    return reader(data, size, table, read, decoded);
  } else {
    return reader(data, size, table, read);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SectorTable table;
  static DiskMap map;
  static FileSystem fs;
  ContainerRead read;
  DecodedBytes decoded;
  if (!Read(FUZZED_READER, data, size, table, read, decoded)) return 0;
  if (strlen(read.problem) >= sizeof read.problem || strlen(read.refusal) >= sizeof read.refusal) {
    FuzzFail("an unterminated phrase");
  }
  map.Load(table);
  const DiskGeometry geometry = map.Summarize();
  if (geometry.total_sectors < 0 || geometry.heads < 0 || geometry.heads > 2) {
    FuzzFail("a geometry out of range");
  }
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    for (int i = 0; i < map.SectorCount(track); ++i) {
      const SectorHeader& sector = map.Sector(track, i);
      if (sector.data_size < 0 || sector.data_size > 65535) FuzzFail("a sector size out of range");
      const size_t source_size = decoded.bytes != nullptr ? decoded.size : size;
      if (!sector.repeated_byte && sector.data_size > 0 &&
          sector.data_offset + sector.data_size > static_cast<int64_t>(source_size)) {
        FuzzFail("a sector's data past the image");
      }
      if (map.Read(sector, sector_bytes, sizeof sector_bytes) > sector.data_size) {
        FuzzFail("more bytes read than the sector holds");
      }
    }
  }
  Identification id;
  Identify(map, fs, id);
  free(decoded.bytes);
  return 0;
}
