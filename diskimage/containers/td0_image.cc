// Teledisk TD0 images: a 12-byte header with its CRC ("TD", or "td" for a stream LZHUF
// compresses after it), an optional comment, then per track a 4-byte header and per sector a
// 6-byte header and, where it has data, a block stored raw, as repeated pairs or as runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diskimage/containers/container_readers.h"
#include "diskimage/containers/lzhuf.h"

namespace diskimage {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kCommentHeaderSize = 10;
constexpr int kEndOfTracks = 0xFF;
constexpr int kNoDataFlags = 0x30;  // skipped for DOS allocation, or an ID without data
constexpr int kCrcErrorFlag = 0x02;
constexpr int kDeletedFlag = 0x04;
constexpr int kMaxSizeCode = 7;

// The CRC-16 of Teledisk: polynomial A097h, from 0, most significant bit first.
unsigned Td0Crc(const unsigned char* bytes, size_t size) {
  unsigned crc = 0;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<unsigned>(bytes[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0xA097 : crc << 1;
    crc &= 0xFFFF;
  }
  return crc;
}

// Expands the data block of `length` encoded bytes at `in` (method `method`) into the `size`
// bytes at `out`. False when it does not expand to exactly `size` bytes from exactly its input.
bool ExpandSector(int method, const unsigned char* in, size_t length, unsigned char* out,
                  size_t size) {
  size_t done = 0, at = 0;
  switch (method) {
    case 0:
      if (length != size) return false;
      memcpy(out, in, size);
      return true;
    case 1:  // repeated pairs: a count, then the two bytes
      while (at + 4 <= length) {
        const size_t pairs = static_cast<size_t>(ReadLe16(in + at));
        if (pairs > (size - done) / 2) return false;
        for (size_t i = 0; i < pairs; ++i, done += 2) memcpy(out + done, in + at + 2, 2);
        at += 4;
      }
      return at == length && done == size;
    case 2:  // runs: literal bytes, or a block of 1 << t bytes repeated
      while (at + 2 <= length && done < size) {
        const int kind = in[at];
        const size_t count = in[at + 1];
        at += 2;
        if (kind == 0) {
          if (count > length - at || count > size - done) return false;
          memcpy(out + done, in + at, count);
          done += count;
          at += count;
          continue;
        }
        if (kind > 8) return false;
        const size_t block = size_t{1} << kind;
        if (block > length - at || block * count > size - done) return false;
        for (size_t i = 0; i < count; ++i, done += block) memcpy(out + done, in + at, block);
        at += block;
      }
      return at == length && done == size;
    default:
      return false;
  }
}

// What reading the tracks found amiss.
struct Td0Damage {
  int bad_blocks = 0;     // data blocks that do not expand to their sector
  int bad_crcs = 0;       // sectors whose expanded data disagree with their CRC byte
  const char* stop = "";  // why the tracks stopped before their end mark; "" when they did not
  int stop_track = 0;
};

// Reads the tracks of `stream` from `at` into `table`, their data expanded into `data` (room for
// `capacity` bytes, `used` of them taken).
void ReadTracks(const unsigned char* stream, size_t size, size_t at, bool fm_disk,
                unsigned char* data, size_t capacity, size_t& used, SectorTable& table,
                int& highest_track, Td0Damage& damage) {
  for (int tracks_read = 0;; ++tracks_read) {
    if (at >= size) {
      damage.stop = "the image ends before its end-of-tracks mark";
      damage.stop_track = tracks_read;
      return;
    }
    const unsigned char* head = stream + at;
    if (head[0] == kEndOfTracks) return;
    if (size - at < 4) {
      damage.stop = "the image ends inside a track header";
      damage.stop_track = tracks_read;
      return;
    }
    if (head[3] != 0 && head[3] != (Td0Crc(head, 3) & 0xFF)) {
      damage.stop = "a track header fails its CRC";
      damage.stop_track = tracks_read;
      return;
    }
    at += 4;
    const int count = head[0];
    const int track = 2 * head[1] + (head[2] & 1);
    const bool fm = fm_disk || (head[2] & 0x80) != 0;
    if (track < SectorSource::kTrackCount) {
      table.StoreTrack(track);
      if (track > highest_track) highest_track = track;
    }
    for (int i = 0; i < count; ++i) {
      if (size - at < 6) {
        damage.stop = "the image ends inside a sector header";
        damage.stop_track = tracks_read;
        return;
      }
      const unsigned char* id = stream + at;
      at += 6;
      SectorHeader sector = {};
      sector.c = id[0], sector.h = id[1], sector.r = id[2], sector.n = id[3];
      sector.sector_count = count;
      sector.density = fm ? SectorHeader::kDensityFm : 0x00;
      sector.deleted = (id[4] & kDeletedFlag) != 0 ? SectorHeader::kDeletedMark : 0x00;
      sector.status = (id[4] & kCrcErrorFlag) != 0 ? 0xB0 : 0x00;
      if ((id[4] & kNoDataFlags) != 0 || id[3] > kMaxSizeCode) {
        sector.status = 0xF0;  // no data: not read, or no data field
        if (track < SectorSource::kTrackCount) table.AddSector(track, sector);
        continue;
      }
      if (size - at < 3) {
        damage.stop = "the image ends inside a data block";
        damage.stop_track = tracks_read;
        return;
      }
      const size_t length = static_cast<size_t>(ReadLe16(stream + at));
      if (length == 0 || length - 1 > size - at - 3) {
        damage.stop = "a data block runs past the image's end";
        damage.stop_track = tracks_read;
        return;
      }
      const size_t sector_size = size_t{128} << id[3];
      if (sector_size > capacity - used) {
        damage.stop = "the sectors expand past the room for them";
        damage.stop_track = tracks_read;
        return;
      }
      unsigned char* out = data + used;
      memset(out, 0, sector_size);
      if (!ExpandSector(stream[at + 2], stream + at + 3, length - 1, out, sector_size)) {
        ++damage.bad_blocks;
      } else if ((Td0Crc(out, sector_size) & 0xFF) != id[5]) {
        ++damage.bad_crcs;
      }
      at += 2 + length;
      sector.data_size = static_cast<int>(sector_size);
      sector.data_offset = static_cast<int64_t>(used);
      used += sector_size;
      if (track < SectorSource::kTrackCount) table.AddSector(track, sector);
    }
  }
}

}  // namespace

bool IsTd0Image(const unsigned char* bytes, size_t size) {
  if (size < kHeaderSize) return false;
  if (!(bytes[0] == 'T' && bytes[1] == 'D') && !(bytes[0] == 't' && bytes[1] == 'd')) {
    return false;
  }
  return Td0Crc(bytes, 10) == static_cast<unsigned>(ReadLe16(bytes + 10));
}

bool ReadTd0Image(const unsigned char* bytes, size_t size, SectorTable& table, ContainerRead& read,
                  DecodedBytes& decoded) {
  if (!IsTd0Image(bytes, size)) return false;
  read = ContainerRead{0x00, false, "", "", ""};
  const bool advanced = bytes[0] == 't';
  const int version = bytes[4];
  if (bytes[2] != 0) {
    snprintf(read.refusal, sizeof read.refusal,
             "volume %d of a TD0 image set, which is read only with the volumes before it",
             bytes[2] + 1);
    return true;
  }
  if (advanced && version < 0x20) {
    snprintf(read.refusal, sizeof read.refusal,
             "a TD0 image of version %d.%d compressed with LZW, which is not read", version >> 4,
             version & 0x0F);
    return true;
  }
  // The stream after the header: the file's own bytes, or what they decompress to.
  const unsigned char* stream = bytes + kHeaderSize;
  size_t stream_size = size - kHeaderSize;
  unsigned char* expanded = nullptr;
  bool more = false;
  if (advanced) {
    expanded = static_cast<unsigned char*>(malloc(kMaxTd0StreamSize));
    if (expanded == nullptr) {
      snprintf(read.refusal, sizeof read.refusal, "not enough memory to decompress a TD0 image");
      return true;
    }
    stream_size =
        LzhufDecode(bytes + kHeaderSize, size - kHeaderSize, expanded, kMaxTd0StreamSize, more);
    stream = expanded;
  }
  decoded.bytes = static_cast<unsigned char*>(malloc(kMaxTd0DataSize));
  if (decoded.bytes == nullptr) {
    free(expanded);
    snprintf(read.refusal, sizeof read.refusal, "not enough memory to read a TD0 image");
    return true;
  }
  decoded.size = kMaxTd0DataSize;
  table.Reset(decoded.bytes, decoded.size);
  size_t at = 0;
  if (bytes[7] & 0x80) {  // a comment: its CRC, length and date, then its text
    at = stream_size < kCommentHeaderSize
             ? stream_size
             : kCommentHeaderSize + static_cast<size_t>(ReadLe16(stream + 2));
  }
  size_t used = 0;
  int highest = -1;
  Td0Damage damage;
  ReadTracks(stream, stream_size, at, (bytes[5] & 0x80) != 0, decoded.bytes, decoded.size, used,
             table, highest, damage);
  free(expanded);
  read.media = MediaByte((bytes[5] & 0x03) == 2, highest / 2 + 1);
  if (damage.stop[0] != '\0') {
    snprintf(read.problem, sizeof read.problem, "%s%s after %d track%s; the rest not read",
             damage.stop, more ? " (its stream decompresses past 8 MiB)" : "", damage.stop_track,
             damage.stop_track == 1 ? "" : "s");
  } else if (damage.bad_blocks > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d data block%s that do%s not expand to %s sector (zeros after what they give)",
             damage.bad_blocks, damage.bad_blocks == 1 ? "" : "s",
             damage.bad_blocks == 1 ? "es" : "", damage.bad_blocks == 1 ? "its" : "their");
  } else if (damage.bad_crcs > 0) {
    snprintf(read.problem, sizeof read.problem,
             "%d sector%s whose data disagree with the CRC the image keeps", damage.bad_crcs,
             damage.bad_crcs == 1 ? "" : "s");
  }
  return true;
}

}  // namespace diskimage
