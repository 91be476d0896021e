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
constexpr int kVariantCount = static_cast<int>(sizeof kVariants / sizeof kVariants[0]);

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

bool Mount(Volume& volume) {
  for (const HuVariant& v : kVariants) {
    if (MountVariant(*volume.map, v, volume.layout, volume.table)) return true;
  }
  return false;
}

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

const FormatVariant* Variant(int index) {
  return index >= 0 && index < kVariantCount ? &kVariants[index].format : nullptr;
}

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

}  // namespace

extern const FileSystemDriver kHuBasicDriver = {
    FileSystemKind::kHuBasic,     // kind
    "hu-basic",                   // name
    true,                         // short_signature: two table bytes: a few
    FileLength::kRecordedOrText,  // file_length
    Mount,                        // mount
    Describe,                     // describe
    ParseEntry,                   // parse_entry
    nullptr,                      // next_entry
    nullptr,                      // locate
    nullptr,                      // label
    EntryType,                    // entry_type
    Variant,                      // format_variant
    Format,                       // format
    nullptr,                      // add_entry
};

}  // namespace diskimage
