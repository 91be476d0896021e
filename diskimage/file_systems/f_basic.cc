// F-BASIC (Fujitsu FM-7, FM-77AV): an allocation table in one sector of cylinder 1, 32-byte
// directory entries with 8-byte names, clusters of 8 sectors from cylinder 2 on.
#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {
namespace {

constexpr int kSectorsPerTrack = 16;
constexpr int kFatTrack = 2;  // cylinder 1, head 0
constexpr int kFatSector = 1;
constexpr int kIdSector = 3;  // on cylinder 0, head 0
constexpr int kFormatFiller = 0xE5;
constexpr int kTableStart = 5;  // byte of cluster 0's entry
constexpr int kClusterCount = 152;
constexpr int kSectorsPerCluster = 8;
constexpr int kDirectoryStart = 2 * kSectorsPerTrack + 3;  // cylinder 1, head 0, sector 4
constexpr int kDirectorySectors = 13 + 16;
constexpr int kFirstDataSector = 4 * kSectorsPerTrack;  // cylinder 2

bool Mount(Volume& volume) {
  const DiskMap& map = *volume.map;
  VolumeLayout& layout = volume.layout;
  int16_t* table = volume.table;
  if (map.SectorCount(kFatTrack) != kSectorsPerTrack ||
      map.SectorCount(kFatTrack + 1) != kSectorsPerTrack) {
    return false;
  }
  const SectorHeader* sector = map.Find(kFatTrack, kFatSector);
  unsigned char fat[256];
  if (sector == nullptr || sector->data_size != 256 || map.Read(*sector, fat, 256) != 256) {
    return false;
  }
  // Byte 0 is 00h; a disk formatted and never written may keep the formatter's E5h there, which
  // is taken where the ID sector (cylinder 0, sector 3) begins "S  " as F-BASIC writes it.
  const SectorHeader* id_sector = map.Find(0, kIdSector);
  unsigned char id[3] = {};
  const bool id_written = id_sector != nullptr && map.Read(*id_sector, id, 3) == 3 &&
                          id[0] == 'S' && id[1] == ' ' && id[2] == ' ';
  if ((fat[0] != 0x00 && !(fat[0] == kFormatFiller && id_written)) || fat[1] != 0xFF ||
      fat[2] != 0xFF || fat[3] != 0xFF || fat[4] != 0xFF) {
    return false;
  }
  int irregular = 0;
  for (int c = 0; c < kClusterCount; ++c) {
    const int value = fat[kTableStart + c];
    if (value == 0xFF) {
      table[c] = kClusterFree;
    } else if (value == 0xFE) {
      table[c] = kClusterReserved;
    } else if (value >= 0xC0 && value <= 0xC7) {
      table[c] = EndMark((value & 0x07) + 1);
    } else if (value < 0xC0) {
      table[c] = static_cast<int16_t>(value);  // past the last cluster: found when followed
      if (value >= kClusterCount) ++irregular;
    } else {
      table[c] = kClusterInvalid;
      ++irregular;
    }
  }
  if (!FewIrregularEntries(irregular, kClusterCount)) return false;
  layout.numbering = {256, kSectorsPerTrack, 2, 1, 1};
  layout.first_cluster = 0;
  layout.cluster_count = kClusterCount;
  layout.sectors_per_cluster = kSectorsPerCluster;
  layout.cluster_start = kFirstDataSector;
  layout.root_start = kDirectoryStart;
  layout.root_sectors = kDirectorySectors;
  layout.entry_size = 32;
  layout.variant = "2D";
  return true;
}

void Describe(const Volume& volume, char* text, size_t size) {
  unsigned char first = 0;
  const SectorHeader* fat = volume.map->Find(kFatTrack, kFatSector);
  if (fat != nullptr) volume.map->Read(*fat, &first, 1);
  snprintf(text, size,
           "FAT on cylinder 1 sector 1 begins %02X FF FF FF FF%s; directory entries parse, chains "
           "stay on the disk",
           first, first == 0 ? "" : " (the formatter's filler) after an ID sector");
}

EntryParse ParseEntry(const Volume&, const unsigned char* raw, int64_t, DirectoryEntry& entry,
                      DirectoryCursor&) {
  if (raw[0] == 0xFF) return EntryParse::kEnd;
  if (raw[0] == 0x00) return EntryParse::kSkip;
  // Type: 0 BASIC, 1 data, 2 machine language; ASCII and random-access flags 00h or FFh.
  if (raw[0x0B] > 2 || (raw[0x0C] != 0x00 && raw[0x0C] != 0xFF) ||
      (raw[0x0D] != 0x00 && raw[0x0D] != 0xFF) || raw[0x0E] >= kClusterCount) {
    return EntryParse::kInvalid;
  }
  FormName(raw, 8, nullptr, 0, true, entry);
  entry.attributes = raw[0x0B];
  entry.ascii = raw[0x0C] == 0xFF;
  entry.first_cluster = raw[0x0E];
  return EntryParse::kEntry;
}

// "bas", "dat" or "bin"; " a" for ASCII.
void EntryType(const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  snprintf(type, 8, "%s%s", a == 0 ? "bas" : a == 1 ? "dat" : "bin", e.ascii ? " a" : "");
}

constexpr int64_t kTableSector = kFatTrack * kSectorsPerTrack + kFatSector - 1;

bool TableWritable(const Volume& volume, size_t image_size) {
  return SectorsWritable(volume, &kTableSector, 1, image_size);
}

// The table, from the volume's; the system's clusters and unreadable values stay as they were.
void StoreTable(const Volume& volume, unsigned char* image, size_t image_size) {
  unsigned char sector[256];
  ReadLogicalSector(*volume.map, volume.layout.numbering, kTableSector, sector);
  for (int c = 0; c < kClusterCount; ++c) {
    const int16_t value = volume.table[c];
    unsigned char& stored = sector[kTableStart + c];
    if (value == kClusterFree) {
      stored = 0xFF;
    } else if (value >= 0) {
      stored = static_cast<unsigned char>(value);
    } else if (IsEndMark(value)) {
      const int used = UsedSectors(value);
      stored = static_cast<unsigned char>(0xC0 + (used > 0 ? used : kSectorsPerCluster) - 1);
    }
  }
  WriteLogicalSector(*volume.map, volume.layout.numbering, kTableSector, sector, image, image_size);
}

// A file's entry deleted (00h), its chain freed in the table.
bool RemoveEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry& entry, AddRefusal& refusal) {
  return RemoveChainedFile(volume, image, image_size, entry, 0x00, TableWritable, StoreTable,
                           refusal);
}

