// Hu-BASIC (Sharp X1, X1turbo): a one-byte allocation table (two 7-bit halves per cluster on
// 2HD), 32-byte directory entries with BCD dates, and subdirectories of one cluster.
#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {
namespace {

constexpr int kSectorsPerCluster = 16;
constexpr int kModeDirectory = 0x80;
constexpr int kModeAscii = 0x0C;
constexpr int kModeFileTypes = 0x0F;

struct HuVariant {
  const char* name;
  int sectors_per_track;
  int fat_sector;  // logical
  int fat_sectors;
  int root_start;  // logical
  int cluster_count;
  FormatVariant format;
};

constexpr HuVariant kVariants[] = {
    {"2D", 16, 14, 1, 16, 80, {"2d", {40, 2, 16, 1, false}}},
    {"2HD", 26, 28, 2, 32, 250, {"2hd", {77, 2, 26, 1, false}}},
};

// What a new disk holds where the format writes nothing else, as a real formatted 2D disk shows.
constexpr int kFormatFiller = 0xE5;
constexpr int kLastUsedAll = 0x8F;  // the end mark of a cluster whose 16 sectors are all used

int FromBcd(int byte) {
  return (byte >> 4) <= 9 && (byte & 0x0F) <= 9 ? (byte >> 4) * 10 + (byte & 0x0F) : -1;
}

bool MountVariant(const DiskMap& map, const HuVariant& v, VolumeLayout& layout, int16_t* table) {
  layout.numbering = {256, v.sectors_per_track, 2, 1, 1};
  // Data tracks of the variant's shape: the tracks holding the table and the directory.
  if (map.SectorCount(0) != v.sectors_per_track && map.SectorCount(1) != v.sectors_per_track) {
    return false;
  }
  unsigned char fat[2][256];
  for (int s = 0; s < v.fat_sectors; ++s) {
    if (ReadLogicalSector(map, layout.numbering, v.fat_sector + s, fat[s]) != SectorRead::kFine) {
      return false;
    }
  }
  // Clusters 0 and 1 (and on 2HD 2) are the system's: a chain 0 -> 1 ending there.
  if (fat[0][0] != 0x01 || fat[0][1] != 0x8F) return false;
  if (v.fat_sectors == 2 && fat[0][2] != 0x8F) return false;
  int irregular = 0;
  for (int c = 0; c < v.cluster_count; ++c) {
    int low;
    int high = 0;
    if (v.fat_sectors == 1) {
      low = fat[0][c];
    } else {
      low = fat[c / 128][c % 128];
      high = fat[c / 128][128 + c % 128];
    }
    if (low >= 0x80 && low <= 0x8F && high == 0) {
      table[c] = EndMark((low & 0x0F) + 1);
    } else if (low >= 0x80 || high >= 0x80) {
      table[c] = kClusterInvalid;
      ++irregular;
    } else if (low == 0 && high == 0) {
      table[c] = kClusterFree;
    } else {
      const int next = (high << 7) | low;
      if (next >= v.cluster_count) ++irregular;
      table[c] = static_cast<int16_t>(next);
    }
  }
  if (!FewIrregularEntries(irregular, v.cluster_count)) return false;
  layout.first_cluster = 0;
  layout.cluster_count = v.cluster_count;
  layout.sectors_per_cluster = kSectorsPerCluster;
  layout.cluster_start = 0;
  layout.root_start = v.root_start;
  layout.root_sectors = kSectorsPerCluster;
  layout.entry_size = 32;
  layout.variant = v.name;
  // The system's clusters are not the files'.
  for (int c = 0; c * kSectorsPerCluster < v.root_start + kSectorsPerCluster; ++c) {
    table[c] = kClusterReserved;
  }
  return true;
}

// The first variant that mounts; the driver's state is which.
bool Mount(Volume& volume) { return MountFirstVariant(volume, kVariants, MountVariant); }

void Describe(const Volume& volume, char* text, size_t size) {
  snprintf(text, size,
           "FAT in logical sector %d begins 01 8F; directory entries parse, chains stay on the "
           "disk",
           volume.layout.numbering.sectors_per_track == 16 ? 14 : 28);
}

EntryParse ParseEntry(const Volume&, const unsigned char* raw, int64_t, DirectoryEntry& entry,
                      DirectoryCursor&) {
  const int mode = raw[0];
  if (mode == 0xFF) return EntryParse::kEnd;
  if (mode == 0x00) return EntryParse::kSkip;
  if (!(mode & kModeDirectory) && !(mode & kModeFileTypes)) return EntryParse::kInvalid;
  FormName(raw + 1, 13, raw + 14, 3, false, entry);
  entry.attributes = mode;
  entry.directory = (mode & kModeDirectory) != 0;
  entry.ascii = !entry.directory && (mode & kModeAscii) != 0;
  entry.size = entry.directory ? -1 : ReadLe16(raw + 0x12);
  entry.first_cluster = (raw[0x1F] << 7) | (raw[0x1E] & 0x7F);
  const int year = FromBcd(raw[0x18]);
  const int month = raw[0x19] >> 4;
  const int day = FromBcd(raw[0x1A]);
  const int hour = FromBcd(raw[0x1B]);
  const int minute = FromBcd(raw[0x1C]);
  if (year >= 0 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 && hour <= 23 &&
      minute >= 0 && minute <= 59) {
    entry.has_date = true;
    entry.date = {year < 80 ? 2000 + year : 1900 + year, month, day, hour, minute, 0};
  }
  return EntryParse::kEntry;
}

// "dir", "asc", "bas" or "bin"; " r" read-only, "h" hidden.
void EntryType(const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  snprintf(type, 8, "%s%s%s",
           e.directory ? "dir"
           : e.ascii   ? "asc"
           : a & 0x02  ? "bas"
                       : "bin",
           a & 0x40 ? " r" : "", a & 0x10 ? "h" : "");
}

int ToBcd(int value) { return (value / 10) << 4 | value % 10; }

// 0 for Sunday.
int Weekday(int year, int month, int day) {
  static constexpr int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

bool TableWritable(const Volume& volume, size_t image_size) {
  const HuVariant& v = *DriverState<const HuVariant*>(volume);
  const int64_t sectors[] = {v.fat_sector, v.fat_sector + 1};
  return SectorsWritable(volume, sectors, v.fat_sectors, image_size);
}

// The table, from the volume's; the system's clusters and unreadable values stay as they were.
void StoreTable(const Volume& volume, unsigned char* image, size_t image_size) {
  const VolumeLayout& l = volume.layout;
  const HuVariant& v = *DriverState<const HuVariant*>(volume);
  unsigned char fat[2][256];
  for (int s = 0; s < v.fat_sectors; ++s) {
    ReadLogicalSector(*volume.map, l.numbering, v.fat_sector + s, fat[s]);
  }
  for (int c = 0; c < v.cluster_count; ++c) {
    const int16_t value = volume.table[c];
    int low;
    int high = 0;
    if (value == kClusterFree) {
      low = 0;
    } else if (value >= 0) {
      low = value & 0x7F;
      high = value >> 7;
    } else if (IsEndMark(value)) {
      const int used = UsedSectors(value);
      low = 0x80 + (used > 0 ? used : kSectorsPerCluster) - 1;
    } else {
      continue;
    }
    fat[c / 128][c % 128] = static_cast<unsigned char>(low);
    if (v.fat_sectors == 2) fat[c / 128][128 + c % 128] = static_cast<unsigned char>(high);
  }
  for (int s = 0; s < v.fat_sectors; ++s) {
    WriteLogicalSector(*volume.map, l.numbering, v.fat_sector + s, fat[s], image, image_size);
  }
}

// A file's entry deleted (mode 00h), its chain freed in the table.
bool RemoveEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry& entry, AddRefusal& refusal) {
  return RemoveChainedFile(volume, image, image_size, entry, 0x00, TableWritable, StoreTable,
                           refusal);
}

// A file or a folder (one cluster of never-used entries) in the first deleted or never-used entry
// of its folder, its clusters first-free, its chain in the table; a file of no bytes takes one
// sector that begins with 1Ah, where a recorded size of 0 makes the system look for the end.
bool AddEntry(Volume& volume, unsigned char* image, size_t image_size, const DirectoryEntry* folder,
              const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  const DiskMap& map = *volume.map;
  if (!entry.directory && entry.size > 0xFFFF) {
    refusal.reason = AddRefusal::kTooLarge;
    return false;
  }
  if (folder != nullptr &&
      (folder->first_cluster < 0 || folder->first_cluster >= l.cluster_count)) {
    refusal.reason = AddRefusal::kDamaged;
    return false;
  }
  const int64_t directory_start =
      folder == nullptr ? l.root_start : FirstSectorOfCluster(l, folder->first_cluster);
  unsigned char sector[256];
  int64_t slot_sector = -1;
  int slot = -1;
  if (!FindFreeEntry(volume, directory_start, kSectorsPerCluster, 32, slot_sector, slot)) {
    refusal.reason = AddRefusal::kDirectoryFull;
    return false;
  }
  const int64_t cluster_bytes = int64_t{kSectorsPerCluster} * 256;
  const int64_t count =
      entry.directory || entry.size == 0 ? 1 : (entry.size + cluster_bytes - 1) / cluster_bytes;
  int taken[kMaxClusterCount];
  if (!TakeFreeClusters(volume, count, taken, refusal)) return false;
  if (!ClustersWritable(volume, taken, static_cast<int>(count), image_size) ||
      !SectorsWritable(volume, &slot_sector, 1, image_size) || !TableWritable(volume, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  if (entry.directory) {
    unsigned char never_used[kSectorsPerCluster * 256];
    memset(never_used, 0xFF, sizeof never_used);
    WriteClusters(volume, image, image_size, taken, 1, never_used, sizeof never_used);
    LinkClusters(volume, taken, 1, 0, true);
  } else if (entry.size == 0) {
    static constexpr unsigned char kEndOfText = 0x1A;
    WriteClusters(volume, image, image_size, taken, 1, &kEndOfText, 1);
    LinkClusters(volume, taken, 1, 1, false);
  } else {
    WriteClusters(volume, image, image_size, taken, static_cast<int>(count), entry.data,
                  entry.size);
    LinkClusters(volume, taken, static_cast<int>(count), entry.size, false);
  }
  StoreTable(volume, image, image_size);
  ReadLogicalSector(map, l.numbering, slot_sector, sector);
  unsigned char* raw = sector + 32 * slot;
  memset(raw, 0, 32);
  raw[0] = static_cast<unsigned char>(entry.directory ? kModeDirectory : entry.attributes);
  memcpy(raw + 1, entry.name, 16);
  raw[0x11] = 0x20;  // no password
  StoreLe16(raw + 0x12, entry.directory ? 0 : static_cast<int>(entry.size));
  StoreLe16(raw + 0x14, entry.load_address);
  StoreLe16(raw + 0x16, entry.exec_address);
  if (entry.has_date && entry.date.year >= 1980 && entry.date.year <= 2079) {
    const FileDate& d = entry.date;
    raw[0x18] = static_cast<unsigned char>(ToBcd(d.year % 100));
    raw[0x19] = static_cast<unsigned char>(d.month << 4 | Weekday(d.year, d.month, d.day));
    raw[0x1A] = static_cast<unsigned char>(ToBcd(d.day));
    raw[0x1B] = static_cast<unsigned char>(ToBcd(d.hour));
    raw[0x1C] = static_cast<unsigned char>(ToBcd(d.minute));
  }
  raw[0x1E] = static_cast<unsigned char>(taken[0] & 0x7F);
  raw[0x1F] = static_cast<unsigned char>(taken[0] >> 7);
  WriteLogicalSector(map, l.numbering, slot_sector, sector, image, image_size);
  DirectoryCursor cursor;
  ParseEntry(volume, raw, 0, added, cursor);
  added.location = static_cast<int32_t>(slot_sector * 64 + slot);
  return true;
}

const FormatVariant* Variant(int index) { return NthFormat(kVariants, index); }

// The filler everywhere; the table with the system's clusters taken (0 linked to 1, the others
// ends), those past the disk marked as ends and every other free; a never-used directory (FFh).
void Format(int index, unsigned char* disk) {
  const HuVariant& v = kVariants[index];
  memset(disk, kFormatFiller, static_cast<size_t>(v.format.grid.DiskBytes()));
  unsigned char* fat = disk + v.fat_sector * 256;
  memset(fat, 0, static_cast<size_t>(v.fat_sectors) * 256);
  for (int c = v.cluster_count; c < v.fat_sectors * 128; ++c)
    fat[c / 128 * 256 + c % 128] = kLastUsedAll;
  fat[0] = 0x01;
  for (int c = 1; c * kSectorsPerCluster < v.root_start + kSectorsPerCluster; ++c) {
    fat[c] = kLastUsedAll;
  }
  memset(disk + v.root_start * 256, 0xFF, kSectorsPerCluster * 256);
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kHuBasicNames = {
    13,                  // name_bytes
    3,                   // extension_bytes
    ' ',                 // pad
    NameRule::kFolders,  // flags
    "\"*:?",             // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kHuBasicTypes[] = {
    {"bin", 0x01, false}, {"asc", 0x04, true}, {"bas", 0x02, false}, {nullptr, 0, false}};

}  // namespace

extern const FileSystemDriver kHuBasicDriver = {
    FileSystemKind::kHuBasic,                // kind
    "hu-basic",                              // name
    FileSystemDriver::Evidence::kDirectory,  // two table bytes: a few
    FileLength::kRecordedOrText,             // file_length
    kHuBasicNames,                           // names
    kHuBasicTypes,                           // file_types
    true,                                    // records_addresses
    Mount,                                   // mount
    Describe,                                // describe
    ParseEntry,                              // parse_entry
    nullptr,                                 // next_entry
    nullptr,                                 // locate
    nullptr,                                 // label
    EntryType,                               // entry_type
    Variant,                                 // format_variant
    Format,                                  // format
    nullptr,                                 // take_boot
    AddEntry,                                // add_entry
    RemoveEntry,                             // remove_entry
};

}  // namespace diskimage
