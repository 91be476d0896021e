// Writing one disk as a D88 image: the 688-byte header (name, write protection, media byte, size,
// a table of 164 track offsets), then each track's sectors, a 16-byte header before each one's
// data. Several disks one after another make a D88 image of several.
#include <cstring>

#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

constexpr int kHeaderSize = 0x20 + SectorSource::kTrackCount * 4;
constexpr int kSectorHeaderSize = 16;
constexpr int kNameLength = 16;

}  // namespace

bool WriteD88Disk(const DiskMap& map, const DiskFacts& facts, ByteSink& sink) {
  unsigned char header[kHeaderSize] = {};
  const size_t name_length = strlen(facts.name);
  memcpy(header, facts.name, name_length < kNameLength ? name_length : kNameLength);
  header[0x1A] = facts.write_protected ? 0x10 : 0x00;
  header[0x1B] = static_cast<unsigned char>(facts.media);
  // At most 164 tracks of 64 sectors of 16 + 65,535 bytes: the size fits in 32 bits.
  uint32_t offset = kHeaderSize;
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    const int count = map.SectorCount(track);
    if (count == 0) continue;
    StoreLe32(header + 0x20 + 4 * track, offset);
    for (int i = 0; i < count; ++i) {
      offset += kSectorHeaderSize + static_cast<uint32_t>(map.Sector(track, i).data_size);
    }
  }
  StoreLe32(header + 0x1C, offset);
  if (!sink.Write(header, sizeof header)) return false;
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    const int count = map.SectorCount(track);
    for (int i = 0; i < count; ++i) {
      const SectorHeader& s = map.Sector(track, i);
      unsigned char id[kSectorHeaderSize] = {s.c, s.h, s.r, s.n};
      StoreLe16(id + 4, count);
      id[6] = s.Fm() ? SectorHeader::kDensityFm : 0x00;
      id[7] = s.Deleted() ? SectorHeader::kDeletedMark : 0x00;
      id[8] = static_cast<unsigned char>(s.status);
      StoreLe16(id + 14, s.data_size);
      if (!sink.Write(id, sizeof id) || !WriteSectorData(map, s, s.data_size, sink)) return false;
    }
  }
  return true;
}

}  // namespace diskimage
