// The CP/M and MZ DISK BASIC disk builders.
#include "tests/cpm_mz_builder.h"

#include <algorithm>
#include <cstring>

namespace {

// The X1turbo's order of sectors on a data track.
constexpr uint8_t kInterleave[16] = {1, 14, 11, 8, 5, 2, 15, 12, 9, 6, 3, 16, 13, 10, 7, 4};

void PutName(uint8_t* p, const std::string& text, size_t width) {
  memset(p, ' ', width);
  memcpy(p, text.data(), std::min(text.size(), width));
}

bool Kept(const std::vector<int>& only_tracks, int track) {
  return only_tracks.empty() ||
         std::find(only_tracks.begin(), only_tracks.end(), track) != only_tracks.end();
}

}  // namespace

CpmDisk::CpmDisk() : logical(80 * 16 * 256, 0xE5) {}

int CpmDisk::AddFile(int user, const std::string& name, const std::string& type,
                     const Bytes& data) {
  const int records = static_cast<int>((data.size() + 127) / 128);
  const int blocks = (records * 128 + kBlockSize - 1) / kBlockSize;
  const int first_block = next_block;
  for (int b = 0; b < blocks; ++b) {
    uint8_t* p = &logical[kDirectory + (first_block + b) * kBlockSize];
    memset(p, 0x1A, kBlockSize);
    const size_t from = size_t{static_cast<unsigned>(b)} * kBlockSize;
    if (from < data.size()) {
      memcpy(p, data.data() + from, std::min<size_t>(kBlockSize, data.size() - from));
    }
  }
  next_block += blocks;
  const int first_entry = next_entry;
  for (int k = 0; k == 0 || k * 256 < records; ++k) {
    uint8_t* e = Entry(next_entry++);
    memset(e, 0, 32);
    e[0] = static_cast<uint8_t>(user);
    PutName(e + 1, name, 8);
    PutName(e + 9, type, 3);
    const int in_entry = std::min(records - k * 256, 256);
    const int x = 2 * k + (in_entry > 128 ? 1 : 0);
    e[12] = static_cast<uint8_t>(x & 31);
    e[14] = static_cast<uint8_t>(x >> 5);
    e[15] = static_cast<uint8_t>(in_entry - (in_entry > 128 ? 128 : 0));
    for (int p = 0; p < 16 && k * 16 + p < blocks; ++p) {
      e[16 + p] = static_cast<uint8_t>(first_block + k * 16 + p);
    }
  }
  return first_entry;
}

DiskBuilder CpmDisk::ToDisk(bool interleaved, const std::vector<int>& only_tracks) const {
  DiskBuilder disk;
  for (int track = 0; track < 80; ++track) {
    if (!Kept(only_tracks, track)) continue;
    for (int i = 0; i < 16; ++i) {
      const int r = interleaved && track >= 4 ? kInterleave[i] : i + 1;
      SectorRecord s;
      s.c = static_cast<uint8_t>(track / 2), s.h = static_cast<uint8_t>(track % 2);
      s.r = static_cast<uint8_t>(r);
      const auto from = logical.begin() + (track * 16 + r - 1) * 256;
      s.data.assign(from, from + 256);
      disk.AddSector(track, s);
    }
  }
  return disk;
}

MzDisk::MzDisk(bool dd)
    : two_dd(dd),
      per_block(dd ? 2 : 1),
      total(dd ? 1280 : 1120),
      offset(dd ? 24 : 48),
      next_block(offset),
      logical(size_t(dd ? 2560 : 1120) * 256, 0xBF) {
  memset(&logical[0], 0, 15 * 256);
  logical[0] = 0x04;
  for (int i = 0; i < 64; ++i) {
    uint8_t* e = Entry(i);
    memset(e, 0, 32);
    memset(e + 1, 0x0D, 17);
  }
  Entry(0)[0] = 0x80;
  Entry(0)[1] = 0x01;
  WriteBitmap();
}

void MzDisk::WriteBitmap() {
  uint8_t* b = &logical[15 * 256];
  memset(b, 0, 256);
  b[0] = 1;
  b[1] = static_cast<uint8_t>(offset);
  b[2] = static_cast<uint8_t>(next_block);
  b[3] = static_cast<uint8_t>(next_block >> 8);
  b[4] = static_cast<uint8_t>(total);
  b[5] = static_cast<uint8_t>(total >> 8);
  for (int bit = 0; bit < next_block - offset; ++bit) b[6 + bit / 8] |= 1 << (bit % 8);
  b[0xFF] = static_cast<uint8_t>(per_block - 1);
}

int MzDisk::AddFile(int mode, const std::string& name, const Bytes& data) {
  const int sector = next_block * per_block;
  std::copy(data.begin(), data.end(), logical.begin() + sector * 256);
  const int sectors = static_cast<int>((data.size() + 255) / 256);
  next_block += (sectors + per_block - 1) / per_block;
  uint8_t* e = Entry(next_entry);
  e[0] = static_cast<uint8_t>(mode);
  memset(e + 1, 0x0D, 17);
  memcpy(e + 1, name.data(), std::min<size_t>(name.size(), 17));
  e[0x14] = static_cast<uint8_t>(data.size());
  e[0x15] = static_cast<uint8_t>(data.size() >> 8);
  e[0x1E] = static_cast<uint8_t>(sector);
  e[0x1F] = static_cast<uint8_t>(sector >> 8);
  WriteBitmap();
  return next_entry++;
}

DiskBuilder MzDisk::ToDisk(const std::vector<int>& only_tracks) const {
  DiskBuilder disk;
  disk.Media(two_dd ? 0x10 : 0x00);
  const int tracks = static_cast<int>(logical.size() / (16 * 256));
  for (int t = 0; t < tracks; ++t) {
    const int cylinder = t / 2, head = 1 - t % 2;
    const int track = 2 * cylinder + head;
    if (!Kept(only_tracks, track)) continue;
    for (int r = 1; r <= 16; ++r) {
      SectorRecord s;
      s.c = static_cast<uint8_t>(cylinder), s.h = static_cast<uint8_t>(head);
      s.r = static_cast<uint8_t>(r);
      const auto from = logical.begin() + (t * 16 + r - 1) * 256;
      for (auto p = from; p != from + 256; ++p) s.data.push_back(static_cast<uint8_t>(~*p));
      disk.AddSector(track, s);
    }
  }
  return disk;
}
