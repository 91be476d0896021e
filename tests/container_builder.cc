// The containers other than D88, written from a built disk.
#include "tests/container_builder.h"

#include <algorithm>
#include <cstring>

#include "diskimage/containers/lzhuf.h"
#include "tests/test_files.h"

namespace {

void PutLe(Bytes& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

const SectorRecord* FindSector(const DiskBuilder& disk, int track, int r) {
  const auto it = disk.Tracks().find(track);
  if (it == disk.Tracks().end()) return nullptr;
  for (const SectorRecord& s : it->second) {
    if (s.r == r) return &s;
  }
  return nullptr;
}

// The tracks of `shape` in raw-dump order, each as its bytes.
Bytes TrackBytes(const DiskBuilder& disk, int track, const DiskShape& shape, bool fm_track0) {
  const size_t sector_size = (fm_track0 && track == 0) ? 128 : size_t{128} << shape.size_code;
  Bytes out;
  for (int r = 1; r <= shape.sectors_per_track; ++r) {
    Bytes data(sector_size, 0);
    if (const SectorRecord* s = FindSector(disk, track, r)) {
      std::copy_n(s->data.begin(), std::min(sector_size, s->data.size()), data.begin());
    }
    out.insert(out.end(), data.begin(), data.end());
  }
  return out;
}

int TrackIndex(int k, const DiskShape& shape) { return shape.heads == 2 ? k : 2 * k; }

// The BIOS result and ST0-ST2 bytes that stand for a D88 status.
void StatusBytes(uint8_t status, uint8_t* out) {
  memset(out, 0, 4);
  if (status == 0) return;
  out[0] = 0x40;  // a failed read
  out[1] = 0x40;
  if (status == 0xB0) out[2] = 0x20, out[3] = 0x20;
  if (status == 0xA0) out[2] = 0x20;
  if (status == 0xE0) out[2] = 0x01;
  if (status == 0xF0) out[3] = 0x01;
}

void PutNfdEntry(uint8_t* e, const SectorRecord& s) {
  e[0] = s.c, e[1] = s.h, e[2] = s.r, e[3] = s.n;
  e[4] = s.density == 0x40 ? 0 : 1;
  e[5] = s.deleted != 0 ? 1 : 0;
  uint8_t status[4];
  StatusBytes(s.status, status);
  memcpy(e + 6, status, 4);
}

Bytes NfdHeaderStart(const char* signature, size_t header_size) {
  Bytes out(header_size, 0);
  memcpy(out.data(), signature, strlen(signature));
  PutLe(out, 0x110, static_cast<uint32_t>(header_size), 4);
  out[0x115] = 2;
  return out;
}

}  // namespace

Bytes RawDump(const DiskBuilder& disk, const DiskShape& shape, bool fm_track0) {
  Bytes out;
  for (int k = 0; k < shape.cylinders * shape.heads; ++k) {
    const Bytes track = TrackBytes(disk, TrackIndex(k, shape), shape, fm_track0);
    out.insert(out.end(), track.begin(), track.end());
  }
  return out;
}

Bytes FdiImage(const DiskBuilder& disk, const DiskShape& shape) {
  const Bytes raw = RawDump(disk, shape);
  Bytes out(4096, 0);
  PutLe(out, 0x04, 0x90, 4);
  PutLe(out, 0x08, 4096, 4);
  PutLe(out, 0x0C, static_cast<uint32_t>(raw.size()), 4);
  PutLe(out, 0x10, 128u << shape.size_code, 4);
  PutLe(out, 0x14, shape.sectors_per_track, 4);
  PutLe(out, 0x18, shape.heads, 4);
  PutLe(out, 0x1C, shape.cylinders, 4);
  out.insert(out.end(), raw.begin(), raw.end());
  return out;
}

Bytes DimImage(const DiskBuilder& disk, uint8_t type, const DiskShape& shape) {
  Bytes out(256, 0);
  out[0] = type;
  memcpy(&out[0xAB], "DIFC HEADER  ", 13);
  for (const auto& [track, sectors] : disk.Tracks()) {
    if (track >= 160) continue;
    out[1 + track] = 1;
  }
  for (int track = 0; track < 160; ++track) {
    if (out[1 + track] == 0) continue;
    const Bytes bytes = TrackBytes(disk, track, shape, false);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

Bytes DcpImage(const DiskBuilder& disk, uint8_t type, const DiskShape& shape, int map_length,
               bool fm_track0) {
  Bytes out(1 + map_length + 1, 0);
  out[0] = type;
  for (const auto& [track, sectors] : disk.Tracks()) {
    if (track < map_length && track < 2 * shape.cylinders) out[1 + track] = 1;
  }
  for (int track = 0; track < map_length; ++track) {
    if (out[1 + track] == 0) continue;
    const Bytes bytes = TrackBytes(disk, track, shape, fm_track0);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

Bytes NfdR0Image(const DiskBuilder& disk) {
  Bytes out = NfdHeaderStart("T98FDDIMAGE.R0", 0x10A10);
  for (int slot = 0; slot < 163; ++slot) {
    for (int i = 0; i < 26; ++i) out[0x120 + (slot * 26 + i) * 16] = 0xFF;
  }
  for (const auto& [track, sectors] : disk.Tracks()) {
    for (size_t i = 0; i < sectors.size() && i < 26 && track < 163; ++i) {
      PutNfdEntry(&out[0x120 + (track * 26 + i) * 16], sectors[i]);
      out[0x120 + (track * 26 + i) * 16 + 10] = 0x90;
    }
  }
  for (const auto& [track, sectors] : disk.Tracks()) {
    for (size_t i = 0; i < sectors.size() && i < 26 && track < 163; ++i) {
      Bytes data(size_t{128} << sectors[i].n, 0);
      std::copy_n(sectors[i].data.begin(), std::min(data.size(), sectors[i].data.size()),
                  data.begin());
      out.insert(out.end(), data.begin(), data.end());
    }
  }
  return out;
}

Bytes NfdR1Image(const DiskBuilder& disk) {
  size_t header_size = 0x3C0;
  for (const auto& [track, sectors] : disk.Tracks()) header_size += 16 * (1 + sectors.size());
  Bytes out = NfdHeaderStart("T98FDDIMAGE.R1", header_size);
  size_t at = 0x3C0;
  Bytes data;
  for (const auto& [track, sectors] : disk.Tracks()) {
    PutLe(out, 0x120 + 4 * track, static_cast<uint32_t>(at), 4);
    PutLe(out, at, static_cast<uint32_t>(sectors.size()), 2);
    at += 16;
    for (const SectorRecord& s : sectors) {
      PutNfdEntry(&out[at], s);
      out[at + 11] = 0x90;
      at += 16;
      Bytes bytes(size_t{128} << s.n, 0);
      std::copy_n(s.data.begin(), std::min(bytes.size(), s.data.size()), bytes.begin());
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes ImdImage(const DiskBuilder& disk, bool high_rate) {
  const std::string head = "IMD 1.18: 07/12/2026 12:00:00\r\nbuilt by the tests\x1A";
  Bytes out(head.begin(), head.end());
  for (const auto& [track, sectors] : disk.Tracks()) {
    const int cylinder = track / 2, head_number = track % 2;
    const bool fm = !sectors.empty() && sectors[0].density == 0x40;
    bool cylinder_map = false, head_map = false;
    for (const SectorRecord& s : sectors) {
      cylinder_map = cylinder_map || s.c != cylinder;
      head_map = head_map || s.h != head_number;
    }
    out.push_back(static_cast<uint8_t>((high_rate ? 0 : 2) + (fm ? 0 : 3)));
    out.push_back(static_cast<uint8_t>(cylinder));
    out.push_back(
        static_cast<uint8_t>(head_number | (cylinder_map ? 0x80 : 0) | (head_map ? 0x40 : 0)));
    out.push_back(static_cast<uint8_t>(sectors.size()));
    out.push_back(sectors.empty() ? 0 : sectors[0].n);
    for (const SectorRecord& s : sectors) out.push_back(s.r);
    if (cylinder_map) {
      for (const SectorRecord& s : sectors) out.push_back(s.c);
    }
    if (head_map) {
      for (const SectorRecord& s : sectors) out.push_back(s.h);
    }
    for (const SectorRecord& s : sectors) {
      Bytes bytes(size_t{128} << s.n, 0);
      std::copy_n(s.data.begin(), std::min(bytes.size(), s.data.size()), bytes.begin());
      const bool one_value =
          std::all_of(bytes.begin(), bytes.end(), [&](uint8_t b) { return b == bytes[0]; });
      const int kind = (s.deleted != 0 ? 2 : 0) + (s.status != 0 ? 4 : 0);
      out.push_back(static_cast<uint8_t>(1 + kind + (one_value ? 1 : 0)));
      if (one_value) {
        out.push_back(bytes[0]);
      } else {
        out.insert(out.end(), bytes.begin(), bytes.end());
      }
    }
  }
  return out;
}

Bytes FddImage(const DiskBuilder& disk, const std::string& memo, bool high_density) {
  constexpr size_t kHeader = 0xC3FC;
  Bytes out(kHeader, 0);
  memcpy(&out[0], "VFD1.00", 8);
  std::copy_n(memo.begin(), std::min<size_t>(memo.size(), 128), out.begin() + 8);
  for (int slot = 0; slot < 160 * 26; ++slot) {
    std::fill_n(out.begin() + 0xDC + slot * 12, 12, uint8_t{0xFF});
  }
  Bytes data;
  for (const auto& [track, sectors] : disk.Tracks()) {
    for (size_t i = 0; i < sectors.size() && i < 26 && track < 160; ++i) {
      const SectorRecord& s = sectors[i];
      uint8_t* e = &out[0xDC + (track * 26 + i) * 12];
      e[0] = s.c, e[1] = s.h, e[2] = s.r, e[3] = s.n;
      e[5] = s.deleted != 0 ? 1 : 0;
      e[6] = s.density == 0x40 ? 0 : 1;
      e[7] = high_density ? 1 : 0;
      Bytes bytes(size_t{128} << s.n, 0);
      std::copy_n(s.data.begin(), std::min(bytes.size(), s.data.size()), bytes.begin());
      if (std::all_of(bytes.begin(), bytes.end(), [&](uint8_t b) { return b == bytes[0]; })) {
        e[4] = bytes[0];  // a fill sector: not stored
        PutLe(out, 0xDC + (track * 26 + i) * 12 + 8, 0xFFFFFFFF, 4);
        continue;
      }
      e[4] = 0xFF;
      PutLe(out, 0xDC + (track * 26 + i) * 12 + 8, static_cast<uint32_t>(kHeader + data.size()), 4);
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes DskImage(const DiskBuilder& disk, bool extended, int cylinders, int sides, int weak_copies) {
  Bytes out(256, 0);
  const std::string signature = extended ? "EXTENDED CPC DSK File\r\nDisk-Info\r\n"
                                         : "MV - CPCEMU Disk-File\r\nDisk-Info\r\n";
  std::copy(signature.begin(), signature.end(), out.begin());
  out[0x30] = static_cast<uint8_t>(cylinders);
  out[0x31] = static_cast<uint8_t>(sides);
  std::vector<Bytes> blocks;
  size_t largest = 0;
  for (int k = 0; k < cylinders * sides; ++k) {
    const int track = 2 * (k / sides) + k % sides;
    const auto found = disk.Tracks().find(track);
    Bytes block;
    if (found != disk.Tracks().end()) {
      const std::vector<SectorRecord>& sectors = found->second;
      block.assign(256, 0);
      memcpy(&block[0], "Track-Info\r\n", 12);
      block[0x10] = static_cast<uint8_t>(k / sides);
      block[0x11] = static_cast<uint8_t>(k % sides);
      block[0x13] = !sectors.empty() && sectors[0].density == 0x40 ? 1 : 2;
      block[0x14] = sectors.empty() ? 2 : sectors[0].n;
      block[0x15] = static_cast<uint8_t>(sectors.size());
      block[0x17] = 0xE5;
      for (size_t i = 0; i < sectors.size() && i < 29; ++i) {
        const SectorRecord& s = sectors[i];
        uint8_t* e = &block[0x18 + 8 * i];
        e[0] = s.c, e[1] = s.h, e[2] = s.r, e[3] = s.n;
        e[4] = s.status == 0xB0 ? 0x20 : 0x00;
        e[5] = static_cast<uint8_t>((s.status == 0xB0 ? 0x20 : 0x00) | (s.deleted ? 0x40 : 0x00));
        const size_t length = size_t{128} << (extended ? s.n : block[0x14]);
        const int copies = extended && s.status == 0xB0 ? weak_copies : 1;
        if (extended) PutLe(block, 0x18 + 8 * i + 6, static_cast<uint32_t>(length * copies), 2);
        Bytes bytes(length, 0);
        std::copy_n(s.data.begin(), std::min(bytes.size(), s.data.size()), bytes.begin());
        for (int copy = 0; copy < copies; ++copy) {
          block.insert(block.end(), bytes.begin(), bytes.end());
          bytes.back() ^= 0xFF;  // each read of a weak sector differs
        }
      }
      block.resize((block.size() + 255) / 256 * 256, 0);
    }
    largest = std::max(largest, block.size());
    if (extended) out[0x34 + k] = static_cast<uint8_t>(block.size() / 256);
    blocks.push_back(block);
  }
  if (!extended) PutLe(out, 0x32, static_cast<uint32_t>(largest), 2);
  for (Bytes& block : blocks) {
    if (!extended) block.resize(largest, 0);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

namespace {

// The Teledisk CRC: polynomial A097h from 0, most significant bit first.
unsigned Td0Crc(const Bytes& bytes, size_t from, size_t size) {
  unsigned crc = 0;
  for (size_t i = from; i < from + size; ++i) {
    crc ^= unsigned{bytes[i]} << 8;
    for (int bit = 0; bit < 8; ++bit) crc = ((crc & 0x8000) ? (crc << 1) ^ 0xA097 : crc << 1);
    crc &= 0xFFFF;
  }
  return crc;
}

// A sector's data block as Teledisk's encoder writes it: one repeated pair (method 1), runs of
// repeated pairs among literal stretches (method 2) where shorter, else raw (method 0).
Bytes Td0DataBlock(const Bytes& data) {
  Bytes encoded;
  bool one_pair = data.size() % 2 == 0;
  for (size_t i = 2; one_pair && i < data.size(); i += 2) {
    one_pair = data[i] == data[0] && data[i + 1] == data[1];
  }
  if (one_pair) {
    encoded = {1, static_cast<uint8_t>(data.size() / 2), static_cast<uint8_t>(data.size() / 512),
               data[0], data[1]};
  } else {
    encoded = {2};
    size_t at = 0, literal_from = 0;
    const auto flush_literals = [&](size_t end) {
      while (literal_from < end) {
        const size_t n = std::min<size_t>(255, end - literal_from);
        encoded.push_back(0);
        encoded.push_back(static_cast<uint8_t>(n));
        encoded.insert(encoded.end(), data.begin() + literal_from, data.begin() + literal_from + n);
        literal_from += n;
      }
    };
    while (at + 1 < data.size()) {
      size_t run = 1;
      while (at + 2 * run + 1 < data.size() && run < 255 && data[at + 2 * run] == data[at] &&
             data[at + 2 * run + 1] == data[at + 1]) {
        ++run;
      }
      if (run >= 4) {
        flush_literals(at);
        encoded.insert(encoded.end(), {1, static_cast<uint8_t>(run), data[at], data[at + 1]});
        at += 2 * run;
        literal_from = at;
      } else {
        at += 2;
      }
    }
    flush_literals(data.size());
    if (encoded.size() > data.size()) {
      encoded = {0};
      encoded.insert(encoded.end(), data.begin(), data.end());
    }
  }
  Bytes block(2, 0);
  block[0] = static_cast<uint8_t>(encoded.size());
  block[1] = static_cast<uint8_t>(encoded.size() >> 8);
  block.insert(block.end(), encoded.begin(), encoded.end());
  return block;
}

// Bits written most significant first.
class BitWriter {
 public:
  void Put(unsigned value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used % 8 == 0) out.push_back(0);
      if ((value >> i) & 1) out.back() |= static_cast<uint8_t>(0x80 >> (used % 8));
      ++used;
    }
  }
  Bytes out;

 private:
  size_t used = 0;
};

// Writes the code of `symbol` in `tree` and counts it.
void PutSymbol(diskimage::LzhufTree& tree, int symbol, BitWriter& bits) {
  std::vector<int> path;
  for (int node = tree.Parent(diskimage::LzhufTree::kNodes + symbol);
       node != diskimage::LzhufTree::kRoot; node = tree.Parent(node)) {
    path.push_back(node - tree.Child(tree.Parent(node)));
  }
  for (auto bit = path.rbegin(); bit != path.rend(); ++bit)
    bits.Put(static_cast<unsigned>(*bit), 1);
  tree.Update(symbol);
}

}  // namespace

void SetTd0HeaderCrc(Bytes& td0) {
  const unsigned crc = Td0Crc(td0, 0, 10);
  td0[10] = static_cast<uint8_t>(crc), td0[11] = static_cast<uint8_t>(crc >> 8);
}

Bytes LzhufEncode(const Bytes& data) {
  using namespace diskimage;
  LzhufTree tree;
  tree.Reset();
  BitWriter bits;
  // Earlier positions of each 3-byte prefix, newest first; a match never reaches the bytes it
  // writes, nor back past the ring.
  const auto key = [&](size_t at) {
    return ((data[at] << 10) ^ (data[at + 1] << 5) ^ data[at + 2]) & 0xFFFF;
  };
  std::vector<int64_t> newest(1 << 16, -1), earlier(data.size(), -1);
  const auto remember = [&](size_t at) {
    if (at + 2 >= data.size()) return;
    earlier[at] = newest[static_cast<size_t>(key(at))];
    newest[static_cast<size_t>(key(at))] = static_cast<int64_t>(at);
  };
  constexpr int64_t kReach = kLzhufRingSize - kLzhufMaxMatch;
  for (size_t at = 0; at < data.size();) {
    size_t best = 0, best_distance = 0;
    if (at + 2 < data.size()) {
      int64_t from = newest[static_cast<size_t>(key(at))];
      for (int tries = 0; from >= 0 && static_cast<int64_t>(at) - from <= kReach && tries < 64;
           ++tries, from = earlier[static_cast<size_t>(from)]) {
        size_t length = 0;
        const size_t room = std::min<size_t>(kLzhufMaxMatch, at - static_cast<size_t>(from));
        while (length < room && at + length < data.size() &&
               data[static_cast<size_t>(from) + length] == data[at + length]) {
          ++length;
        }
        if (length > best) best = length, best_distance = at - static_cast<size_t>(from) - 1;
      }
    }
    if (best >= static_cast<size_t>(kLzhufMinMatch)) {
      PutSymbol(tree, 256 + static_cast<int>(best) - kLzhufMinMatch, bits);
      const LzhufDistanceCode code = LzhufDistancePrefix(static_cast<int>(best_distance / 64));
      bits.Put(static_cast<unsigned>(code.prefix), code.bits);
      bits.Put(static_cast<unsigned>(best_distance % 64), 6);
    } else {
      best = 1;
      PutSymbol(tree, data[at], bits);
    }
    for (size_t i = 0; i < best; ++i) remember(at + i);
    at += best;
  }
  return bits.out;
}

Bytes Td0Image(const DiskBuilder& disk, bool advanced, int rate, const std::string& comment) {
  Bytes out = {static_cast<uint8_t>(advanced ? 't' : 'T'),
               static_cast<uint8_t>(advanced ? 'd' : 'D'),
               0,
               0x2A,
               0x21,
               static_cast<uint8_t>(rate),
               0x02,
               static_cast<uint8_t>(comment.empty() ? 0x00 : 0x80),
               0,
               2,
               0,
               0};
  SetTd0HeaderCrc(out);
  Bytes stream;
  if (!comment.empty()) {
    stream = {0, 0, static_cast<uint8_t>(comment.size() + 1), 0, 126, 11, 9, 12, 0, 0};
    stream.insert(stream.end(), comment.begin(), comment.end());
    stream.push_back(0);
    const unsigned comment_crc = Td0Crc(stream, 2, stream.size() - 2);
    stream[0] = static_cast<uint8_t>(comment_crc),
    stream[1] = static_cast<uint8_t>(comment_crc >> 8);
  }
  for (const auto& [track, sectors] : disk.Tracks()) {
    const size_t head = stream.size();
    stream.insert(stream.end(),
                  {static_cast<uint8_t>(sectors.size()), static_cast<uint8_t>(track / 2),
                   static_cast<uint8_t>(
                       track % 2 | (!sectors.empty() && sectors[0].density == 0x40 ? 0x80 : 0)),
                   0});
    stream[head + 3] = static_cast<uint8_t>(Td0Crc(stream, head, 3));
    for (const SectorRecord& s : sectors) {
      Bytes data(size_t{128} << s.n, 0);
      std::copy_n(s.data.begin(), std::min(data.size(), s.data.size()), data.begin());
      const uint8_t flags =
          static_cast<uint8_t>((s.status == 0xB0 ? 0x02 : 0) | (s.deleted ? 0x04 : 0));
      stream.insert(stream.end(), {s.c, s.h, s.r, s.n, flags,
                                   static_cast<uint8_t>(Td0Crc(data, 0, data.size()))});
      const Bytes block = Td0DataBlock(data);
      stream.insert(stream.end(), block.begin(), block.end());
    }
  }
  stream.push_back(0xFF);
  const Bytes payload = advanced ? LzhufEncode(stream) : stream;
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<SectorRecord> InterleavedFmTrack(int count) {
  std::vector<SectorRecord> track;
  for (int i = 0; i < count; ++i) {
    SectorRecord s;
    s.r = static_cast<uint8_t>(i % 2 == 0 ? 1 + i / 2 : count / 2 + 1 + i / 2);
    s.n = 0;
    s.density = 0x40;
    s.data = PatternBytes(128, s.r);
    track.push_back(s);
  }
  return track;
}

std::vector<SectorRecord> WithMarks(std::vector<SectorRecord> sectors, int other_cylinder) {
  sectors[0].deleted = 0x10;
  sectors[1].status = 0xB0;
  sectors[2].data.assign(sectors[2].data.size(), 0xE5);
  sectors[3].c = static_cast<uint8_t>(other_cylinder);
  return sectors;
}
