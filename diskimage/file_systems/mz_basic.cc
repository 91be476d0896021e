// Sharp MZ DISK BASIC (MZ-80B, MZ-2000, MZ-2200, MZ-2500): every byte stored inverted, head 1
// first, an allocation bitmap in logical sector 15, a directory of 64 entries in sectors 16-23,
// and each file contiguous from its first sector.
#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {
namespace {

constexpr int kSectorSize = 256;
constexpr int kBitmapSector = 15;
constexpr int kDirectoryStart = 16;
constexpr int kDirectorySectors = 8;
constexpr int kEntrySize = 32;
constexpr int kEntries = kDirectorySectors * kSectorSize / kEntrySize;
constexpr int kMaxSectors = 2560;  // 80 cylinders, two sides, 16 sectors
constexpr int kBitmapBits = (0xFF - 6) * 8;
constexpr int kVolumeEntry = 0x80;
constexpr int kObj = 0x01, kBtx = 0x02, kBsd = 0x03, kBrd = 0x04;

bool KnownMode(int mode) { return mode <= kBrd || mode == kVolumeEntry; }

bool BitSet(const unsigned char* bitmap, int bit) { return (bitmap[6 + bit / 8] >> (bit % 8)) & 1; }

// What the mount keeps: the directory, copied whole.
struct MzState {
  unsigned char directory[kEntries * kEntrySize];
};

bool Mount(Volume& volume) {
  const DiskMap& map = *volume.map;
  unsigned char* directory = BeginDriverState<MzState>(volume).directory;
  VolumeLayout l = {};
  l.numbering = SectorNumbering{kSectorSize, 16, 2, 1, 1};
  l.numbering.swap_heads = true;
  l.numbering.inverted = true;
  unsigned char bitmap[kSectorSize];
  for (int s = kBitmapSector; s < kDirectoryStart + kDirectorySectors; ++s) {
    unsigned char* dest =
        s == kBitmapSector ? bitmap : directory + (s - kDirectoryStart) * kSectorSize;
    if (!LogicalSectorHasSize(map, l.numbering, s) ||
        ReadLogicalSector(map, l.numbering, s, dest) == SectorRead::kMissing) {
      return false;
    }
  }
  const int per_block = bitmap[0xFF] + 1;
  const int total = ReadLe16(bitmap + 4);
  const int offset = bitmap[1];
  const int sectors = total * per_block;
  if (per_block > 2 || sectors == 0 || sectors % 16 != 0 || sectors > kMaxSectors ||
      offset * per_block < kDirectoryStart + kDirectorySectors || offset >= total ||
      total - offset > kBitmapBits || !LogicalSectorHasSize(map, l.numbering, sectors - 1)) {
    return false;
  }
  for (int bit = total - offset; bit < kBitmapBits; ++bit) {
    if (BitSet(bitmap, bit)) return false;
  }
  for (int i = 0; i < kEntries; ++i) {
    if (!KnownMode(directory[kEntrySize * i])) return false;
  }
  // Most logical tracks are on the disk.
  int tracks_present = 0;
  for (int t = 0; t < sectors / 16; ++t)
    tracks_present += map.SectorCount(l.numbering.TrackOf(t * 16)) > 0;
  if (2 * tracks_present < sectors / 16) return false;
  // Clusters are the data area's blocks, numbered as the bitmap numbers them.
  l.first_cluster = offset;
  l.cluster_count = total - offset;
  l.sectors_per_cluster = per_block;
  l.cluster_start = int64_t{offset} * per_block;
  l.root_start = kDirectoryStart;
  l.root_sectors = kDirectorySectors;
  l.entry_size = kEntrySize;
  l.variant = per_block == 1 ? "2D" : "2DD";
  int16_t* table = volume.table;
  for (int b = offset; b < total; ++b) {
    table[b] = BitSet(bitmap, b - offset) ? EndMark(0) : kClusterFree;
  }
  // Which data blocks the files use, against the bitmap.
  // (Data files' blocks are not known: with one on the disk, only blocks of files that the bitmap
  // leaves free are told.)
  bool in_file[kMaxSectors] = {};
  bool data_files = false;
  for (int i = 0; i < kEntries; ++i) {
    const unsigned char* e = directory + kEntrySize * i;
    data_files = data_files || e[0] == kBsd || e[0] == kBrd;
    if (e[0] < 1 || e[0] > 2) continue;
    const int first = ReadLe16(e + 0x1E);
    const int count = (ReadLe16(e + 0x14) + kSectorSize - 1) / kSectorSize;
    for (int s = first; s < first + count && s < sectors; ++s) in_file[s / per_block] = true;
  }
  for (int b = offset; b < total; ++b) {
    const bool marked = BitSet(bitmap, b - offset);
    l.allocation_mismatches += (in_file[b] && !marked) || (!in_file[b] && marked && !data_files);
  }
  volume.layout = l;
  return true;
}

void Describe(const Volume& volume, char* text, size_t size) {
  const VolumeLayout& l = volume.layout;
  snprintf(text, size,
           "inverted bitmap in logical sector 15: %d sectors, blocks of %d, data from sector %d; "
           "directory modes known",
           static_cast<int>(l.cluster_start + int64_t{l.cluster_count} * l.sectors_per_cluster),
           l.sectors_per_cluster, static_cast<int>(l.cluster_start));
}

EntryParse ParseEntry(const unsigned char* raw, DirectoryEntry& entry) {
  const int mode = raw[0];
  if (mode == 0 || mode == kVolumeEntry) return EntryParse::kSkip;
  if (!KnownMode(mode)) return EntryParse::kInvalid;
  const void* end = memchr(raw + 1, 0x0D, 17);
  const int length =
      end != nullptr ? static_cast<int>(static_cast<const unsigned char*>(end) - (raw + 1)) : 17;
  if (length == 0) return EntryParse::kInvalid;  // a file without a name is not given
  memcpy(entry.name, raw + 1, static_cast<size_t>(length));
  entry.name[length] = 0;
  entry.name_length = length;
  entry.attributes = mode;
  entry.size = ReadLe16(raw + 0x14);
  entry.first_cluster = ReadLe16(raw + 0x1E);
  return EntryParse::kEntry;
}

bool NextEntry(const Volume& volume, DirectoryCursor& cursor, DirectoryEntry& entry) {
  const unsigned char* directory = DriverState<MzState>(volume).directory;
  while (cursor.entry < kEntries) {
    const int index = cursor.entry++;
    ClearEntry(entry);
    const EntryParse parsed = ParseEntry(directory + index * kEntrySize, entry);
    if (parsed == EntryParse::kInvalid) ++cursor.invalid_entries;
    if (parsed == EntryParse::kEntry) {
      entry.location = static_cast<int32_t>(volume.layout.root_start * 64 + index);
      return true;
    }
  }
  return false;
}

void Locate(const Volume& volume, const DirectoryEntry& entry, FileUnits& units,
            ChainDamage& damage) {
  const VolumeLayout& layout = volume.layout;
  if (entry.attributes == kBsd || entry.attributes == kBrd) {
    damage.storage_unknown = true;
    return;
  }
  const int64_t data_end =
      layout.cluster_start + int64_t{layout.cluster_count} * layout.sectors_per_cluster;
  const int64_t first = entry.first_cluster;
  const int64_t count = (entry.size + kSectorSize - 1) / kSectorSize;
  units.count = static_cast<int>(count);
  units.unit_sectors = units.last_unit_sectors = 1;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t sector = first + i;
    // Before the data area (the system's blocks) or past the disk: none of the file's.
    const bool outside = sector < layout.cluster_start || sector >= data_end;
    units.first_sector[i] = outside ? -1 : static_cast<int32_t>(sector);
    if (outside) damage.outside_data = true;
  }
}

