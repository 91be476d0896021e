// N88-BASIC (NEC PC-8801 and PC-9801 disk BASIC): one system track holding the directory of
// 16-byte entries and three copies of a one-byte-per-cluster allocation table.
#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {
namespace {

constexpr int kFreeCluster = 0xFF;
constexpr int kReservedCluster = 0xFE;
constexpr int kEndMarkBase = 0xC0;

struct N88Variant {
  const char* name;
  int sectors_per_track;
  int system_track;       // track index of the system track
  int directory_sectors;  // sectors 1.. of the system track
  int first_fat_sector;   // three copies from here
  int sectors_per_cluster;
  int cluster_count;
  FormatVariant format;
  bool boot_track_reserved;  // a new disk's cluster 0 is reserved (2HD: FM sectors of 128 bytes)
};

// 2D: a cluster is half a track side; 2DD and 2HD: a whole track side.
constexpr N88Variant kVariants[] = {
    {"2D", 16, 37, 12, 14, 8, 160, {"2d", {40, 2, 16, 1, false}}, false},
    {"2DD", 16, 80, 12, 14, 16, 160, {"2dd", {80, 2, 16, 1, false}}, false},
    {"2HD", 26, 70, 22, 24, 26, 154, {"2hd", {77, 2, 26, 1, true}}, true},
};

// A formatted disk's filler, as a real empty 2DD disk of N88-BASIC(86) holds it.
constexpr int kFormatFiller = 0x40;

bool ReadSystemSector(const DiskMap& map, int track, int r, unsigned char* dest) {
  const SectorHeader* sector = map.Find(track, r);
  return sector != nullptr && sector->data_size == 256 && map.Read(*sector, dest, 256) == 256;
}

bool MountVariant(const DiskMap& map, const N88Variant& v, VolumeLayout& layout, int16_t* table) {
  // The geometry: the system track and a data track of 256-byte sectors, as many as the variant.
  if (map.SectorCount(v.system_track) != v.sectors_per_track ||
      map.SectorCount(v.system_track - 1) != v.sectors_per_track) {
    return false;
  }
  unsigned char copies[3][256];
  for (int i = 0; i < 3; ++i) {
    if (!ReadSystemSector(map, v.system_track, v.first_fat_sector + i, copies[i])) return false;
  }
  if (memcmp(copies[0], copies[1], 256) != 0 || memcmp(copies[0], copies[2], 256) != 0) {
    return false;
  }
  const unsigned char* fat = copies[0];
  // The system track's own clusters are reserved.
  const int system_cluster = v.system_track * v.sectors_per_track / v.sectors_per_cluster;
  if (fat[system_cluster] != kReservedCluster) return false;
  const int most_used = v.sectors_per_cluster;
  int irregular = 0;
  for (int c = 0; c < v.cluster_count; ++c) {
    const int value = fat[c];
    if (value == kFreeCluster) {
      table[c] = kClusterFree;
    } else if (value == kReservedCluster) {
      table[c] = kClusterReserved;
    } else if (value > kEndMarkBase && value <= kEndMarkBase + most_used) {
      table[c] = EndMark(value - kEndMarkBase);
    } else if (value < kEndMarkBase) {
      table[c] = static_cast<int16_t>(value);  // past the last cluster: found when followed
      if (value >= v.cluster_count) ++irregular;
    } else {
      table[c] = kClusterInvalid;
      ++irregular;
    }
  }
  if (!FewIrregularEntries(irregular, v.cluster_count)) return false;
  layout.numbering = {256, v.sectors_per_track, 2, 1, 1};
  layout.first_cluster = 0;
  layout.cluster_count = v.cluster_count;
  layout.sectors_per_cluster = v.sectors_per_cluster;
  layout.cluster_start = 0;
  layout.root_start = int64_t{v.system_track} * v.sectors_per_track;
  layout.root_sectors = v.directory_sectors;
  layout.entry_size = 16;
  layout.variant = v.name;
  return true;
}

// The first variant that mounts; the driver's state is which.
bool Mount(Volume& volume) { return MountFirstVariant(volume, kVariants, MountVariant); }

void Describe(const Volume& volume, char* text, size_t size) {
  const VolumeLayout& l = volume.layout;
  const int track = static_cast<int>(l.root_start / l.numbering.sectors_per_track);
  snprintf(text, size,
           "three equal FAT copies on cylinder %d head %d, system track reserved; directory "
           "entries parse",
           track / 2, track % 2);
}

EntryParse ParseEntry(const Volume&, const unsigned char* raw, int64_t, DirectoryEntry& entry,
                      DirectoryCursor&) {
  if (raw[0] == 0xFF) return EntryParse::kEnd;
  if (raw[0] == 0x00) return EntryParse::kSkip;
  const int attributes = raw[9];
  // 80h tokenised BASIC, 01h machine language, 00h ASCII; 10h read-only, 40h read after write.
  if ((attributes & ~0xD1) != 0 || (attributes & 0x81) == 0x81) return EntryParse::kInvalid;
  if (raw[10] >= 160) return EntryParse::kInvalid;
  FormName(raw, 6, raw + 6, 3, false, entry);
  entry.attributes = attributes;
  entry.ascii = (attributes & 0x81) == 0;
  entry.first_cluster = raw[10];
  return EntryParse::kEntry;
}

// "bas" tokenised BASIC, "bin" machine language, "asc" ASCII; " r" read-only, "v" read after
// write.
void EntryType(const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  snprintf(type, 8, "%s%s%s",
           a & 0x80   ? "bas"
           : a & 0x01 ? "bin"
                      : "asc",
           a & 0x10 ? " r" : "", a & 0x40 ? "v" : "");
}

// The logical sector of the first of the table's three copies.
int64_t FirstTableSector(const Volume& volume) {
  return volume.layout.root_start + DriverState<const N88Variant*>(volume)->first_fat_sector - 1;
}

bool TablesWritable(const Volume& volume, size_t image_size) {
  const int64_t table = FirstTableSector(volume);
  const int64_t sectors[] = {table, table + 1, table + 2};
  return SectorsWritable(volume, sectors, 3, image_size);
}

// The three tables, from the volume's; reserved and unreadable values stay as they were.
void StoreTables(const Volume& volume, unsigned char* image, size_t image_size) {
  const VolumeLayout& l = volume.layout;
  const N88Variant& v = *DriverState<const N88Variant*>(volume);
  for (int i = 0; i < 3; ++i) {
    const int64_t logical = FirstTableSector(volume) + i;
    unsigned char fat[256];
    ReadLogicalSector(*volume.map, l.numbering, logical, fat);
    for (int c = 0; c < v.cluster_count; ++c) {
      const int16_t value = volume.table[c];
      if (value == kClusterFree) {
        fat[c] = kFreeCluster;
      } else if (value >= 0) {
        fat[c] = static_cast<unsigned char>(value);
      } else if (IsEndMark(value)) {
        const int used = UsedSectors(value);
        fat[c] =
            static_cast<unsigned char>(kEndMarkBase + (used > 0 ? used : v.sectors_per_cluster));
      }
    }
    WriteLogicalSector(*volume.map, l.numbering, logical, fat, image, image_size);
  }
}

// A file's entry deleted (00h), its chain freed in the three tables.
bool RemoveEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry& entry, AddRefusal& refusal) {
  return RemoveChainedFile(volume, image, image_size, entry, 0x00, TablesWritable, StoreTables,
                           refusal);
}

