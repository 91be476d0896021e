// Virtual98 FDD images ("VFD1.00"): a 220-byte header (a memo, write protection), a table of 160
// tracks of 26 sector slots (ID, fill byte, deleted mark, MFM and 2HD flags, data offset), a
// 32-byte record no reader uses, then the stored sectors wherever the table points. A sector of
// one repeated byte is not stored: its slot's fill byte stands for it.
#include <cstdio>
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

constexpr size_t kSignatureLength = 6;  // "VFD1.0", then a version digit and a NUL
constexpr size_t kMemoField = 0x08;
constexpr size_t kMemoLength = 128;
constexpr size_t kWriteProtectField = 0x88;
constexpr size_t kTableField = 0xDC;
constexpr int kTracks = 160;
constexpr int kSlots = 26;
constexpr int kEntrySize = 12;
constexpr size_t kHeaderSize = 0xC3FC;  // header, table and the 32-byte record
constexpr uint32_t kNotStored = 0xFFFFFFFF;
constexpr int kMaxSizeCode = 7;

// True for a slot that holds no sector: C is FFh, or (as some writers leave them) all 12 bytes
// are 00h or FFh.
bool UnusedSlot(const unsigned char* entry) {
  if (entry[0] == 0xFF) return true;
  for (int i = 0; i < kEntrySize; ++i) {
    if (entry[i] != 0x00) return false;
  }
  return true;
}

}  // namespace

bool ReadFddImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  if (size < kSignatureLength || memcmp(bytes, "VFD1.0", kSignatureLength) != 0) return false;
  table.Reset(bytes, size);
  read = ContainerRead{0x20, false, "", "", ""};
  if (size < kHeaderSize) {
    snprintf(read.refusal, sizeof read.refusal,
             "an FDD image whose header is cut short (%lld of its %lld bytes)",
             static_cast<long long>(size), static_cast<long long>(kHeaderSize));
    return true;
  }
  size_t memo = 0;
  while (memo < kMemoLength && memo + 1 < sizeof read.name && bytes[kMemoField + memo] != 0) {
    read.name[memo] = static_cast<char>(bytes[kMemoField + memo]);
    ++memo;
  }
  read.name[memo] = '\0';
  read.write_protected = ReadLe16(bytes + kWriteProtectField) != 0;
  bool high_density = false, any = false;
  int cut = 0, bad_codes = 0, highest = -1;
  for (int track = 0; track < kTracks; ++track) {
    const unsigned char* slots =
        bytes + kTableField + static_cast<size_t>(track) * kSlots * kEntrySize;
    int count = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
      const unsigned char* entry = slots + slot * kEntrySize;
      if (!UnusedSlot(entry) && entry[3] <= kMaxSizeCode) ++count;
    }
    for (int slot = 0; slot < kSlots; ++slot) {
      const unsigned char* entry = slots + slot * kEntrySize;
      if (UnusedSlot(entry)) continue;
      if (entry[3] > kMaxSizeCode) {
        ++bad_codes;
        continue;
      }
      SectorHeader sector = {};
      sector.c = entry[0], sector.h = entry[1], sector.r = entry[2], sector.n = entry[3];
      sector.sector_count = count;
      sector.deleted = entry[5] != 0 ? SectorHeader::kDeletedMark : 0x00;
      sector.density = entry[6] != 0 ? 0x00 : SectorHeader::kDensityFm;
      sector.data_size = 128 << sector.n;
      const uint32_t data = static_cast<uint32_t>(ReadLe32(entry + 8));
      if (data == 0 || data == kNotStored) {
        // Not stored: the slot's fill byte, at offset 4 of the entry, throughout.
        sector.repeated_byte = true;
        sector.data_offset = entry + 4 - bytes;
      } else {
        sector.data_offset = data;
        if (int64_t{data} + sector.data_size > static_cast<int64_t>(size)) ++cut;
      }
      if (!any) high_density = entry[7] != 0;
      any = true;
      highest = track;
      table.AddSector(track, sector);
    }
  }
  read.media = MediaByte(high_density, highest / 2 + 1);
  if (cut > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d sector%s whose data the table places past the image's end (cut)", cut,
             cut == 1 ? "" : "s");
  } else if (bad_codes > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d sector%s of a size code over %d in the table, not read", bad_codes,
             bad_codes == 1 ? "" : "s", kMaxSizeCode);
  }
  return true;
}

}  // namespace diskimage