// A file (the system has no folders) in the first deleted or never-used entry, as F-BASIC writes
// one: the name, three 00h, the type, the ASCII flag, 00h (not random access), the first
// cluster, 00h, then FFh; its clusters first-free, the last one's mark the sectors used.
bool AddEntry(Volume& volume, unsigned char* image, size_t image_size, const DirectoryEntry*,
              const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  const DiskMap& map = *volume.map;
  if (entry.directory) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  int64_t slot_sector = -1;
  int slot = -1;
  if (!FindFreeEntry(volume, kDirectoryStart, kDirectorySectors, 32, slot_sector, slot)) {
    refusal.reason = AddRefusal::kDirectoryFull;
    return false;
  }
  const int64_t cluster_bytes = int64_t{kSectorsPerCluster} * 256;
  const int64_t count = entry.size > 0 ? (entry.size + cluster_bytes - 1) / cluster_bytes : 1;
  int taken[kMaxClusterCount];
  if (!TakeFreeClusters(volume, count, taken, refusal)) return false;
  if (!ClustersWritable(volume, taken, static_cast<int>(count), image_size) ||
      !SectorsWritable(volume, &slot_sector, 1, image_size) || !TableWritable(volume, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  WriteClusters(volume, image, image_size, taken, static_cast<int>(count), entry.data, entry.size);
  LinkClusters(volume, taken, static_cast<int>(count), entry.size, false);
  StoreTable(volume, image, image_size);
  unsigned char sector[256];
  ReadLogicalSector(map, l.numbering, slot_sector, sector);
  unsigned char* raw = sector + 32 * slot;
  memset(raw, 0xFF, 32);
  memcpy(raw, entry.name, 8);
  memset(raw + 0x08, 0, 3);
  raw[0x0B] = static_cast<unsigned char>(entry.attributes);
  raw[0x0C] = entry.ascii ? 0xFF : 0x00;
  raw[0x0D] = 0x00;
  raw[0x0E] = static_cast<unsigned char>(taken[0]);
  raw[0x0F] = 0x00;
  WriteLogicalSector(map, l.numbering, slot_sector, sector, image, image_size);
  DirectoryCursor cursor;
  ParseEntry(volume, raw, 0, added, cursor);
  added.location = static_cast<int32_t>(slot_sector * 64 + slot);
  return true;
}

constexpr FormatVariant kFormat = {"2d", {40, 2, kSectorsPerTrack, 1, false}};

const FormatVariant* Variant(int index) { return index == 0 ? &kFormat : nullptr; }

// As a real F-BASIC disk holds them: FFh everywhere (a never-used directory among it), the ID
// sector "S  " and zeros, a table of 00h, four FFh and every cluster free (FFh).
void Format(int, unsigned char* disk) {
  memset(disk, 0xFF, static_cast<size_t>(kFormat.grid.DiskBytes()));
  unsigned char* id = disk + (kIdSector - 1) * 256;
  memset(id, 0, 256);
  memcpy(id, "S  ", 3);
  disk[(kFatTrack * kSectorsPerTrack + kFatSector - 1) * 256] = 0x00;
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kFBasicNames = {
    8,        // name_bytes
    0,        // extension_bytes
    ' ',      // pad
    0,        // flags
    "\"*:?",  // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kFBasicTypes[] = {
    {"bin", 2, false}, {"asc", 0, true}, {"bas", 0, false}, {"dat", 1, true}, {nullptr, 0, false}};

}  // namespace

extern const FileSystemDriver kFBasicDriver = {
    FileSystemKind::kFBasic,                 // kind
    "f-basic",                               // name
    FileSystemDriver::Evidence::kDirectory,  // five table bytes: a few
    FileLength::kChain,                      // file_length
    kFBasicNames,                            // names
    kFBasicTypes,                            // file_types
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
    nullptr,                                 // take_boot
    AddEntry,                                // add_entry
    RemoveEntry,                             // remove_entry
};

}  // namespace diskimage
