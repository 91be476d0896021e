// CPC DSK and Extended DSK images: a 256-byte disc information block (tracks, sides, and the
// track blocks' size: one for all, or for Extended DSK one byte per track, 0 for an unformatted
// track), then the track blocks in order, cylinder by cylinder and side by side, each a
// "Track-Info" block listing its sectors (ID, ST1, ST2, Extended DSK's stored length) before their
// data.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

constexpr size_t kInfoSize = 0x100;
constexpr size_t kTracksField = 0x30;
constexpr size_t kSidesField = 0x31;
constexpr size_t kTrackSizeField = 0x32;
constexpr size_t kTrackSizeTable = 0x34;
constexpr int kMaxTrackBlocks = static_cast<int>(kInfoSize - kTrackSizeTable);  // 204
constexpr size_t kSectorList = 0x18;
constexpr int kEntrySize = 8;

// The D88 status of a sector whose FDC status registers were `st1` and `st2`.
int SectorStatus(int st1, int st2) {
  if (st2 & 0x20) return 0xB0;  // data field CRC error
  if (st1 & 0x20) return 0xA0;  // ID field CRC error
  if (st2 & 0x01) return 0xF0;  // no data address mark
  if (st1 & 0x05) return 0xE0;  // no address mark, or the sector not found
  return 0x00;
}

// What reading the disk found amiss, for the problem phrase.
struct Damage {
  int cut_sectors = 0;     // data the image ends inside or before
  int bad_blocks = 0;      // track blocks that do not begin "Track-Info"
  int several_copies = 0;  // weak sectors stored in several copies: the first read
};

// Reads the track block at `at` (`length` bytes by the information block) as track index `track`.
void ReadTrackBlock(const unsigned char* bytes, size_t size, int64_t at, int64_t length,
                    bool extended, int track, SectorTable& table, Damage& damage) {
  if (at + static_cast<int64_t>(kInfoSize) > static_cast<int64_t>(size)) {
    table.LoseTrack(track);
    return;
  }
  const unsigned char* info = bytes + at;
  if (memcmp(info, "Track-Info", 10) != 0) {
    ++damage.bad_blocks;
    return;
  }
  const int size_code = info[0x14];
  const int count = info[0x15];
  const int mode = info[0x13];  // 0 not said (taken as MFM), 1 FM, 2 MFM
  table.StoreTrack(track);
  // A list longer than the block's first 256 bytes makes the block's header grow by 256s.
  const int64_t list_end = static_cast<int64_t>(kSectorList) + int64_t{kEntrySize} * count;
  int64_t data = at + (list_end + 255) / 256 * 256;
  const int64_t block_end = at + length;
  if (at + list_end > static_cast<int64_t>(size)) {
    ++damage.cut_sectors;
    return;
  }
  for (int i = 0; i < count; ++i) {
    const unsigned char* entry = info + kSectorList + kEntrySize * i;
    SectorHeader sector = {};
    sector.c = entry[0], sector.h = entry[1], sector.r = entry[2], sector.n = entry[3];
    sector.sector_count = count;
    sector.density = mode == 1 ? SectorHeader::kDensityFm : 0x00;
    sector.deleted = (entry[5] & 0x40) != 0 ? SectorHeader::kDeletedMark : 0x00;
    sector.status = SectorStatus(entry[4], entry[5]);
    const int native = 128 << std::min<int>(sector.n, 8);
    int64_t stored;
    if (extended) {
      stored = ReadLe16(entry + 6);
    } else {
      stored = size_code < 6 ? 128 << size_code : size_code == 6 ? 6144 : 0;
    }
    // Several copies of a weak sector (its length a multiple of the native one): the first.
    // Longer, not a multiple: the data field, its CRC and the gap after it.
    int64_t length_read = std::min<int64_t>(stored, native);
    if (extended && stored > native && stored % native == 0) ++damage.several_copies;
    if (length_read > 65535) length_read = 65535;
    sector.data_size = static_cast<int>(length_read);
    sector.data_offset = data;
    if (data + length_read > static_cast<int64_t>(size) || data + length_read > block_end) {
      ++damage.cut_sectors;
      sector.data_size = static_cast<int>(
          std::max<int64_t>(0, std::min(static_cast<int64_t>(size), block_end) - data));
    }
    table.AddSector(track, sector);
    data += stored;
  }
}

}  // namespace

bool ReadDskImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  const bool extended = size >= 8 && memcmp(bytes, "EXTENDED", 8) == 0;
  if (!extended && (size < 8 || memcmp(bytes, "MV - CPC", 8) != 0)) return false;
  table.Reset(bytes, size);
  read = ContainerRead{0x00, false, "", "", ""};
  const char* kind = extended ? "an Extended DSK" : "a DSK";
  if (size < kInfoSize) {
    snprintf(read.refusal, sizeof read.refusal, "%s image whose information block is cut short",
             kind);
    return true;
  }
  const int tracks = bytes[kTracksField];
  const int sides = bytes[kSidesField] & 0x7F;  // bit 7: an old "random errors" flag
  if ((sides != 1 && sides != 2) || tracks * sides > (extended ? kMaxTrackBlocks : 164) ||
      tracks * 2 > SectorSource::kTrackCount) {
    snprintf(read.refusal, sizeof read.refusal, "%s image of %d tracks and %d sides", kind, tracks,
             sides);
    return true;
  }
  Damage damage;
  int64_t at = static_cast<int64_t>(kInfoSize);
  int64_t track_bytes = 0;
  int lost_tracks = 0;
  for (int k = 0; k < tracks * sides; ++k) {
    const int64_t length =
        extended ? int64_t{bytes[kTrackSizeTable + k]} * 256 : ReadLe16(bytes + kTrackSizeField);
    const int track = 2 * (k / sides) + k % sides;
    if (length > 0) {
      if (at + length > static_cast<int64_t>(size)) ++lost_tracks;
      ReadTrackBlock(bytes, size, at, length, extended, track, table, damage);
      track_bytes = std::max(track_bytes, length);
    }
    at += length;
  }
  read.media = MediaByte(track_bytes > 6400, tracks);
  if (at > static_cast<int64_t>(size)) {
    snprintf(read.problem, sizeof read.problem,
             "the image ends %lld bytes before its last track block's end (%d track%s cut or "
             "missing)",
             static_cast<long long>(at - static_cast<int64_t>(size)), lost_tracks,
             lost_tracks == 1 ? "" : "s");
  } else if (damage.bad_blocks > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d track block%s that do%s not begin \"Track-Info\"; not read", damage.bad_blocks,
             damage.bad_blocks == 1 ? "" : "s", damage.bad_blocks == 1 ? "es" : "");
  } else if (damage.cut_sectors > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d sector%s whose data run past %s track block (cut)", damage.cut_sectors,
             damage.cut_sectors == 1 ? "" : "s", damage.cut_sectors == 1 ? "its" : "their");
  } else if (damage.several_copies > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d weak sector%s stored in several copies; the first of each read",
             damage.several_copies, damage.several_copies == 1 ? "" : "s");
  }
  return true;
}

}  // namespace diskimage