// An OBJ or BTX file (the only kinds whose sectors are known; no folders) in the first free entry:
// the first run of free blocks that holds it, marked in the bitmap and its count of blocks in use.
bool AddEntry(Volume& volume, unsigned char* image, size_t image_size, const DirectoryEntry*,
              const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  const DiskMap& map = *volume.map;
  MzState& state = DriverState<MzState>(volume);
  if (entry.directory || (entry.attributes != kObj && entry.attributes != kBtx)) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  if (entry.size > 0xFFFF) {
    refusal.reason = AddRefusal::kTooLarge;
    return false;
  }
  int slot = -1;
  for (int i = 0; i < kEntries && slot < 0; ++i) {
    if (state.directory[kEntrySize * i] == 0x00) slot = i;
  }
  if (slot < 0) {
    refusal.reason = AddRefusal::kDirectoryFull;
    return false;
  }
  const int64_t block_bytes = int64_t{l.sectors_per_cluster} * kSectorSize;
  const int count = static_cast<int>((entry.size + block_bytes - 1) / block_bytes);
  // The first run of `count` free blocks.
  int first = l.first_cluster;
  int run = 0;
  for (int b = l.first_cluster; b < l.first_cluster + l.cluster_count && run < count; ++b) {
    if (volume.table[b] != kClusterFree) {
      run = 0;
      first = b + 1;
    } else {
      ++run;
    }
  }
  if (run < count) {
    refusal = AddRefusal{AddRefusal::kNoRoom, CountFreeClusters(volume) * block_bytes,
                         count * block_bytes};
    return false;
  }
  int taken[kMaxClusterCount];
  for (int i = 0; i < count; ++i) taken[i] = first + i;
  const int64_t directory_sector = kDirectoryStart + slot * kEntrySize / kSectorSize;
  const int64_t written[] = {kBitmapSector, directory_sector};
  if (!ClustersWritable(volume, taken, count, image_size) ||
      !SectorsWritable(volume, written, 2, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  WriteClusters(volume, image, image_size, taken, count, entry.data, entry.size);
  unsigned char bitmap[kSectorSize];
  ReadLogicalSector(map, l.numbering, kBitmapSector, bitmap);
  for (int i = 0; i < count; ++i) {
    const int bit = taken[i] - l.first_cluster;
    bitmap[6 + bit / 8] = static_cast<unsigned char>(bitmap[6 + bit / 8] | (1 << (bit % 8)));
    volume.table[taken[i]] = EndMark(0);
  }
  StoreLe16(bitmap + 2, ReadLe16(bitmap + 2) + count);
  WriteLogicalSector(map, l.numbering, kBitmapSector, bitmap, image, image_size);
  unsigned char* raw = state.directory + kEntrySize * slot;
  memset(raw, 0, kEntrySize);
  raw[0] = static_cast<unsigned char>(entry.attributes);
  memcpy(raw + 1, entry.name, 17);
  StoreLe16(raw + 0x14, static_cast<int>(entry.size));
  StoreLe16(raw + 0x16, entry.load_address);
  StoreLe16(raw + 0x18, entry.exec_address);
  StoreLe16(raw + 0x1E, static_cast<int>(FirstSectorOfCluster(l, first)));
  WriteLogicalSector(map, l.numbering, directory_sector,
                     state.directory + (directory_sector - kDirectoryStart) * kSectorSize, image,
                     image_size);
  ParseEntry(raw, added);
  added.location = static_cast<int32_t>(l.root_start * 64 + slot);
  return true;
}

// An OBJ or BTX file's entry cleared (mode 00h), its blocks cleared in the bitmap and its count.
bool RemoveEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry& entry, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  MzState& state = DriverState<MzState>(volume);
  refusal = AddRefusal{};
  const int64_t slot = int64_t{entry.location} - l.root_start * 64;
  if (entry.directory || (entry.attributes != kObj && entry.attributes != kBtx)) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  const int64_t block_bytes = int64_t{l.sectors_per_cluster} * kSectorSize;
  const int count = static_cast<int>((entry.size + block_bytes - 1) / block_bytes);
  const int64_t offset = entry.first_cluster - l.cluster_start;
  const int first = l.first_cluster + static_cast<int>(offset / l.sectors_per_cluster);
  if (slot < 0 || slot >= kEntries || offset < 0 || offset % l.sectors_per_cluster != 0 ||
      first + count > l.first_cluster + l.cluster_count) {
    refusal.reason = AddRefusal::kDamaged;
    return false;
  }
  const int64_t directory_sector = kDirectoryStart + slot * kEntrySize / kSectorSize;
  const int64_t written[] = {kBitmapSector, directory_sector};
  if (!SectorsWritable(volume, written, 2, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  unsigned char bitmap[kSectorSize];
  ReadLogicalSector(*volume.map, l.numbering, kBitmapSector, bitmap);
  int cleared = 0;
  for (int b = first; b < first + count; ++b) {
    const int bit = b - l.first_cluster;
    cleared += BitSet(bitmap, bit) ? 1 : 0;
    bitmap[6 + bit / 8] = static_cast<unsigned char>(bitmap[6 + bit / 8] & ~(1 << (bit % 8)));
    volume.table[b] = kClusterFree;
  }
  const int in_use = ReadLe16(bitmap + 2);
  StoreLe16(bitmap + 2, in_use > cleared ? in_use - cleared : 0);
  WriteLogicalSector(*volume.map, l.numbering, kBitmapSector, bitmap, image, image_size);
  state.directory[kEntrySize * slot] = 0x00;
  WriteLogicalSector(*volume.map, l.numbering, directory_sector,
                     state.directory + (directory_sector - kDirectoryStart) * kSectorSize, image,
                     image_size);
  return true;
}

// "obj", "btx", "bsd" or "brd": the entry's mode.
void EntryType(const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  snprintf(type, 8, "%s", a == 1 ? "obj" : a == 2 ? "btx" : a == 3 ? "bsd" : "brd");
}

// A new data disk: 2D of the MZ-80B/2000/2200 (one sector a block), 2DD of the MZ-2500 (two).
struct MzFormat {
  FormatVariant format;
  int sectors_per_block;
};
constexpr MzFormat kFormats[] = {
    {{"2d", {35, 2, 16, 1, false}}, 1},
    {{"2dd", {80, 2, 16, 1, false}}, 2},
};
constexpr int kDataStart = 48;  // the first logical sector of files on a data disk

const FormatVariant* Variant(int index) { return NthFormat(kFormats, index); }

// As a real MZ-2500 data disk's formatter writes it: an IPL record of 04h and zeros, zeros to the
// bitmap, a bitmap of no file, the volume entry and free entries (their names seventeen 0Dh), and
// BFh elsewhere; every byte stored inverted.
void Format(int index, unsigned char* disk) {
  const MzFormat& f = kFormats[index];
  const SectorGrid& grid = f.format.grid;
  const int sectors = grid.cylinders * grid.heads * grid.sectors;
  unsigned char sector[kSectorSize];
  for (int logical = 0; logical < sectors; ++logical) {
    memset(sector, logical < kBitmapSector ? 0x00 : 0xBF, sizeof sector);
    if (logical == 0) sector[0] = 0x04;
    if (logical == kBitmapSector) {
      memset(sector, 0, sizeof sector);
      const int blocks = sectors / f.sectors_per_block;
      const int offset = kDataStart / f.sectors_per_block;
      sector[0] = 0x01;  // the volume number
      sector[1] = static_cast<unsigned char>(offset);
      StoreLe16(sector + 2, offset);  // blocks in use: the system's
      StoreLe16(sector + 4, blocks);
      sector[0xFF] = static_cast<unsigned char>(f.sectors_per_block - 1);
    }
    if (logical >= kDirectoryStart && logical < kDirectoryStart + kDirectorySectors) {
      memset(sector, 0, sizeof sector);
      for (int e = 0; e < kSectorSize / kEntrySize; ++e) {
        memset(sector + e * kEntrySize + 1, 0x0D, 17);
      }
      if (logical == kDirectoryStart) sector[0] = kVolumeEntry;
    }
    // Logical track T is cylinder T / 2, head 1 - T % 2.
    const int track = logical / grid.sectors;
    const int stored = 2 * (track / 2) + 1 - track % 2;
    unsigned char* dest =
        disk + (int64_t{stored} * grid.sectors + logical % grid.sectors) * kSectorSize;
    for (int i = 0; i < kSectorSize; ++i) dest[i] = static_cast<unsigned char>(~sector[i]);
  }
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kMzNames = {
    17,    // name_bytes
    0,     // extension_bytes
    0x0D,  // pad
    0,     // flags
    "\"",  // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kMzTypes[] = {{"obj", 1, false}, {"btx", 2, false}, {nullptr, 0, false}};

}  // namespace

extern const FileSystemDriver kMzBasicDriver = {
    FileSystemKind::kMzBasic,            // kind
    "mz-basic",                          // name
    FileSystemDriver::Evidence::kMount,  // a bitmap and directory that agree with the disk are
                                         // evidence
    FileLength::kRecorded,               // file_length
    kMzNames,                            // names
    kMzTypes,                            // file_types
    true,                                // records_addresses
    Mount,                               // mount
    Describe,                            // describe
    nullptr,                             // parse_entry
    NextEntry,                           // next_entry
    Locate,                              // locate
    nullptr,                             // label
    EntryType,                           // entry_type
    Variant,                             // format_variant
    Format,                              // format
    nullptr,                             // take_boot
    AddEntry,                            // add_entry
    RemoveEntry,                         // remove_entry
};

}  // namespace diskimage
