// Writing a Virtual98 FDD image: the 220-byte header (memo, write protection), the table of 160
// tracks of 26 sector slots, a 32-byte block of zeros, then the data of the sectors stored; a
// sector of one repeated byte other than FFh is its slot's fill byte instead.
#include <cstring>

#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

constexpr int kTracks = 160;
constexpr int kSlots = 26;
constexpr int kEntrySize = 12;
constexpr int kHeaderSize = 0xDC;
constexpr uint32_t kDataStart = kHeaderSize + kTracks * kSlots * kEntrySize + 32;
constexpr uint32_t kNotStored = 0xFFFFFFFF;

// True when `s` is written as its fill byte `value` rather than stored.
bool FillSector(const DiskMap& map, const SectorHeader& s, unsigned char& value) {
  return s.data_size >= (128 << (s.n & 7)) && RepeatedByte(map, s, value) && value != 0xFF;
}

}  // namespace

bool WriteFddImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink) {
  const ContainerWriter& fdd = *FindContainerWriter(ContainerKind::kFdd);
  unsigned char header[kHeaderSize] = {};
  memcpy(header, "VFD1.00", 8);
  const size_t name_length = strlen(facts.name);
  memcpy(header + 8, facts.name, name_length < 128 ? name_length : 128);
  header[0x88] = facts.write_protected ? 1 : 0;
  if (!sink.Write(header, sizeof header)) return false;
  const int high_density = facts.media == 0x20 ? 1 : 0;
  uint32_t offset = kDataStart;
  bool stored[kTracks][kSlots] = {};  // each slot's data written after the table, found once
  bool fine = true;
  for (int track = 0; track < kTracks && fine; ++track) {
    unsigned char slots[kSlots * kEntrySize];
    memset(slots, 0xFF, sizeof slots);
    const SectorHeader* held[DiskMap::kMaxSectorsPerTrack];
    const int count = HeldSectors(fdd, map, track, held);
    for (int i = 0; i < count; ++i) {
      const SectorHeader& s = *held[i];
      unsigned char* entry = slots + i * kEntrySize;
      unsigned char fill = 0xFF;
      const bool filled = FillSector(map, s, fill);
      entry[0] = s.c, entry[1] = s.h, entry[2] = s.r, entry[3] = s.n;
      entry[4] = filled ? fill : 0xFF;
      entry[5] = s.Deleted() ? 1 : 0;
      entry[6] = s.Fm() ? 0 : 1;
      entry[7] = static_cast<unsigned char>(high_density);
      StoreLe32(entry + 8, filled ? kNotStored : offset);
      if (!filled) offset += 128u << (s.n & 7);
      stored[track][i] = !filled;
    }
    fine = sink.Write(slots, sizeof slots);
  }
  const unsigned char special[32] = {};
  if (!fine || !sink.Write(special, sizeof special)) return false;
  for (int track = 0; track < kTracks && fine; ++track) {
    const SectorHeader* held[DiskMap::kMaxSectorsPerTrack];
    const int count = HeldSectors(fdd, map, track, held);
    for (int i = 0; i < count && fine; ++i) {
      if (stored[track][i]) fine = WriteSectorData(map, *held[i], 128 << (held[i]->n & 7), sink);
    }
  }
  return fine;
}

}  // namespace diskimage
