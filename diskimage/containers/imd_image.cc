// IMD images: an ASCII header and comment ended by 1Ah, then one record per track (mode,
// cylinder, head, sector count, size code, the sector numbers and optional cylinder and head maps)
// followed by one data record per sector: none, stored, compressed to one byte, each with or
// without a deleted mark and a data error.
#include <cstdio>
#include <cstring>

#include "diskimage/containers/container_readers.h"

namespace diskimage {
namespace {

constexpr int kLastMode = 5;  // 00h-02h FM, 03h-05h MFM
constexpr int kCylinderMapFlag = 0x80;
constexpr int kHeadMapFlag = 0x40;
constexpr int kMaxSizeCode = 6;

// Fills `sector`'s mark, status and data from data record type `type`, whose data begin at
// `data`. Returns the bytes the record's data take, or -1 for a type the format does not have.
int64_t TakeDataRecord(int type, int64_t data, SectorHeader& sector) {
  if (type == 0) {  // no data: the sector could not be read
    sector.status = 0xF0;
    sector.data_size = 0;
    return 0;
  }
  if (type > 8) return -1;
  const bool compressed = type % 2 == 0;
  sector.deleted =
      (type == 3 || type == 4 || type == 7 || type == 8) ? SectorHeader::kDeletedMark : 0x00;
  sector.status = type >= 5 ? 0xB0 : 0x00;
  sector.repeated_byte = compressed;
  sector.data_offset = data;
  return compressed ? 1 : sector.data_size;
}

}  // namespace

bool ReadImdImage(const unsigned char* bytes, size_t size, SectorTable& table,
                  ContainerRead& read) {
  if (size < 4 || memcmp(bytes, "IMD ", 4) != 0) return false;
  table.Reset(bytes, size);
  read = ContainerRead{0x00, false, "", "", ""};
  const unsigned char* comment_end = static_cast<const unsigned char*>(memchr(bytes, 0x1A, size));
  if (comment_end == nullptr) {
    snprintf(read.problem, sizeof read.problem, "its comment never ends (no 1Ah byte); no track");
    return true;
  }
  const int64_t end = static_cast<int64_t>(size);
  int64_t at = comment_end - bytes + 1;
  bool high_rate = false;
  int last_cylinder = 0;
  while (at < end) {
    if (end - at < 5) {
      snprintf(read.problem, sizeof read.problem, "the image ends inside a track record");
      break;
    }
    const int mode = bytes[at];
    const int cylinder = bytes[at + 1];
    const int head_byte = bytes[at + 2];
    const int count = bytes[at + 3];
    const int size_code = bytes[at + 4];
    if (mode > kLastMode || (head_byte & ~(kCylinderMapFlag | kHeadMapFlag | 1)) != 0 ||
        size_code > kMaxSizeCode) {
      snprintf(read.problem, sizeof read.problem,
               "a track record at offset %lld holds values the format does not have (mode %02Xh, "
               "head %02Xh, size code %02Xh); the rest is not read",
               static_cast<long long>(at), mode, head_byte, size_code);
      break;
    }
    const int head = head_byte & 1;
    const int64_t numbers = at + 5;
    const int64_t cylinders_map = numbers + count;
    const int64_t heads_map = cylinders_map + ((head_byte & kCylinderMapFlag) ? count : 0);
    int64_t data = heads_map + ((head_byte & kHeadMapFlag) ? count : 0);
    if (data > end) {
      snprintf(read.problem, sizeof read.problem, "the image ends inside track %d/%d's header",
               cylinder, head);
      break;
    }
    const int track = 2 * cylinder + head;
    // A track recorded twice keeps its first record.
    const bool keep = !table.HasTrack(track);
    if (keep) table.StoreTrack(track);
    high_rate = high_rate || mode == 0 || mode == 3;
    if (cylinder > last_cylinder) last_cylinder = cylinder;
    bool damaged = false;
    for (int i = 0; i < count && !damaged; ++i) {
      if (data >= end) {
        snprintf(read.problem, sizeof read.problem, "the image ends inside track %d/%d", cylinder,
                 head);
        damaged = true;
        break;
      }
      SectorHeader sector = {};
      sector.c = (head_byte & kCylinderMapFlag) ? bytes[cylinders_map + i]
                                                : static_cast<unsigned char>(cylinder);
      sector.h =
          (head_byte & kHeadMapFlag) ? bytes[heads_map + i] : static_cast<unsigned char>(head);
      sector.r = bytes[numbers + i];
      sector.n = static_cast<unsigned char>(size_code);
      sector.sector_count = count;
      sector.density = mode <= 2 ? SectorHeader::kDensityFm : 0x00;
      sector.data_size = 128 << size_code;
      const int64_t taken = TakeDataRecord(bytes[data], data + 1, sector);
      if (taken < 0) {
        snprintf(read.problem, sizeof read.problem,
                 "track %d/%d holds a sector record of type %02Xh, which the format does not "
                 "have; the rest is not read",
                 cylinder, head, bytes[data]);
        damaged = true;
        break;
      }
      if (data + 1 + taken > end) {
        snprintf(read.problem, sizeof read.problem, "the image ends inside track %d/%d", cylinder,
                 head);
        damaged = true;
      }
      if (keep) table.AddSector(track, sector);
      data += 1 + taken;
    }
    if (damaged) break;
    at = data;
  }
  if (high_rate) {
    read.media = 0x20;
  } else if (last_cylinder > 42) {
    read.media = 0x10;
  }
  return true;
}

}  // namespace diskimage
