// The BASIC file-system disk builder and the raw-image conversion.
#include "tests/file_system_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kFree = -1;
constexpr int kReserved = -2;
constexpr int kEnd = -100;  // kEnd - used sectors

struct Layout {
  DiskShape shape;
  int clusters, sectors_per_cluster, cluster_start, directory_start, directory_sectors;
  int entry_size;
};

Layout LayoutOf(BasicDisk::Kind kind) {
  switch (kind) {
    case BasicDisk::kN88_2D:
      return {{40, 2, 16, 1}, 160, 8, 0, 37 * 16, 12, 16};
    case BasicDisk::kN88_2DD:
      return {{80, 2, 16, 1}, 160, 16, 0, 80 * 16, 12, 16};
    case BasicDisk::kN88_2HD:
      return {{77, 2, 26, 1}, 154, 26, 0, 70 * 26, 22, 16};
    case BasicDisk::kHu_2D:
      return {{40, 2, 16, 1}, 80, 16, 0, 16, 16, 32};
    case BasicDisk::kHu_2HD:
      return {{77, 2, 26, 1}, 250, 16, 0, 32, 16, 32};
    case BasicDisk::kFBasic:
      return {{40, 2, 16, 1}, 152, 8, 64, 35, 29, 32};
  }
  throw std::logic_error("kind");
}

bool IsN88(BasicDisk::Kind kind) {
  return kind == BasicDisk::kN88_2D || kind == BasicDisk::kN88_2DD || kind == BasicDisk::kN88_2HD;
}

void PutPadded(uint8_t* p, const std::string& text, size_t width, uint8_t pad = ' ') {
  memset(p, pad, width);
  memcpy(p, text.data(), std::min(text.size(), width));
}

}  // namespace

DiskBuilder SectorsToDisk(const Bytes& raw, const DiskShape& shape,
                          const std::vector<int>& only_tracks) {
  DiskBuilder disk;
  const size_t size = size_t{128} << shape.size_code;
  const size_t track_bytes = size * shape.sectors_per_track;
  const int tracks = shape.cylinders * shape.heads;
  Bytes padded = raw;
  padded.resize(std::max(raw.size(), track_bytes * tracks), 0);
  for (int t = 0; t < tracks; ++t) {
    const int index = shape.heads == 2 ? t : 2 * t;
    if (!only_tracks.empty() &&
        std::find(only_tracks.begin(), only_tracks.end(), index) == only_tracks.end()) {
      continue;
    }
    for (SectorRecord s : TrackSectors(index, 1, shape.sectors_per_track, shape.size_code,
                                       &padded[t * track_bytes])) {
      s.c = static_cast<uint8_t>(t / shape.heads);
      s.h = static_cast<uint8_t>(t % shape.heads);
      disk.AddSector(index, s);
    }
  }
  return disk;
}

BasicDisk::BasicDisk(Kind k) : kind(k) {
  const Layout l = LayoutOf(k);
  clusters = l.clusters;
  sectors_per_cluster = l.sectors_per_cluster;
  cluster_start = l.cluster_start;
  directory_start = l.directory_start;
  directory_sectors = l.directory_sectors;
  entry_size = l.entry_size;
  logical.assign(size_t{256} * l.shape.cylinders * l.shape.heads * l.shape.sectors_per_track, 0);
  table.assign(clusters, kFree);
  memset(&logical[directory_start * 256], 0xFF, directory_sectors * size_t{256});
  if (IsN88(kind)) {
    // The system track and the boot track are the system's.
    table[directory_start / sectors_per_cluster] = kReserved;
    for (int c = 0; c * sectors_per_cluster < l.shape.sectors_per_track; ++c) table[c] = kReserved;
  } else if (kind == kHu_2D || kind == kHu_2HD) {
    for (int c = 0; c * 16 < directory_start + 16; ++c) table[c] = kReserved;
  }
  next_entry_in.assign(clusters + 1, 0);
  WriteTables();
}

DiskShape BasicDisk::Shape() const { return LayoutOf(kind).shape; }

uint8_t* BasicDisk::ClusterData(int cluster) {
  return &logical[(cluster_start + size_t(cluster) * sectors_per_cluster) * 256];
}

int BasicDisk::FirstFreeCluster() const {
  for (int c = 0; c < clusters; ++c) {
    if (table[c] == kFree) return c;
  }
  throw std::out_of_range("the disk is full");
}

uint8_t* BasicDisk::Entry(int index, int folder) {
  const size_t base = folder < 0 ? directory_start * size_t{256}
                                 : (cluster_start + size_t(folder) * sectors_per_cluster) * 256;
  return &logical[base + size_t(index) * entry_size];
}

void BasicDisk::SetTableEntry(int cluster, int value) {
  table[cluster] = value;
  WriteTables();
}

int BasicDisk::TableEntry(int cluster) const { return table[cluster]; }

