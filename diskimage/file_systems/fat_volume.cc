// What FAT12's and Human68k's drivers share: the parameter block (or, without one, the layout
// the FAT's media byte names), the twelve-bit allocation table, 32-byte directory entries and the
// volume label.
#include "diskimage/file_systems/fat_volume.h"

#include <cstdio>
#include <cstring>

#include "diskimage/names.h"

namespace diskimage {
namespace {

constexpr int kMaxFat12Clusters = 4084;
constexpr int kAttributeReadOnly = 0x01;
constexpr int kAttributeHidden = 0x02;
constexpr int kAttributeSystem = 0x04;
constexpr int kAttributeLabel = 0x08;
constexpr int kAttributeDirectory = 0x10;
constexpr int kAttributeArchive = 0x20;
constexpr int kAttributeLongName = 0x0F;

bool IsPowerOfTwo(int value) { return value > 0 && (value & (value - 1)) == 0; }

}  // namespace

bool ConsistentFatBlock(const FatParameterBlock& p) {
  return p.bytes_per_sector >= 128 && p.bytes_per_sector <= 1024 &&
         IsPowerOfTwo(p.bytes_per_sector) && IsPowerOfTwo(p.sectors_per_cluster) &&
         p.sectors_per_cluster <= 128 && p.reserved_sectors >= 1 && p.fat_count >= 1 &&
         p.fat_count <= 2 && p.root_entries > 0 &&
         p.root_entries % (p.bytes_per_sector / 32) == 0 && p.total_sectors > 0 &&
         p.media >= 0xF0 && p.sectors_per_fat >= 1 && p.sectors_per_track >= 1 &&
         p.sectors_per_track <= 63 && (p.heads == 1 || p.heads == 2);
}

bool ReadFatParameterBlock(const unsigned char* boot, FatParameterBlock& p) {
  p.bytes_per_sector = ReadLe16(boot + 0x0B);
  p.sectors_per_cluster = boot[0x0D];
  p.reserved_sectors = ReadLe16(boot + 0x0E);
  p.fat_count = boot[0x10];
  p.root_entries = ReadLe16(boot + 0x11);
  p.total_sectors = ReadLe16(boot + 0x13);
  p.media = boot[0x15];
  p.sectors_per_fat = ReadLe16(boot + 0x16);
  p.sectors_per_track = ReadLe16(boot + 0x18);
  p.heads = ReadLe16(boot + 0x1A);
  return ConsistentFatBlock(p);
}

namespace {

int FatEntry(const unsigned char* fat, int cluster) {
  const unsigned char* p = fat + cluster * 3 / 2;
  const int pair = p[0] | (p[1] << 8);
  return cluster % 2 == 0 ? pair & 0xFFF : pair >> 4;
}

// The VFAT checksum of an 11-byte short name.
int ShortNameChecksum(const unsigned char* name) {
  unsigned sum = 0;
  for (int i = 0; i < 11; ++i) sum = ((((sum & 1) << 7) | (sum >> 1)) + name[i]) & 0xFF;
  return static_cast<int>(sum & 0xFF);
}

// Lower-cases the ASCII capitals of `bytes`, leaving the second bytes of double-byte characters.
void LowerCase(unsigned char* bytes, int length) {
  for (int i = 0; i < length; ++i) {
    if (IsShiftJisLeadByte(bytes[i])) {
      ++i;
    } else if (bytes[i] >= 'A' && bytes[i] <= 'Z') {
      bytes[i] = static_cast<unsigned char>(bytes[i] + ('a' - 'A'));
    }
  }
}

// Takes a long-name entry into the cursor's pending name.
void GatherLongName(const unsigned char* raw, DirectoryCursor& cursor) {
  static constexpr int kCharOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  const int sequence = raw[0] & 0x1F;
  if (raw[0] & 0x40) {
    cursor.long_name_checksum = raw[13];
    cursor.long_name_next = sequence;
    for (uint16_t& c : cursor.long_name) c = 0;
  }
  if (cursor.long_name_checksum != raw[13] || sequence != cursor.long_name_next || sequence == 0 ||
      sequence * 13 > DirectoryEntry::kMaxLongName) {
    cursor.long_name_checksum = -1;
    return;
  }
  for (int i = 0; i < 13; ++i) {
    cursor.long_name[(sequence - 1) * 13 + i] =
        static_cast<uint16_t>(ReadLe16(raw + kCharOffsets[i]));
  }
  --cursor.long_name_next;
}

// True when the 32-byte entries of the root directory's first sector are entries of these file
// systems: no attribute bits 6 and 7, no control bytes in a name, up to the end mark.
bool RootParses(const DiskMap& map, const VolumeLayout& layout) {
  unsigned char sector[1024];
  ReadLogicalSector(map, layout.numbering, layout.root_start, sector);
  for (int e = 0; e < layout.numbering.sector_size / 32; ++e) {
    const unsigned char* raw = sector + 32 * e;
    if (raw[0] == 0x00) break;
    if (raw[0] == 0xE5 || raw[11] == kAttributeLongName) continue;
    if (raw[11] & 0xC0) return false;
    for (int i = 0; i < 11; ++i) {
      if (raw[i] < 0x20 && !(i == 0 && raw[i] == 0x05)) return false;
    }
  }
  return true;
}

}  // namespace

bool MountFatVolume(Volume& volume, const FatParameterBlock& p, bool from_block, int boot_size,
                    bool human68k) {
  const DiskMap& map = *volume.map;
  VolumeLayout& layout = volume.layout;
  int16_t* table = volume.table;
  // The parameter block must agree with the disk: its sectors are of the stated size, and the
  // disk holds at least half of the sectors it counts.
  if ((from_block && boot_size != p.bytes_per_sector) ||
      p.total_sectors > 2 * int64_t{map.Summarize().total_sectors}) {
    return false;
  }
  const int root_sectors = p.root_entries * 32 / p.bytes_per_sector;
  const int64_t data_start =
      p.reserved_sectors + int64_t{p.fat_count} * p.sectors_per_fat + root_sectors;
  if (data_start >= p.total_sectors) return false;
  const int64_t clusters = (p.total_sectors - data_start) / p.sectors_per_cluster;
  if (clusters < 1 || clusters > kMaxFat12Clusters ||
      (clusters + 2) * 3 / 2 + 1 > int64_t{p.sectors_per_fat} * p.bytes_per_sector) {
    return false;
  }
  bool odd_tracks = false;
  for (int track = 1; track < SectorSource::kTrackCount; track += 2) {
    odd_tracks = odd_tracks || map.TrackPresent(track);
  }
  layout.numbering = {p.bytes_per_sector, p.sectors_per_track, p.heads, 1,
                      p.heads == 1 && !odd_tracks ? 2 : 1};
  // The first FAT must be on the disk and begin with the media descriptor.
  unsigned char fat[(kMaxFat12Clusters + 2) * 3 / 2 + 1024];
  const int fat_bytes = static_cast<int>((clusters + 2) * 3 / 2 + 1);
  for (int s = 0; s * p.bytes_per_sector < fat_bytes; ++s) {
    const SectorRead read = ReadLogicalSector(map, layout.numbering, p.reserved_sectors + s,
                                              fat + s * p.bytes_per_sector);
    if (read == SectorRead::kMissing) return false;
  }
  if (fat[0] != p.media || fat[1] != 0xFF || fat[2] != 0xFF) return false;
  // The root directory's last sector must be on the disk too.
  unsigned char probe[1024];
  if (ReadLogicalSector(map, layout.numbering, data_start - 1, probe) == SectorRead::kMissing) {
    return false;
  }
  layout.first_cluster = 2;
  layout.cluster_count = static_cast<int>(clusters);
  layout.sectors_per_cluster = p.sectors_per_cluster;
  layout.cluster_start = data_start;
  layout.root_start = p.reserved_sectors + int64_t{p.fat_count} * p.sectors_per_fat;
  layout.root_sectors = root_sectors;
  layout.entry_size = 32;
  layout.variant = "";
  BeginDriverState<FatState>(volume) =
      FatState{!from_block, human68k, p.reserved_sectors, p.fat_count, p.sectors_per_fat};
  for (int c = 2; c < clusters + 2; ++c) {
    const int value = FatEntry(fat, c);
    if (value == 0) {
      table[c] = kClusterFree;
    } else if (value >= 0xFF8) {
      table[c] = kClusterEnd;
    } else if (value >= 0xFF0 || value == 1) {
      table[c] = kClusterReserved;  // bad or reserved
    } else {
      table[c] = static_cast<int16_t>(value);  // out of range values are caught when followed
    }
  }
  return true;
}

bool MountFatByMediaByte(Volume& volume, const FatParameterBlock* layouts, size_t count,
                         bool human68k) {
  const DiskMap& map = *volume.map;
  const SectorHeader* fat_sector = map.Find(0, 2);
  unsigned char first[3] = {};
  if (fat_sector == nullptr || map.Read(*fat_sector, first, 3) != 3 || first[1] != 0xFF ||
      first[2] != 0xFF) {
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    const FatParameterBlock& p = layouts[i];
    const int second_track = p.heads == 2 ? 1 : 2;
    if (p.media != first[0] || fat_sector->data_size != p.bytes_per_sector ||
        (map.SectorCount(second_track) != p.sectors_per_track &&
         map.SectorCount(1) != p.sectors_per_track)) {
      continue;
    }
    if (MountFatVolume(volume, p, false, 0, human68k) && RootParses(map, volume.layout)) {
      return true;
    }
  }
  return false;
}

EntryParse ParseFatEntry(const Volume& volume, const unsigned char* raw, int64_t index,
                         DirectoryEntry& entry, DirectoryCursor& cursor) {
  const bool human68k = DriverState<FatState>(volume).human68k;
  if (raw[0] == 0x00) return EntryParse::kEnd;
  const int attributes = raw[11];
  if (raw[0] == 0xE5) {
    cursor.long_name_checksum = -1;
    return EntryParse::kSkip;
  }
  if (attributes == kAttributeLongName) {
    if (!human68k) GatherLongName(raw, cursor);
    return EntryParse::kSkip;
  }
  const bool long_name =
      cursor.long_name_checksum == ShortNameChecksum(raw) && cursor.long_name_next == 0;
  cursor.long_name_checksum = -1;
  if (attributes & 0xC0) return EntryParse::kInvalid;
  if (attributes & kAttributeLabel) return EntryParse::kSkip;
  // A subdirectory begins with "." and "..", naming itself and its parent; any other entry that
  // begins with a point is a file or folder of the disk.
  static constexpr char kDotNames[2][12] = {".          ", "..         "};
  if (cursor.chained && index < 2 && memcmp(raw, kDotNames[index], 11) == 0) {
    return EntryParse::kSkip;
  }
  unsigned char name[18];
  memcpy(name, raw, 8);
  if (name[0] == 0x05) name[0] = 0xE5;
  int name_length = 8;
  while (human68k && name_length < 18 && raw[0x0C + name_length - 8] != 0) {
    name[name_length] = raw[0x0C + name_length - 8];
    ++name_length;
  }
  FormName(name, name_length, raw + 8, 3, false, entry);
  const int name_part = entry.name_length;
  int name_end = 8;
  while (name_end > 0 && raw[name_end - 1] == ' ') --name_end;
  if (!human68k && (raw[12] & kLowerCaseName)) LowerCase(entry.name, name_end);
  if (!human68k && (raw[12] & kLowerCaseExtension) && name_part > name_end) {
    LowerCase(entry.name + name_end + 1, name_part - name_end - 1);
  }
  if (long_name && !human68k) {
    int length = 0;
    while (length < DirectoryEntry::kMaxLongName && cursor.long_name[length] != 0 &&
           cursor.long_name[length] != 0xFFFF) {
      entry.long_name[length] = cursor.long_name[length];
      ++length;
    }
    entry.long_name[length] = 0;
    entry.long_name_length = length;
  }
  entry.directory = (attributes & kAttributeDirectory) != 0;
  entry.attributes = attributes & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                   kAttributeDirectory | kAttributeArchive);
  entry.first_cluster = ReadLe16(raw + 0x1A);
  entry.size =
      entry.directory ? -1 : static_cast<int64_t>(static_cast<uint32_t>(ReadLe32(raw + 0x1C)));
  const int time = ReadLe16(raw + 0x16);
  const int date = ReadLe16(raw + 0x18);
  if (date != 0) {
    entry.has_date = true;
    entry.date = {1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                  time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
  }
  return EntryParse::kEntry;
}

void ReadFatLabel(const Volume& volume, char* label) {
  const VolumeLayout& layout = volume.layout;
  label[0] = '\0';
  unsigned char sector[1024];
  const int per_sector = layout.numbering.sector_size / 32;
  for (int64_t s = 0; s < layout.root_sectors; ++s) {
    ReadLogicalSector(*volume.map, layout.numbering, layout.root_start + s, sector);
    for (int e = 0; e < per_sector; ++e) {
      const unsigned char* raw = sector + 32 * e;
      if (raw[0] == 0x00) return;
      if (raw[0] == 0xE5 || raw[11] == kAttributeLongName || !(raw[11] & kAttributeLabel)) {
        continue;
      }
      int length = 11;
      while (length > 0 && raw[length - 1] == ' ') --length;
      memcpy(label, raw, static_cast<size_t>(length));
      label[length] = '\0';
      return;
    }
  }
}

void DescribeFatVolume(const Volume& volume, char* text, size_t size) {
  const VolumeLayout& l = volume.layout;
  const FatState& state = DriverState<FatState>(volume);
  const char* boot = state.human68k ? "68000 boot code and " : "";
  if (state.from_media_byte) {
    snprintf(text, size,
             "%sno parameter block; the FAT's media byte names %d sectors of %d bytes a track, "
             "%d head%s, %d clusters; the root directory parses",
             boot, l.numbering.sectors_per_track, l.numbering.sector_size, l.numbering.heads,
             l.numbering.heads == 1 ? "" : "s", l.cluster_count);
  } else {
    snprintf(text, size,
             "%sboot sector parameter block: %d-byte sectors, %d per cluster, %d clusters; FAT "
             "begins with the media byte",
             boot, l.numbering.sector_size, l.sectors_per_cluster, l.cluster_count);
  }
}

void FatEntryType(const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  snprintf(type, 8, "%c%c%c%c%c", e.directory ? 'd' : '-', a & kAttributeReadOnly ? 'r' : '-',
           a & kAttributeHidden ? 'h' : '-', a & kAttributeSystem ? 's' : '-',
           a & kAttributeArchive ? 'a' : '-');
}

void FormatFatVolume(const FatFormat& format, unsigned char* disk) {
  const FatParameterBlock& p = format.block;
  const int64_t size = format.format.grid.DiskBytes();
  const int64_t data_start =
      (p.reserved_sectors + int64_t{p.fat_count} * p.sectors_per_fat) * p.bytes_per_sector +
      int64_t{p.root_entries} * 32;
  memset(disk, 0, static_cast<size_t>(data_start));
  memset(disk + data_start, 0xF6, static_cast<size_t>(size - data_start));
  memcpy(disk, format.boot_start, 11);
  StoreLe16(disk + 0x0B, p.bytes_per_sector);
  disk[0x0D] = static_cast<unsigned char>(p.sectors_per_cluster);
  StoreLe16(disk + 0x0E, p.reserved_sectors);
  disk[0x10] = static_cast<unsigned char>(p.fat_count);
  StoreLe16(disk + 0x11, p.root_entries);
  StoreLe16(disk + 0x13, p.total_sectors);
  disk[0x15] = static_cast<unsigned char>(p.media);
  StoreLe16(disk + 0x16, p.sectors_per_fat);
  StoreLe16(disk + 0x18, p.sectors_per_track);
  StoreLe16(disk + 0x1A, p.heads);
  if (format.extended_block) {
    disk[0x26] = 0x29;
    memcpy(disk + 0x2B, "NO NAME    FAT12   ", 19);
  }
  memcpy(disk + 0x3E, format.boot_loop, 2);
  disk[0x1FE] = 0x55;
  disk[0x1FF] = 0xAA;
  for (int f = 0; f < p.fat_count; ++f) {
    unsigned char* fat =
        disk + (p.reserved_sectors + int64_t{f} * p.sectors_per_fat) * p.bytes_per_sector;
    fat[0] = static_cast<unsigned char>(p.media);
    fat[1] = 0xFF;
    fat[2] = 0xFF;
  }
}

void TakeFatBoot(int, const unsigned char* sector, unsigned char* disk) {
  constexpr int kBlockStart = 0x0B, kBlockEnd = 0x1E;
  const int size = ReadLe16(disk + kBlockStart);  // the new disk's bytes per sector
  memcpy(disk, sector, kBlockStart);
  memcpy(disk + kBlockEnd, sector + kBlockEnd, static_cast<size_t>(size - kBlockEnd));
}

}  // namespace diskimage
