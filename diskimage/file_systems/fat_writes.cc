// Adding files and folders to a mounted FAT12 or Human68k volume: clusters taken first-free, the
// chain written into every FAT copy, the data, and the entry in the first free slot of its folder.
#include <cstring>

#include "diskimage/file_systems/fat_volume.h"

namespace diskimage {
namespace {

constexpr int kMaxFatBytes = (4084 + 2) * 3 / 2 + 1024;
constexpr int kEndOfChain = 0xFFF;
constexpr int kFreeSlot = 0xE5;

void SetFatEntry(unsigned char* fat, int cluster, int value) {
  unsigned char* p = fat + cluster * 3 / 2;
  if (cluster % 2 == 0) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>((p[1] & 0xF0) | ((value >> 8) & 0x0F));
  } else {
    p[0] = static_cast<unsigned char>((p[0] & 0x0F) | ((value << 4) & 0xF0));
    p[1] = static_cast<unsigned char>(value >> 4);
  }
}

// One addition's access to the volume and the image it writes.
struct Writer {
  Volume& volume;
  unsigned char* image;
  size_t image_size;
  bool failed = false;

  void Read(int64_t logical, unsigned char* bytes) const {
    ReadLogicalSector(*volume.map, volume.layout.numbering, logical, bytes);
  }
  void Write(int64_t logical, const unsigned char* bytes) {
    if (!WriteLogicalSector(*volume.map, volume.layout.numbering, logical, bytes, image,
                            image_size)) {
      failed = true;
    }
  }
  // Whether the sector is one the image holds as its own bytes, to be written.
  bool Writable(int64_t logical) const {
    return CanWriteLogicalSector(*volume.map, volume.layout.numbering, logical, image_size);
  }
};

// Where an entry goes: a free slot's sector and index, or (a subfolder without one) its chain's
// last cluster, which a new cluster follows.
struct Slot {
  int64_t sector = -1;
  int index = -1;
  int last_cluster = -1;
};

// Finds the first entry of the folder that is free (00h or E5h); false when the folder's chain is
// damaged (leaves the disk, loops, ends without its mark).
bool FindSlot(const Writer& w, const DirectoryEntry* folder, Slot& slot) {
  const VolumeLayout& l = w.volume.layout;
  const int per_sector = l.numbering.sector_size / 32;
  unsigned char sector[1024];
  const auto search = [&](int64_t logical) {
    w.Read(logical, sector);
    for (int e = 0; e < per_sector; ++e) {
      if (sector[32 * e] == 0x00 || sector[32 * e] == kFreeSlot) {
        slot.sector = logical;
        slot.index = e;
        return true;
      }
    }
    return false;
  };
  if (folder == nullptr) {
    for (int s = 0; s < l.root_sectors; ++s) {
      if (search(l.root_start + s)) return true;
    }
    return true;  // the root is full: no slot
  }
  int cluster = folder->first_cluster;
  for (int steps = 0; steps <= l.cluster_count; ++steps) {
    if (cluster < l.first_cluster || cluster >= l.first_cluster + l.cluster_count) return false;
    for (int s = 0; s < l.sectors_per_cluster; ++s) {
      if (search(FirstSectorOfCluster(l, cluster) + s)) return true;
    }
    const int16_t next = w.volume.table[cluster];
    if (IsEndMark(next)) {
      slot.last_cluster = cluster;
      return true;
    }
    if (next < 0) return false;
    cluster = next;
  }
  return false;  // a chain that loops
}

void StoreName(const NewEntry& entry, bool human68k, unsigned char* raw) {
  memcpy(raw, entry.name, 11);
  if (human68k) {
    memcpy(raw + 0x0C, entry.name + 11, 10);
  } else {
    raw[0x0C] = entry.name[11] & (kLowerCaseName | kLowerCaseExtension);
  }
}

void StoreDate(const NewEntry& entry, unsigned char* raw) {
  if (!entry.has_date || entry.date.year < 1980 || entry.date.year > 2107) return;
  const FileDate& d = entry.date;
  StoreLe16(raw + 0x16, (d.hour << 11) | (d.minute << 5) | (d.second / 2));
  StoreLe16(raw + 0x18, ((d.year - 1980) << 9) | (d.month << 5) | d.day);
}

// The table's sectors that hold entries (the mount found them within each copy).
int TableSectors(const Volume& volume) {
  const VolumeLayout& l = volume.layout;
  const int table_bytes = (l.first_cluster + l.cluster_count) * 3 / 2 + 1;
  return (table_bytes + l.numbering.sector_size - 1) / l.numbering.sector_size;
}

bool FatTableWritable(const Volume& volume, size_t image_size) {
  const FatState& state = DriverState<FatState>(volume);
  for (int copy = 0; copy < state.fat_count; ++copy) {
    for (int s = 0; s < TableSectors(volume); ++s) {
      const int64_t logical = state.reserved_sectors + int64_t{copy} * state.sectors_per_fat + s;
      if (!SectorsWritable(volume, &logical, 1, image_size)) return false;
    }
  }
  return true;
}

// The table, re-encoded from the volume's into every copy; values the volume does not keep (bad
// clusters' marks) stay as they were.
void StoreFatTable(const Volume& volume, unsigned char* image, size_t image_size) {
  const VolumeLayout& l = volume.layout;
  const FatState& state = DriverState<FatState>(volume);
  const int sector_size = l.numbering.sector_size;
  const int table_sectors = TableSectors(volume);
  unsigned char fat[kMaxFatBytes];
  for (int s = 0; s < table_sectors; ++s) {
    ReadLogicalSector(*volume.map, l.numbering, state.reserved_sectors + s, fat + s * sector_size);
  }
  for (int c = l.first_cluster; c < l.first_cluster + l.cluster_count; ++c) {
    const int16_t value = volume.table[c];
    if (value == kClusterFree) {
      SetFatEntry(fat, c, 0);
    } else if (value >= 0) {
      SetFatEntry(fat, c, value);
    } else if (IsEndMark(value)) {
      SetFatEntry(fat, c, kEndOfChain);
    }
  }
  for (int copy = 0; copy < state.fat_count; ++copy) {
    for (int s = 0; s < table_sectors; ++s) {
      WriteLogicalSector(*volume.map, l.numbering,
                         state.reserved_sectors + int64_t{copy} * state.sectors_per_fat + s,
                         fat + s * sector_size, image, image_size);
    }
  }
}

}  // namespace