// A file (no folders: the system has none) in the first deleted or never-used entry, its clusters
// first-free, its chain in all three tables; no size is stored, so its last cluster's mark says
// the sectors its bytes use (a file of no bytes takes one sector).
bool AddEntry(Volume& volume, unsigned char* image, size_t image_size, const DirectoryEntry*,
              const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  const N88Variant& v = *DriverState<const N88Variant*>(volume);
  if (entry.directory) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  const DiskMap& map = *volume.map;
  unsigned char sector[256];
  int64_t slot_sector = -1;
  int slot = -1;
  if (!FindFreeEntry(volume, l.root_start, v.directory_sectors, 16, slot_sector, slot)) {
    refusal.reason = AddRefusal::kDirectoryFull;
    return false;
  }
  const int64_t cluster_bytes = int64_t{l.sectors_per_cluster} * 256;
  const int64_t count = entry.size > 0 ? (entry.size + cluster_bytes - 1) / cluster_bytes : 1;
  int taken[kMaxClusterCount];
  if (!TakeFreeClusters(volume, count, taken, refusal)) return false;
  if (!ClustersWritable(volume, taken, static_cast<int>(count), image_size) ||
      !SectorsWritable(volume, &slot_sector, 1, image_size) ||
      !TablesWritable(volume, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  WriteClusters(volume, image, image_size, taken, static_cast<int>(count), entry.data, entry.size);
  LinkClusters(volume, taken, static_cast<int>(count), entry.size, false);
  StoreTables(volume, image, image_size);
  ReadLogicalSector(map, l.numbering, slot_sector, sector);
  unsigned char* raw = sector + 16 * slot;
  memcpy(raw, entry.name, 9);
  raw[9] = static_cast<unsigned char>(entry.attributes);
  raw[10] = static_cast<unsigned char>(taken[0]);
  memset(raw + 11, 0xFF, 5);
  WriteLogicalSector(map, l.numbering, slot_sector, sector, image, image_size);
  DirectoryCursor cursor;
  ParseEntry(volume, raw, 0, added, cursor);
  added.location = static_cast<int32_t>(slot_sector * 64 + slot);
  return true;
}

const FormatVariant* Variant(int index) { return NthFormat(kVariants, index); }

// The filler everywhere; on the system track a directory of never-used entries (FFh), the ID
// sector (00h FFh, then spaces) and three tables with every cluster free but the system's.
void Format(int index, unsigned char* disk) {
  const N88Variant& v = kVariants[index];
  const SectorGrid& grid = v.format.grid;
  memset(disk, kFormatFiller, static_cast<size_t>(grid.DiskBytes()));
  unsigned char* system = disk + grid.TrackBytes(0) + (v.system_track - 1) * grid.TrackBytes(1);
  memset(system, 0xFF, static_cast<size_t>(v.directory_sectors) * 256);
  unsigned char* id = system + (v.first_fat_sector - 2) * 256;
  id[0] = 0x00;
  id[1] = 0xFF;
  memset(id + 2, 0x20, 254);
  const int first_system_cluster = v.system_track * v.sectors_per_track / v.sectors_per_cluster;
  const int last_system_cluster =
      ((v.system_track + 1) * v.sectors_per_track - 1) / v.sectors_per_cluster;
  for (int copy = 0; copy < 3; ++copy) {
    unsigned char* fat = system + (v.first_fat_sector - 1 + copy) * 256;
    memset(fat, kFreeCluster, 256);
    for (int c = first_system_cluster; c <= last_system_cluster; ++c) fat[c] = kReservedCluster;
    if (v.boot_track_reserved) fat[0] = kReservedCluster;
  }
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kN88Names = {
    6,                      // name_bytes
    3,                      // extension_bytes
    ' ',                    // pad
    NameRule::kDoubleByte,  // flags
    "\"*:?",                // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kN88Types[] = {
    {"bin", 0x01, false}, {"asc", 0x00, true}, {"bas", 0x80, false}, {nullptr, 0, false}};

// The IPL copied into track 0's first sector, and the cluster that holds it reserved in the three
// tables, as the system reserves its boot track, so that no file is written over it.
void TakeBoot(int index, const unsigned char* sector, unsigned char* disk) {
  const N88Variant& v = kVariants[index];
  const SectorGrid& grid = v.format.grid;
  memcpy(disk, sector, static_cast<size_t>(grid.TrackBytes(0) / grid.sectors));
  unsigned char* system = disk + grid.TrackBytes(0) + (v.system_track - 1) * grid.TrackBytes(1);
  for (int copy = 0; copy < 3; ++copy)
    system[(v.first_fat_sector - 1 + copy) * 256] = kReservedCluster;
}

}  // namespace

extern const FileSystemDriver kN88BasicDriver = {
    FileSystemKind::kN88Basic,               // kind
    "n88-basic",                             // name
    FileSystemDriver::Evidence::kDirectory,  // three equal table copies: a few bytes
    FileLength::kChain,                      // file_length
    kN88Names,                               // names
    kN88Types,                               // file_types
    false,                                   // records_addresses
    Mount,                                   // mount
    Describe,                                // describe
    ParseEntry,                              // parse_entry
    nullptr,                                 // next_entry
    nullptr,                                 // locate
    nullptr,                                 // label
    EntryType,                               // entry_type
    Variant,                                 // format_variant
    Format,                                  // format
    TakeBoot,                                // take_boot
    AddEntry,                                // add_entry
    RemoveEntry,                             // remove_entry
};

}  // namespace diskimage