void BasicDisk::WriteTables() {
  if (IsN88(kind)) {
    uint8_t fat[256];
    memset(fat, 0xFF, sizeof fat);
    for (int c = 0; c < clusters; ++c) {
      const int v = table[c];
      fat[c] = static_cast<uint8_t>(v == kFree       ? 0xFF
                                    : v == kReserved ? 0xFE
                                    : v <= kEnd      ? 0xC0 + (kEnd - v)
                                                     : v);
    }
    const int spt = LayoutOf(kind).shape.sectors_per_track;
    const int first_fat = directory_start + (spt == 26 ? 23 : 13);
    for (int i = 0; i < 3; ++i) memcpy(&logical[(first_fat + i) * size_t{256}], fat, 256);
  } else if (kind == kFBasic) {
    uint8_t* fat = &logical[32 * 256];
    memset(fat, 0xFF, 256);
    fat[0] = 0;
    for (int c = 0; c < clusters; ++c) {
      const int v = table[c];
      fat[5 + c] = static_cast<uint8_t>(v == kFree       ? 0xFF
                                        : v == kReserved ? 0xFE
                                        : v <= kEnd      ? 0xC0 + (kEnd - v) - 1
                                                         : v);
    }
  } else {
    const bool hd = kind == kHu_2HD;
    uint8_t* fat = &logical[(hd ? 28 : 14) * size_t{256}];
    memset(fat, 0, hd ? 512 : 256);
    if (!hd) memset(fat + 0x50, 0x8F, 0x30);
    for (int c = 0; c < clusters; ++c) {
      int v = table[c];
      if (v == kReserved) v = c == 0 ? 1 : kEnd - 16;  // the system's clusters: 0 -> 1, 1 (2)
      const int low = v == kFree ? 0 : v <= kEnd ? 0x80 + (kEnd - v) - 1 : v & 0x7F;
      const int high = v >= 0 ? v >> 7 : 0;
      if (hd) {
        fat[(c / 128) * 256 + c % 128] = static_cast<uint8_t>(low);
        fat[(c / 128) * 256 + 128 + c % 128] = static_cast<uint8_t>(high);
      } else {
        fat[c] = static_cast<uint8_t>(low);
      }
    }
  }
}

std::vector<int> BasicDisk::AddFile(const std::string& name, const std::string& extension,
                                    uint8_t attribute, const Bytes& data, std::vector<int> chain,
                                    int folder, long size) {
  const size_t cluster_bytes = size_t(sectors_per_cluster) * 256;
  const size_t needed = std::max<size_t>(1, (data.size() + cluster_bytes - 1) / cluster_bytes);
  if (chain.empty()) {
    for (size_t i = 0; i < needed; ++i) {
      chain.push_back(FirstFreeCluster());
      table[chain.back()] = kReserved;  // taken while the rest are chosen
    }
  }
  for (size_t i = 0; i < chain.size(); ++i) {
    const size_t from = i * cluster_bytes;
    const size_t count = from < data.size() ? std::min(cluster_bytes, data.size() - from) : 0;
    if (count > 0) memcpy(ClusterData(chain[i]), &data[from], count);
    if (i + 1 < chain.size()) {
      table[chain[i]] = chain[i + 1];
    } else {
      const int used = std::max<int>(1, static_cast<int>((count + 255) / 256));
      table[chain[i]] = kEnd - used;
    }
  }
  WriteTables();
  const int directory = folder < 0 ? 0 : folder + 1;
  uint8_t* e = Entry(next_entry_in[directory]++, folder);
  const int first = chain.front();
  if (IsN88(kind)) {
    PutPadded(e, name, 6);
    PutPadded(e + 6, extension, 3);
    e[9] = attribute;
    e[10] = static_cast<uint8_t>(first);
    memset(e + 11, 0xFF, 5);
  } else if (kind == kFBasic) {
    memset(e, 0, 32);
    PutPadded(e, name, 8);
    e[0x0B] = attribute & 0x03;
    e[0x0C] = attribute & 0x80 ? 0xFF : 0x00;
    e[0x0E] = static_cast<uint8_t>(first);
    memset(e + 0x10, 0xFF, 16);
  } else {
    memset(e, 0, 32);
    e[0] = attribute;
    PutPadded(e + 1, name, 13);
    PutPadded(e + 14, extension, 3);
    e[0x11] = 0x20;
    const long recorded = size >= 0 ? size : static_cast<long>(data.size());
    e[0x12] = static_cast<uint8_t>(recorded);
    e[0x13] = static_cast<uint8_t>(recorded >> 8);
    const uint8_t date[5] = {0x86, 0x61, 0x15, 0x12, 0x34};  // 1986-06-15 12:34
    memcpy(e + 0x18, date, sizeof date);
    e[0x1E] = static_cast<uint8_t>(first & 0x7F);
    e[0x1F] = static_cast<uint8_t>(first >> 7);
  }
  return chain;
}

int BasicDisk::AddFolder(const std::string& name, int folder) {
  const int cluster = FirstFreeCluster();
  memset(ClusterData(cluster), 0xFF, size_t(sectors_per_cluster) * 256);
  table[cluster] = kEnd - sectors_per_cluster;
  WriteTables();
  const int directory = folder < 0 ? 0 : folder + 1;
  uint8_t* e = Entry(next_entry_in[directory]++, folder);
  memset(e, 0, 32);
  e[0] = 0x80;
  PutPadded(e + 1, name, 13);
  PutPadded(e + 14, "", 3);
  e[0x11] = 0x20;
  const uint8_t date[5] = {0x99, 0xC5, 0x31, 0x23, 0x59};  // 1999-12-31 23:59, a Friday
  memcpy(e + 0x18, date, sizeof date);
  e[0x1E] = static_cast<uint8_t>(cluster & 0x7F);
  e[0x1F] = static_cast<uint8_t>(cluster >> 7);
  return cluster;
}

DiskBuilder BasicDisk::ToDisk(const std::string& name, const std::vector<int>& only_tracks) const {
  DiskBuilder disk = SectorsToDisk(logical, LayoutOf(kind).shape, only_tracks);
  const bool hd = kind == kN88_2HD || kind == kHu_2HD;
  disk.Name(name).Media(hd ? 0x20 : kind == kN88_2DD ? 0x10 : 0x00);
  if (kind == kN88_2HD && only_tracks.empty()) {
    // Track 0 of a PC-98 2HD disk: 26 single-density sectors of 128 bytes.
    std::vector<SectorRecord> fm = TrackSectors(0, 1, 26, 0, logical.data());
    for (SectorRecord& s : fm) s.density = 0x40;
    disk.ReplaceTrack(0, fm);
  }
  return disk;
}
