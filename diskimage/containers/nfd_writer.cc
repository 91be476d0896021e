// Writing an NFD r0 image: the fixed 68,112-byte header (comment, write protection, 163 track
// slots of 26 sector entries with each sector's density, mark and read result), then the data
// of every entry in table order.
#include <cstring>

#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

constexpr int kSlots = 163;
constexpr int kEntriesPerSlot = 26;
constexpr int kEntrySize = 16;
constexpr int kTableOffset = 0x120;
constexpr uint32_t kHeaderSize = kTableOffset + kSlots * kEntriesPerSlot * kEntrySize + 16;

// The 16-byte entry of `s`: its ID, MFM and deleted flags, and the PC-98 disk BIOS's result with
// the controller's status registers ST0-ST2 as a read of it reports them.
void FillEntry(const SectorHeader& s, int device, unsigned char* entry) {
  entry[0] = s.c, entry[1] = s.h, entry[2] = s.r, entry[3] = s.n;
  entry[4] = s.Fm() ? 0 : 1;
  entry[5] = s.Deleted() ? 1 : 0;
  // The D88 status bytes are the disk BIOS's results; another error is said as a data error.
  const int result =
      s.status == 0 || s.status == 0xA0 || s.status == 0xE0 || s.status == 0xF0 ? s.status : 0xB0;
  entry[6] = static_cast<unsigned char>(result);
  entry[7] = static_cast<unsigned char>((s.h & 1) << 2 | (result != 0 ? 0x40 : 0));
  entry[8] = result == 0xA0 || result == 0xB0 ? 0x20 : result == 0xE0 ? 0x01 : 0x00;
  entry[9] = static_cast<unsigned char>((result == 0xB0   ? 0x20
                                         : result == 0xF0 ? 0x01
                                                          : 0x00) |
                                        (s.Deleted() ? 0x40 : 0x00));
  entry[10] = static_cast<unsigned char>(device);
}

}  // namespace

bool WriteNfdImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink) {
  const ContainerWriter& nfd = *FindContainerWriter(ContainerKind::kNfd);
  unsigned char fixed[kTableOffset] = {};
  memcpy(fixed, "T98FDDIMAGE.R0", 14);
  const size_t name_length = strlen(facts.name);
  memcpy(fixed + 0x10, facts.name, name_length < 255 ? name_length : 255);
  StoreLe32(fixed + 0x110, kHeaderSize);
  fixed[0x114] = facts.write_protected ? 1 : 0;
  const DiskGeometry g = map.Summarize();
  fixed[0x115] = static_cast<unsigned char>(g.heads == 1 ? 1 : 2);
  // The device address the BIOS reads the media with: 90h 1.2 MB, 30h 1.44 MB, 10h 640 KB.
  const int device = facts.media != 0x20                                 ? 0x10
                     : g.sectors_per_track == 18 && g.sector_size == 512 ? 0x30
                                                                         : 0x90;
  if (!sink.Write(fixed, sizeof fixed)) return false;
  bool fine = true;
  for (int track = 0; track < kSlots && fine; ++track) {
    unsigned char slot[kEntriesPerSlot * kEntrySize] = {};
    for (int i = 0; i < kEntriesPerSlot; ++i) slot[i * kEntrySize] = 0xFF;
    const SectorHeader* held[DiskMap::kMaxSectorsPerTrack];
    const int count = HeldSectors(nfd, map, track, held);
    for (int i = 0; i < count; ++i) FillEntry(*held[i], device, slot + i * kEntrySize);
    fine = sink.Write(slot, sizeof slot);
  }
  const unsigned char reserved[16] = {};
  if (!fine || !sink.Write(reserved, sizeof reserved)) return false;
  for (int track = 0; track < kSlots && fine; ++track) {
    const SectorHeader* held[DiskMap::kMaxSectorsPerTrack];
    const int count = HeldSectors(nfd, map, track, held);
    for (int i = 0; i < count && fine; ++i) {
      fine = WriteSectorData(map, *held[i], 128 << (held[i]->n & 7), sink);
    }
  }
  return fine;
}

}  // namespace diskimage
