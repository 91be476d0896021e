// NFD images, revisions 0 and 1: a header of sector IDs (in fixed track slots for r0, in track
// blocks the header points to for r1) with each sector's density, mark and read status, then the
// sectors' data in the order the header lists them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

constexpr int kSignatureLength = 15;  // "T98FDDIMAGE.R0" and a NUL
constexpr size_t kCommentField = 0x10;
constexpr size_t kHeaderSizeField = 0x110;
constexpr size_t kWriteProtectField = 0x114;
constexpr size_t kTableField = 0x120;
constexpr int kEntrySize = 16;
constexpr int kR0Slots = 163;
constexpr int kR0EntriesPerSlot = 26;
constexpr size_t kR0HeaderSize = kTableField + kR0Slots * kR0EntriesPerSlot * kEntrySize + 16;
constexpr int kR1Tracks = 164;
constexpr size_t kR1HeaderSize = kTableField + kR1Tracks * 4 + 16;
constexpr int kMaxSizeCode = 7;

// The D88 status byte of a read the PC-98 disk BIOS reported as `result` with the controller's
// status registers `st`: good, or the error the registers name (a data CRC error when they name
// none).
int ReadStatus(int result, const unsigned char* st) {
  if (result == 0 && (st[0] & 0xC0) == 0) return 0x00;
  if (st[2] & 0x20) return 0xB0;
  if (st[1] & 0x20) return 0xA0;
  if (st[1] & 0x01) return 0xE0;
  if (st[2] & 0x01) return 0xF0;
  return 0xB0;
}

// The D88 media byte of the device address the BIOS read a sector with, or -1 when it says none.
int DeviceMedia(int device) {
  switch (device & 0xF0) {
    case 0x90:
    case 0x30:
      return 0x20;
    case 0x10:
      return 0x10;
    default:
      return -1;
  }
}

// The sector of a 16-byte sector entry (C, H, R, N, MFM, deleted, BIOS result, ST0-ST2), its data
// at `data_offset`.
SectorHeader EntrySector(const unsigned char* entry, int64_t data_offset) {
  SectorHeader sector = {};
  sector.c = entry[0];
  sector.h = entry[1];
  sector.r = entry[2];
  sector.n = entry[3];
  sector.density = entry[4] != 0 ? 0x00 : SectorHeader::kDensityFm;
  sector.deleted = entry[5] != 0 ? SectorHeader::kDeletedMark : 0x00;
  sector.status = ReadStatus(entry[6], entry + 7);
  sector.data_size = 128 << sector.n;
  sector.data_offset = data_offset;
  return sector;
}

// Adds the sector of `entry` to `track` of `table`, its data at `offset` (counted in `lost`
// when the image ends inside it; the track lost when before it), the media taken from the
// `device` address of the disk's first sector. False, said in `read`, for a size code the format
// does not have: the data of every later sector would then lie at no known offset.
bool TakeSector(const unsigned char* entry, int device, int track, int64_t offset, size_t size,
                SectorTable& table, ContainerRead& read, int& lost) {
  if (entry[3] > kMaxSizeCode) {
    snprintf(read.problem, sizeof read.problem,
             "track %d lists a sector of size code %d; the rest of the image is not read", track,
             entry[3]);
    return false;
  }
  const SectorHeader sector = EntrySector(entry, offset);
  if (read.media < 0) read.media = DeviceMedia(device);
  if (offset + sector.data_size > static_cast<int64_t>(size)) ++lost;
  if (offset < static_cast<int64_t>(size)) {
    table.AddSector(track, sector);
  } else {
    table.LoseTrack(track);
  }
  return true;
}

// Says in `read` how much of the data the header lists lies past the image's end.
void SayLostData(int64_t data_end, size_t size, int lost_sectors, ContainerRead& read) {
  if (data_end <= static_cast<int64_t>(size)) return;
  snprintf(read.problem, sizeof read.problem,
           "the image ends %lld bytes before the data its header lists (%d sector%s cut or "
           "missing)",
           static_cast<long long>(data_end - static_cast<int64_t>(size)), lost_sectors,
           lost_sectors == 1 ? "" : "s");
}

// False, said in `read`, when the image ends inside the fixed header of `header_size` bytes.
bool HeaderWhole(size_t size, size_t header_size, ContainerRead& read) {
  if (size >= header_size) return true;
  snprintf(read.refusal, sizeof read.refusal,
           "an NFD image whose header is cut short (%lld of its %lld bytes)",
           static_cast<long long>(size), static_cast<long long>(header_size));
  return false;
}

