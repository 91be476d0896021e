// CP/M 2.2: a format from a table of known ones (geometry, reserved tracks, block size,
// directory entries), its directory of 32-byte extents, and each file's blocks gathered from the
// extents that share its user number and name.
#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {
namespace {

// A CP/M format whose every value a real disk or a document fixes.
struct CpmFormat {
  const char* name;
  FormatVariant format;  // a new disk of it: every byte E5h, as CP/M's formatters leave it
  int cylinders, heads, sectors, sector_size;
  int reserved_tracks;
  int block_size;
  int directory_entries;
};

constexpr CpmFormat kCpmFormats[] = {
    // The X1turbo's 2D disks: directory at cylinder 2 head 0, no skew.
    {"X1turbo 2D", {"x1turbo-2d", {40, 2, 16, 1, false}}, 40, 2, 16, 256, 4, 2048, 64},
};

constexpr int kEntrySize = 32;
constexpr int kFreeEntry = 0xE5;
constexpr int kLastStatus = 0x21;  // 16-31 passwords, 20h label, 21h time stamps (CP/M 3)
constexpr int kRecord = 128;
constexpr int kRecordsPerExtent = 128;
constexpr int kUsers = 16;

// What the mount keeps: the format's directory, copied whole, and how its entries point.
struct CpmState {
  int directory_entries;
  int extent_mask;    // EXM: logical extents an entry holds, minus 1
  int pointer_bytes;  // 1 or 2 bytes a block pointer
  unsigned char directory[FileSystem::kMaxDirectoryBytes];
};

bool IsFile(const unsigned char* e) { return e[0] <= 15; }

// A well-formed entry: a known status and, for a file, a name CP/M accepts and legal counts.
bool WellFormed(const unsigned char* e) {
  if (e[0] == kFreeEntry) return true;
  if (e[0] > kLastStatus) return false;
  if (!IsFile(e)) return true;
  for (int i = 1; i <= 11; ++i) {
    const int c = e[i] & 0x7F;
    if (c < 0x20 || c > 0x7E || strchr("<>.,;:=?*[]", c) != nullptr) return false;
  }
  return (e[1] & 0x7F) != ' ' && e[12] <= 31 && e[14] <= 63 && e[15] <= 0x80;
}

// True when entries `a` and `b` belong to one file: one user, one name (attribute bits aside).
bool SameFile(const unsigned char* a, const unsigned char* b) {
  if (a[0] != b[0]) return false;
  for (int i = 1; i <= 11; ++i) {
    if ((a[i] & 0x7F) != (b[i] & 0x7F)) return false;
  }
  return true;
}

int ExtentNumber(const unsigned char* e) { return e[12] | (e[14] << 5); }

int PointerAt(const unsigned char* e, int i, int pointer_bytes) {
  return pointer_bytes == 1 ? e[16 + i] : ReadLe16(e + 16 + 2 * i);
}

// The entry of the file of entry `first` with the highest extent number.
const unsigned char* LastExtent(const CpmState& state, int first) {
  const unsigned char* file = state.directory + kEntrySize * first;
  const unsigned char* last = file;
  for (int i = first; i < state.directory_entries; ++i) {
    const unsigned char* e = state.directory + kEntrySize * i;
    if (SameFile(e, file) && ExtentNumber(e) > ExtentNumber(last)) last = e;
  }
  return last;
}

// The file's length in bytes: its records, the last cut to the byte count its last entry holds.
int64_t FileBytes(const unsigned char* last) {
  const int64_t records = int64_t{ExtentNumber(last)} * kRecordsPerExtent + last[15];
  const int bytes_in_last = last[13];
  if (records > 0 && bytes_in_last >= 1 && bytes_in_last < kRecord) {
    return (records - 1) * kRecord + bytes_in_last;
  }
  return records * kRecord;
}

bool Mount(Volume& volume) {
  const DiskMap& map = *volume.map;
  CpmState& state = BeginDriverState<CpmState>(volume);
  unsigned char* directory = state.directory;
  for (const CpmFormat& f : kCpmFormats) {
    VolumeLayout l = {};
    l.numbering = SectorNumbering{f.sector_size, f.sectors, f.heads, 1, 1};
    l.sectors_per_cluster = f.block_size / f.sector_size;
    l.cluster_count =
        (f.cylinders * f.heads - f.reserved_tracks) * f.sectors / l.sectors_per_cluster;
    l.cluster_start = int64_t{f.reserved_tracks} * f.sectors;
    l.root_start = l.cluster_start;
    const int directory_blocks =
        (f.directory_entries * kEntrySize + f.block_size - 1) / f.block_size;
    l.root_sectors = directory_blocks * l.sectors_per_cluster;
    l.entry_size = kEntrySize;
    l.variant = f.name;
    const int pointer_bytes = l.cluster_count <= 256 ? 1 : 2;
    if (l.cluster_count > kMaxClusterCount ||
        l.root_sectors * f.sector_size > FileSystem::kMaxDirectoryBytes) {
      continue;
    }
    bool whole = true;
    for (int s = 0; s < l.root_sectors && whole; ++s) {
      whole = LogicalSectorHasSize(map, l.numbering, l.root_start + s) &&
              ReadLogicalSector(map, l.numbering, l.root_start + s,
                                directory + s * f.sector_size) != SectorRead::kMissing;
    }
    if (!whole) continue;
    bool formed = true;
    for (int i = 0; i < f.directory_entries && formed; ++i) {
      formed = WellFormed(directory + kEntrySize * i);
    }
    // (An all-E5h directory is any freshly formatted disk's: mounted, but no evidence.)
    if (!formed) continue;
    // The disk's tracks fit the format (looked at last: it reads every track's headers).
    int highest = -1;
    for (int track = 0; track < SectorSource::kTrackCount; ++track) {
      if (map.TrackPresent(track)) highest = track;
    }
    const int last_track = 2 * f.cylinders - 1;
    if (highest > last_track + 4 || 2 * highest < last_track) continue;
    int16_t* table = volume.table;
    for (int b = 0; b < l.cluster_count; ++b)
      table[b] = b < directory_blocks ? kClusterReserved : kClusterFree;
    for (int i = 0; i < f.directory_entries; ++i) {
      const unsigned char* e = directory + kEntrySize * i;
      for (int p = 0; IsFile(e) && p < 16 / pointer_bytes; ++p) {
        const int block = PointerAt(e, p, pointer_bytes);
        if (block >= directory_blocks && block < l.cluster_count) table[block] = EndMark(0);
      }
    }
    volume.layout = l;
    state.directory_entries = f.directory_entries;
    state.pointer_bytes = pointer_bytes;
    state.extent_mask = (16 / pointer_bytes) * f.block_size / (kRecord * kRecordsPerExtent) - 1;
    return true;
  }
  return false;
}

void Describe(const Volume& volume, char* text, size_t size) {
  const VolumeLayout& l = volume.layout;
  snprintf(text, size,
           "the %s format's directory (track %d, %d entries) holds only well-formed entries and "
           "at least one file",
           l.variant, static_cast<int>(l.root_start / l.numbering.sectors_per_track),
           DriverState<CpmState>(volume).directory_entries);
}

// Entry `index` of the directory as a file of `user`, given once, at its first entry (kSkip for
// the file's other entries, other users' files, free and label entries); its size is the records
// its entries hold.
EntryParse ParseEntry(const CpmState& state, int index, int user, DirectoryEntry& entry) {
  const unsigned char* directory = state.directory;
  const unsigned char* e = directory + kEntrySize * index;
  if (!IsFile(e) || e[0] != user) return EntryParse::kSkip;
  for (int i = 0; i < index; ++i) {
    if (SameFile(directory + kEntrySize * i, e)) return EntryParse::kSkip;  // given before
  }
  unsigned char name[8], type[3];
  for (int i = 0; i < 8; ++i) name[i] = e[1 + i] & 0x7F;
  for (int i = 0; i < 3; ++i) type[i] = e[9 + i] & 0x7F;
  FormName(name, 8, type, 3, false, entry);
  entry.attributes = (e[9] >> 7) | ((e[10] >> 7) << 1) | ((e[11] >> 7) << 2);
  entry.size = FileBytes(LastExtent(state, index));
  entry.first_cluster = index;
  return EntryParse::kEntry;
}

bool UserHasFiles(const CpmState& state, int user) {
  for (int i = 0; i < state.directory_entries; ++i) {
    if (state.directory[kEntrySize * i] == user) return true;
  }
  return false;
}

// User 0's files in the root, then a folder named "1" to "15" for each other user that has files
// (cursor.entry counts the directory's entries, then the users); a user's folder holds its files.
bool NextEntry(const Volume& volume, DirectoryCursor& cursor, DirectoryEntry& entry) {
  const CpmState& state = DriverState<CpmState>(volume);
  const int entries = state.directory_entries;
  while (cursor.entry < entries) {
    const int index = cursor.entry++;
    ClearEntry(entry);
    const EntryParse parsed = ParseEntry(state, index, cursor.folder, entry);
    if (parsed == EntryParse::kInvalid) ++cursor.invalid_entries;
    if (parsed == EntryParse::kEntry) {
      entry.location = static_cast<int32_t>(volume.layout.root_start * 64 + index);
      return true;
    }
  }
  while (cursor.folder == 0 && cursor.entry < entries + kUsers) {
    const int user = cursor.entry++ - entries;
    if (user > 0 && UserHasFiles(state, user)) {
      ClearEntry(entry);
      entry.name_length =
          snprintf(reinterpret_cast<char*>(entry.name), sizeof entry.name, "%d", user);
      entry.directory = true;
      entry.first_cluster = user;
      entry.location = static_cast<int32_t>(-user);
      return true;
    }
  }
  return false;
}

void Locate(const Volume& volume, const DirectoryEntry& entry, FileUnits& units,
            ChainDamage& damage) {
  const VolumeLayout& layout = volume.layout;
  const CpmState& state = DriverState<CpmState>(volume);
  const unsigned char* directory = state.directory;
  const int first = entry.first_cluster;
  if (first < 0 || first >= state.directory_entries) return;
  const unsigned char* file = directory + kEntrySize * first;
  const unsigned char* last = LastExtent(state, first);
  const int64_t block_bytes = int64_t{layout.sectors_per_cluster} * layout.numbering.sector_size;
  const int64_t bytes = (int64_t{ExtentNumber(last)} * kRecordsPerExtent + last[15]) * kRecord;
  int64_t blocks = (bytes + block_bytes - 1) / block_bytes;
  if (blocks > layout.cluster_count) blocks = layout.cluster_count;  // more than the disk holds
  const int pointers = 16 / state.pointer_bytes;
  const int directory_blocks = static_cast<int>(layout.root_sectors / layout.sectors_per_cluster);
  units.count = static_cast<int>(blocks);
  units.unit_sectors = layout.sectors_per_cluster;
  const int64_t in_last = bytes - (blocks - 1) * block_bytes;
  units.last_unit_sectors =
      static_cast<int>((in_last + layout.numbering.sector_size - 1) / layout.numbering.sector_size);
  for (int k = 0; k * pointers < blocks; ++k) {
    // The entry that holds the file's k-th group of pointers, which must be one.
    const unsigned char* holder = nullptr;
    int holders = 0;
    for (int i = first; i < state.directory_entries; ++i) {
      const unsigned char* e = directory + kEntrySize * i;
      if (SameFile(e, file) && ExtentNumber(e) / (state.extent_mask + 1) == k) {
        if (holder == nullptr) holder = e;
        ++holders;
      }
    }
    if (holders != 1) damage.extents_missing = true;
    for (int p = 0; p < pointers && k * pointers + p < blocks; ++p) {
      int32_t& sector = units.first_sector[k * pointers + p];
      sector = -1;
      if (holder == nullptr) continue;
      const int block = PointerAt(holder, p, state.pointer_bytes);
      if (block < directory_blocks || block >= layout.cluster_count) {
        damage.outside_data = true;
        continue;
      }
      sector =
          static_cast<int32_t>(layout.cluster_start + int64_t{block} * layout.sectors_per_cluster);
    }
  }
}

const FormatVariant* Variant(int index) { return NthFormat(kCpmFormats, index); }

void Format(int index, unsigned char* disk) {
  memset(disk, kFreeEntry, static_cast<size_t>(kCpmFormats[index].format.grid.DiskBytes()));
}

// A file of the folder's user (0 in the root) in as many free entries as its blocks need, each
// holding (EXM + 1) logical extents of 128 records; its blocks first-free. A folder is a user
// number ("1" to "15"), which takes nothing on the disk until a file of it is added.
bool AddEntry(Volume& volume, unsigned char* image, size_t image_size, const DirectoryEntry* folder,
              const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  CpmState& state = DriverState<CpmState>(volume);
  const int user = folder == nullptr ? 0 : folder->first_cluster;
  if (entry.directory) {
    int number = 0;
    for (int i = 0; i < 2 && entry.name[i] >= '0' && entry.name[i] <= '9'; ++i) {
      number = number * 10 + (entry.name[i] - '0');
    }
    if (folder != nullptr || number < 1 || number > 15) {
      refusal.reason = AddRefusal::kNotSupported;
      return false;
    }
    added.name_length =
        snprintf(reinterpret_cast<char*>(added.name), sizeof added.name, "%d", number);
    added.directory = true;
    added.first_cluster = number;
    added.location = -number;
    return true;
  }
  const int64_t block_bytes = int64_t{l.sectors_per_cluster} * l.numbering.sector_size;
  const int64_t records = (entry.size + kRecord - 1) / kRecord;
  const int blocks = static_cast<int>((entry.size + block_bytes - 1) / block_bytes);
  const int pointers = 16 / state.pointer_bytes;
  const int records_per_entry = (state.extent_mask + 1) * kRecordsPerExtent;
  const int entries =
      records == 0 ? 1 : static_cast<int>((records + records_per_entry - 1) / records_per_entry);
  int slots[FileSystem::kMaxDirectoryBytes / kEntrySize];
  int found = 0;
  for (int i = 0; i < state.directory_entries && found < entries; ++i) {
    if (state.directory[kEntrySize * i] == kFreeEntry) slots[found++] = i;
  }
  if (found < entries) {
    refusal.reason = AddRefusal::kDirectoryFull;
    return false;
  }
  int taken[kMaxClusterCount];
  if (!TakeFreeClusters(volume, blocks, taken, refusal)) return false;
  int64_t directory_sectors[FileSystem::kMaxDirectoryBytes / 128];
  for (int s = 0; s < l.root_sectors; ++s) directory_sectors[s] = l.root_start + s;
  if (!ClustersWritable(volume, taken, blocks, image_size) ||
      !SectorsWritable(volume, directory_sectors, l.root_sectors, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  WriteClusters(volume, image, image_size, taken, blocks, entry.data, entry.size);
  for (int b = 0; b < blocks; ++b) volume.table[taken[b]] = EndMark(0);
  for (int k = 0; k < entries; ++k) {
    unsigned char* e = state.directory + kEntrySize * slots[k];
    memset(e, 0, kEntrySize);
    e[0] = static_cast<unsigned char>(user);
    memcpy(e + 1, entry.name, 11);
    for (int a = 0; a < 3; ++a) {
      if (entry.attributes & (1 << a)) e[9 + a] = static_cast<unsigned char>(e[9 + a] | 0x80);
    }
    // Records in this entry; the extent number is that of its last logical extent.
    const int64_t before = int64_t{k} * records_per_entry;
    const int64_t here =
        records - before < records_per_entry ? records - before : records_per_entry;
    const int64_t extent =
        int64_t{k} * (state.extent_mask + 1) + (here > 0 ? (here - 1) / kRecordsPerExtent : 0);
    e[12] = static_cast<unsigned char>(extent & 0x1F);
    e[14] = static_cast<unsigned char>(extent >> 5);
    e[15] = static_cast<unsigned char>(here - (here > 0 ? (here - 1) / kRecordsPerExtent : 0) *
                                                  kRecordsPerExtent);
    for (int p = 0; p < pointers; ++p) {
      const int index = k * pointers + p;
      if (index >= blocks) break;
      if (state.pointer_bytes == 1) {
        e[16 + p] = static_cast<unsigned char>(taken[index]);
      } else {
        StoreLe16(e + 16 + 2 * p, taken[index]);
      }
    }
  }
  for (int s = 0; s < l.root_sectors; ++s) {
    WriteLogicalSector(*volume.map, l.numbering, l.root_start + s,
                       state.directory + s * l.numbering.sector_size, image, image_size);
  }
  ParseEntry(state, slots[0], user, added);
  added.location = static_cast<int32_t>(l.root_start * 64 + slots[0]);
  return true;
}

// Every entry of a file marked free (E5h), the blocks they point to freed.
bool RemoveEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry& entry, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  CpmState& state = DriverState<CpmState>(volume);
  refusal = AddRefusal{};
  if (entry.directory) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  if (entry.first_cluster < 0 || entry.first_cluster >= state.directory_entries ||
      !IsFile(state.directory + kEntrySize * entry.first_cluster)) {
    refusal.reason = AddRefusal::kDamaged;
    return false;
  }
  int64_t directory_sectors[FileSystem::kMaxDirectoryBytes / 128];
  for (int s = 0; s < l.root_sectors; ++s) directory_sectors[s] = l.root_start + s;
  if (!SectorsWritable(volume, directory_sectors, l.root_sectors, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  unsigned char first[kEntrySize];
  memcpy(first, state.directory + kEntrySize * entry.first_cluster, kEntrySize);
  const int pointers = 16 / state.pointer_bytes;
  for (int i = 0; i < state.directory_entries; ++i) {
    unsigned char* e = state.directory + kEntrySize * i;
    if (!IsFile(e) || !SameFile(e, first)) continue;
    for (int p = 0; p < pointers; ++p) {
      const int block = state.pointer_bytes == 1 ? e[16 + p] : ReadLe16(e + 16 + 2 * p);
      if (block >= l.first_cluster && block < l.first_cluster + l.cluster_count &&
          IsEndMark(volume.table[block])) {
        volume.table[block] = kClusterFree;
      }
    }
    e[0] = kFreeEntry;
  }
  for (int s = 0; s < l.root_sectors; ++s) {
    WriteLogicalSector(*volume.map, l.numbering, l.root_start + s,
                       state.directory + s * l.numbering.sector_size, image, image_size);
  }
  return true;
}

// "user" for a user's folder; "r", "s", "a" for the read-only, system and archive bits ("-" for
// each not).
void EntryType(const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  if (e.directory) {
    snprintf(type, 8, "user");
  } else {
    snprintf(type, 8, "%c%c%c", a & 0x01 ? 'r' : '-', a & 0x02 ? 's' : '-', a & 0x04 ? 'a' : '-');
  }
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kCpmNames = {
    8,    // name_bytes
    3,    // extension_bytes
    ' ',  // pad
    NameRule::kUpperCase | NameRule::kFolders | NameRule::kNumberedFolders |
        NameRule::kAsciiOnly,  // flags
    "<>.,;:=?*[]|()/\\\" ",    // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kCpmTypes[] = {{"file", 0, false}, {nullptr, 0, false}};

}  // namespace

extern const FileSystemDriver kCpmDriver = {
    FileSystemKind::kCpm,                // kind
    "cpm",                               // name
    FileSystemDriver::Evidence::kFiles,  // well-formed entries, one of a file
    FileLength::kRecorded,               // file_length
    kCpmNames,                           // names
    kCpmTypes,                           // file_types
    false,                               // records_addresses
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