bool RemoveFatEntry(Volume& volume, unsigned char* image, size_t image_size,
                    const DirectoryEntry& entry, AddRefusal& refusal) {
  if (!RemoveChainedFile(volume, image, image_size, entry, kFreeSlot, FatTableWritable,
                         StoreFatTable, refusal)) {
    return false;
  }
  // The pieces of its VFAT long name before it in the same sector go with it (a piece in the
  // sector before stays: a reader passes over a piece whose checksum no entry has).
  const VolumeLayout& l = volume.layout;
  const int64_t logical = entry.location / 64;
  unsigned char sector[1024];
  ReadLogicalSector(*volume.map, l.numbering, logical, sector);
  bool changed = false;
  for (int index = entry.location % 64 - 1;
       index >= 0 && sector[32 * index + 11] == 0x0F && sector[32 * index] != kFreeSlot; --index) {
    sector[32 * index] = kFreeSlot;
    changed = true;
  }
  if (changed) WriteLogicalSector(*volume.map, l.numbering, logical, sector, image, image_size);
  return true;
}

bool AddFatEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry* folder, const NewEntry& entry, DirectoryEntry& added,
                 AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  const FatState& state = DriverState<FatState>(volume);
  Writer w{volume, image, image_size};
  const int sector_size = l.numbering.sector_size;
  const int64_t cluster_bytes = int64_t{l.sectors_per_cluster} * sector_size;
  Slot slot;
  if (!FindSlot(w, folder, slot)) {
    refusal.reason = AddRefusal::kDamaged;
    return false;
  }
  if (slot.sector < 0 && folder == nullptr) {
    refusal.reason = AddRefusal::kDirectoryFull;
    return false;
  }
  const int64_t data_clusters =
      entry.directory ? 1 : (entry.size + cluster_bytes - 1) / cluster_bytes;
  const int64_t needed = data_clusters + (slot.sector < 0 ? 1 : 0);
  int taken[kMaxClusterCount];
  if (!TakeFreeClusters(volume, needed, taken, refusal)) return false;
  const int count = static_cast<int>(needed);
  // Every sector written must be the image's own: checked before anything is written.
  if (!ClustersWritable(volume, taken, count, image_size) ||
      (slot.sector >= 0 && !w.Writable(slot.sector)) || !FatTableWritable(volume, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }

  // The data: a file's clusters, or a folder's one cluster with "." and "..".
  unsigned char sector[1024];
  const int first = data_clusters > 0 ? taken[0] : 0;
  if (entry.directory) {
    unsigned char dots[64] = {};
    static constexpr char kDots[2][12] = {".          ", "..         "};
    for (int d = 0; d < 2; ++d) {
      unsigned char* raw = dots + 32 * d;
      memcpy(raw, kDots[d], 11);
      raw[11] = 0x10;
      StoreDate(entry, raw);
      StoreLe16(raw + 0x1A, d == 0 ? first : folder == nullptr ? 0 : folder->first_cluster);
    }
    WriteClusters(volume, image, image_size, taken, 1, dots, sizeof dots);
  } else {
    WriteClusters(volume, image, image_size, taken, static_cast<int>(data_clusters), entry.data,
                  entry.size);
  }
  LinkClusters(volume, taken, static_cast<int>(data_clusters), 0, true);
  // A subfolder without a free entry grows by a cleared cluster.
  if (slot.sector < 0) {
    const int grown = taken[count - 1];
    WriteClusters(volume, image, image_size, &grown, 1, nullptr, 0);
    volume.table[slot.last_cluster] = static_cast<int16_t>(grown);
    volume.table[grown] = kClusterEnd;
    slot.sector = FirstSectorOfCluster(l, grown);
    slot.index = 0;
  }
  StoreFatTable(volume, image, image_size);
  // The entry.
  w.Read(slot.sector, sector);
  unsigned char* raw = sector + 32 * slot.index;
  memset(raw, 0, 32);
  StoreName(entry, state.human68k, raw);
  raw[11] = static_cast<unsigned char>(entry.directory ? 0x10 : entry.attributes);
  StoreDate(entry, raw);
  StoreLe16(raw + 0x1A, first);
  StoreLe32(raw + 0x1C, entry.directory ? 0 : static_cast<uint32_t>(entry.size));
  w.Write(slot.sector, sector);

  DirectoryCursor cursor = {};
  cursor.chained = folder != nullptr;
  ParseFatEntry(volume, raw, folder == nullptr ? 0 : 2, added, cursor);
  added.location = static_cast<int32_t>(slot.sector * 64 + slot.index);
  return !w.failed;
}

}  // namespace diskimage