// Revision 0: 163 track slots of 26 entries; an entry whose C is FFh holds no sector.
void ReadR0(const unsigned char* bytes, size_t size, SectorTable& table, ContainerRead& read) {
  if (!HeaderWhole(size, kR0HeaderSize, read)) return;
  const uint32_t header_size = static_cast<uint32_t>(ReadLe32(bytes + kHeaderSizeField));
  int64_t offset = std::max<int64_t>(header_size, kR0HeaderSize);
  int lost = 0;
  for (int slot = 0; slot < kR0Slots; ++slot) {
    for (int i = 0; i < kR0EntriesPerSlot; ++i) {
      const unsigned char* entry =
          bytes + kTableField + (slot * kR0EntriesPerSlot + i) * kEntrySize;
      if (entry[0] == 0xFF) continue;
      if (!TakeSector(entry, entry[10], slot, offset, size, table, read, lost)) return;
      offset += 128 << entry[3];
    }
  }
  SayLostData(offset, size, lost, read);
}

// Revision 1: each track's block (a head, its sector entries, its special-read entries) lies where
// the track table points; the data follow the header in the order of the blocks' offsets.
void ReadR1(const unsigned char* bytes, size_t size, SectorTable& table, ContainerRead& read) {
  if (!HeaderWhole(size, kR1HeaderSize, read)) return;
  const int64_t header_size = static_cast<uint32_t>(ReadLe32(bytes + kHeaderSizeField));
  const int64_t header_end = std::min<int64_t>(header_size, static_cast<int64_t>(size));
  // The tracks in the order of their blocks.
  int order[kR1Tracks];
  int64_t block_at[kR1Tracks];
  int tracks = 0;
  for (int track = 0; track < kR1Tracks; ++track) {
    block_at[track] = static_cast<uint32_t>(ReadLe32(bytes + kTableField + 4 * track));
    if (block_at[track] != 0) order[tracks++] = track;
  }
  for (int i = 1; i < tracks; ++i) {  // insertion sort: stable, and 164 entries at most
    const int track = order[i];
    int j = i;
    for (; j > 0 && block_at[order[j - 1]] > block_at[track]; --j) order[j] = order[j - 1];
    order[j] = track;
  }
  int64_t offset = header_size;
  int64_t previous_block_end = static_cast<int64_t>(kR1HeaderSize);
  int lost = 0;
  int damaged = 0;
  for (int t = 0; t < tracks; ++t) {
    const int track = order[t];
    const int64_t at = block_at[track];
    // A block must lie inside the header, after the fixed part and the blocks before it.
    if (at < previous_block_end || at + kEntrySize > header_end) {
      ++damaged;
      continue;
    }
    const int sectors = ReadLe16(bytes + at);
    const int specials = ReadLe16(bytes + at + 2);
    const int64_t block_end = at + kEntrySize * (int64_t{1} + sectors + specials);
    if (block_end > header_end) {
      ++damaged;
      continue;
    }
    previous_block_end = block_end;
    table.StoreTrack(track);
    for (int i = 0; i < sectors; ++i) {
      const unsigned char* entry = bytes + at + kEntrySize * (1 + i);
      if (!TakeSector(entry, entry[11], track, offset, size, table, read, lost)) return;
      // An unstable sector is stored once per read the emulator replays; the first is kept.
      offset += (int64_t{128} << entry[3]) * (1 + entry[10]);
    }
    for (int i = 0; i < specials; ++i) {
      const unsigned char* entry = bytes + at + kEntrySize * (1 + sectors + i);
      offset += int64_t{static_cast<uint32_t>(ReadLe32(entry + 10))} * (1 + entry[9]);
    }
  }
  SayLostData(offset, size, lost, read);
  if (damaged > 0 && read.problem[0] == '\0') {
    snprintf(read.problem, sizeof read.problem,
             "%d track block%s of its header overlap others or leave the header; not read", damaged,
             damaged == 1 ? "" : "s");
  }
}

}  // namespace

bool ReadNfdImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  if (size < kSignatureLength) return false;
  const bool r0 = memcmp(bytes, "T98FDDIMAGE.R0", kSignatureLength) == 0;
  const bool r1 = memcmp(bytes, "T98FDDIMAGE.R1", kSignatureLength) == 0;
  if (!r0 && !r1) return false;
  table.Reset(bytes, size);
  read = ContainerRead{-1, false, "", "", ""};
  if (size > kWriteProtectField) read.write_protected = bytes[kWriteProtectField] != 0;
  // The comment, the disk's name.
  for (size_t i = 0;
       i + 1 < sizeof read.name && kCommentField + i < std::min(size, kHeaderSizeField) &&
       bytes[kCommentField + i] != 0;
       ++i) {
    read.name[i] = static_cast<char>(bytes[kCommentField + i]);
    read.name[i + 1] = '\0';
  }
  if (r0) {
    ReadR0(bytes, size, table, read);
  } else {
    ReadR1(bytes, size, table, read);
  }
  if (read.media < 0) read.media = 0x20;
  return true;
}

}  // namespace diskimage
