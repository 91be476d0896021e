// What the file systems share: mounting by kind, directory cursors over the root and over
// subdirectory chains, and reading a file run by run, wherever its format locates the runs.
#include "diskimage/file_system.h"

#include <cstdio>
#include <cstring>

#include "diskimage/file_system_formats.h"

namespace diskimage {

bool PossibleDate(const FileDate& date) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > kDays[date.month - 1]) {
    return false;
  }
  const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  return (date.month != 2 || date.day <= 28 || leap) && date.hour >= 0 && date.hour <= 23 &&
         date.minute >= 0 && date.minute <= 59 && date.second >= 0 && date.second <= 59;
}

const char* FileSystemName(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::kFat12:
      return "fat12";
    case FileSystemKind::kN88Basic:
      return "n88-basic";
    case FileSystemKind::kHuBasic:
      return "hu-basic";
    case FileSystemKind::kFBasic:
      return "f-basic";
    case FileSystemKind::kDskcut:
      return "dskcut";
    case FileSystemKind::kDskpull:
      return "dskpull";
    case FileSystemKind::kUnformatted:
      return "unformatted";
    case FileSystemKind::kHuman68k:
      return "human68k";
    case FileSystemKind::kCpm:
      return "cpm";
    case FileSystemKind::kMzBasic:
      return "mz-basic";
    case FileSystemKind::kUnknown:
      break;
  }
  return "unknown";
}

bool LogicalSectorHasSize(const DiskMap& map, const SectorNumbering& numbering, int64_t logical) {
  const int track = logical < 0 ? -1 : numbering.TrackOf(logical);
  const SectorHeader* sector =
      track < 0 ? nullptr : map.Find(track, numbering.SectorNumberOf(logical));
  return sector != nullptr && sector->data_size == numbering.sector_size;
}

void ClearEntry(DirectoryEntry& entry) {
  entry.name[0] = 0;
  entry.name_length = 0;
  entry.long_name[0] = 0;
  entry.long_name_length = 0;
  entry.directory = false;
  entry.ascii = false;
  entry.attributes = 0;
  entry.size = -1;
  entry.has_date = false;
  entry.date = FileDate{};
  entry.first_cluster = 0;
  entry.location = 0;
}

void FormName(const unsigned char* name, int name_length, const unsigned char* extension,
              int extension_length, bool trim_nuls, DirectoryEntry& entry) {
  const auto trimmed = [trim_nuls](const unsigned char* bytes, int length) {
    while (length > 0 && (bytes[length - 1] == ' ' || (trim_nuls && bytes[length - 1] == 0))) {
      --length;
    }
    return length;
  };
  const int n = trimmed(name, name_length);
  const int e = extension == nullptr ? 0 : trimmed(extension, extension_length);
  memcpy(entry.name, name, static_cast<size_t>(n));
  int length = n;
  if (e > 0) {
    entry.name[length++] = '.';
    memcpy(entry.name + length, extension, static_cast<size_t>(e));
    length += e;
  }
  entry.name[length] = 0;
  entry.name_length = length;
}

bool FileSystem::Mount(const DiskMap& disk, FileSystemKind wanted) {
  map = &disk;
  kind = FileSystemKind::kUnknown;
  layout = VolumeLayout{};
  for (int16_t& value : table) value = kClusterReserved;
  sectors_read = 0;
  bool mounted = false;
  switch (wanted) {
    case FileSystemKind::kFat12:
      mounted = MountFat12(disk, layout, table);
      break;
    case FileSystemKind::kN88Basic:
      mounted = MountN88Basic(disk, layout, table);
      break;
    case FileSystemKind::kHuBasic:
      mounted = MountHuBasic(disk, layout, table);
      break;
    case FileSystemKind::kFBasic:
      mounted = MountFBasic(disk, layout, table);
      break;
    case FileSystemKind::kHuman68k:
      mounted = MountHuman68k(disk, layout, table);
      break;
    case FileSystemKind::kCpm:
      mounted = MountCpm(disk, layout, table, directory);
      break;
    case FileSystemKind::kMzBasic:
      mounted = MountMzBasic(disk, layout, table, directory);
      break;
    default:
      break;
  }
  if (mounted) {
    kind = wanted;
    ForgetClaims();
  }
  return mounted;
}

void FileSystem::VolumeLabel(char* label) const {
  label[0] = '\0';
  if (map != nullptr && (kind == FileSystemKind::kFat12 || kind == FileSystemKind::kHuman68k)) {
    ReadFatLabel(*map, layout, label);
  }
}

int FileSystem::FreeClusters() const {
  int free = 0;
  for (int c = layout.first_cluster; c < layout.first_cluster + layout.cluster_count; ++c) {
    if (table[c] == kClusterFree) ++free;
  }
  return free;
}

int FileSystem::UsedClusters() const {
  int used = 0;
  for (int c = layout.first_cluster; c < layout.first_cluster + layout.cluster_count; ++c) {
    if (table[c] >= 0 || IsEndMark(table[c])) ++used;
  }
  return used;
}

void FileSystem::ForgetClaims() {
  // Only the mounted disk's clusters are ever claimed (or asked about).
  memset(owners, 0,
         sizeof owners[0] * static_cast<size_t>(layout.first_cluster + layout.cluster_count));
}

bool FileSystem::Claim(int cluster, int32_t owner, ChainDamage& damage) {
  if (cluster < layout.first_cluster || cluster >= layout.first_cluster + layout.cluster_count) {
    damage.leaves_disk = true;
    return false;
  }
  // The first owner keeps the cluster, so that every other one finds it shared, each time.
  if (owners[cluster] == 0) owners[cluster] = owner;
  if (owners[cluster] != owner) damage.shared = true;
  return true;
}

namespace {

// Whether `value`, a cluster's table entry, links on; if not and it is no end mark, says why.
bool LinksOn(int16_t value, ChainDamage& damage) {
  if (value >= 0) return true;
  if (value == kClusterInvalid) {
    damage.invalid_link = true;
  } else if (!IsEndMark(value)) {
    damage.ends_early = true;
  }
  return false;
}

}  // namespace

int FileSystem::NextInChain(int cluster, int32_t owner, ChainDamage& damage) {
  const int16_t next = table[cluster];
  if (!LinksOn(next, damage)) return -1;
  return Claim(next, owner, damage) ? next : -1;
}

int FileSystem::SectorsUsed(int cluster) const {
  const int16_t mark = table[cluster];
  const int used = IsEndMark(mark) ? UsedSectors(mark) : 0;
  return used > 0 && used < layout.sectors_per_cluster ? used : layout.sectors_per_cluster;
}

int64_t FileSystem::FirstSectorOf(int cluster) const {
  return layout.cluster_start +
         int64_t{cluster - layout.first_cluster} * layout.sectors_per_cluster;
}

namespace {

bool Passed(const uint8_t* passed, int cluster) {
  return passed[cluster / 8] & (1u << (cluster % 8));
}

void MarkPassed(uint8_t* passed, int cluster) {
  passed[cluster / 8] = static_cast<uint8_t>(passed[cluster / 8] | (1u << (cluster % 8)));
}

// Counts what reading a sector found into `damage`.
void CountSectorRead(SectorRead read, ChainDamage& damage) {
  if (read == SectorRead::kMissing || read == SectorRead::kShort) ++damage.missing_sectors;
  if (read == SectorRead::kCrcError) ++damage.error_sectors;
}

}  // namespace

void FileSystem::Root(DirectoryCursor& cursor) const {
  memset(&cursor, 0, sizeof cursor);
  cursor.long_name_checksum = -1;
  cursor.ended = kind == FileSystemKind::kUnknown;
}

void FileSystem::Subdirectory(const DirectoryEntry& entry, DirectoryCursor& cursor) {
  Root(cursor);
  if (kind == FileSystemKind::kCpm) {  // a user's folder: no clusters of its own
    cursor.user = entry.first_cluster;
    return;
  }
  cursor.chained = true;
  cursor.cluster = entry.first_cluster;
  cursor.owner = entry.location + 1;
  // A folder whose first cluster another entry has taken is one the tree has passed through, or
  // part of a file: it is not read.
  cursor.ended = !Claim(entry.first_cluster, cursor.owner, cursor.damage) || cursor.damage.shared;
  if (!cursor.ended) MarkPassed(cursor.passed, cursor.cluster);
}

bool FileSystem::ReadDirectorySector(DirectoryCursor& cursor) {
  const VolumeLayout& l = layout;
  int64_t logical;
  if (!cursor.chained) {
    if (cursor.sector >= l.root_sectors) return false;
    logical = l.root_start + cursor.sector;
  } else {
    if (cursor.sector >= SectorsUsed(cursor.cluster)) {
      const int next = NextInChain(cursor.cluster, cursor.owner, cursor.damage);
      if (next < 0 || cursor.damage.shared) return false;
      if (Passed(cursor.passed, next)) {
        cursor.damage.loops = true;
        return false;
      }
      MarkPassed(cursor.passed, next);
      cursor.cluster = next;
      cursor.sector = 0;
    }
    logical = FirstSectorOf(cursor.cluster) + cursor.sector;
  }
  CountSectorRead(ReadLogicalSector(*map, l.numbering, logical, cursor.bytes), cursor.damage);
  cursor.logical = logical;
  ++cursor.sector;
  ++cursor.sectors_read;
  cursor.entry = 0;
  return true;
}

bool FileSystem::NextEntry(DirectoryCursor& cursor, DirectoryEntry& entry) {
  if (kind == FileSystemKind::kCpm || kind == FileSystemKind::kMzBasic) {
    return NextCopiedEntry(cursor, entry);
  }
  const int per_sector = layout.numbering.sector_size / layout.entry_size;
  while (!cursor.ended) {
    if (cursor.sectors_read == 0 || cursor.entry == per_sector) {
      if (!ReadDirectorySector(cursor)) break;
    }
    const unsigned char* raw = cursor.bytes + cursor.entry * layout.entry_size;
    const int64_t index = (cursor.sectors_read - 1) * per_sector + cursor.entry;
    ++cursor.entry;
    ClearEntry(entry);
    EntryParse parsed = EntryParse::kInvalid;
    switch (kind) {
      case FileSystemKind::kFat12:
        parsed = ParseFat12Entry(raw, index, entry, cursor);
        break;
      case FileSystemKind::kN88Basic:
        parsed = ParseN88BasicEntry(raw, entry);
        break;
      case FileSystemKind::kHuBasic:
        parsed = ParseHuBasicEntry(raw, entry);
        break;
      case FileSystemKind::kFBasic:
        parsed = ParseFBasicEntry(raw, entry);
        break;
      case FileSystemKind::kHuman68k:
        parsed = ParseHuman68kEntry(raw, index, entry, cursor);
        break;
      default:
        break;
    }
    if (parsed == EntryParse::kEnd) break;
    if (parsed == EntryParse::kInvalid) ++cursor.invalid_entries;
    if (parsed == EntryParse::kEntry) {
      entry.location = static_cast<int32_t>(cursor.logical * 64 + cursor.entry - 1);
      return true;
    }
  }
  cursor.ended = true;
  return false;
}

bool FileSystem::NextCopiedEntry(DirectoryCursor& cursor, DirectoryEntry& entry) {
  while (!cursor.ended && cursor.entry < layout.directory_entries) {
    const int index = cursor.entry++;
    ClearEntry(entry);
    const EntryParse parsed = kind == FileSystemKind::kCpm
                                  ? ParseCpmEntry(directory, layout, index, cursor.user, entry)
                                  : ParseMzBasicEntry(directory + index * layout.entry_size, entry);
    if (parsed == EntryParse::kInvalid) ++cursor.invalid_entries;
    if (parsed == EntryParse::kEntry) {
      entry.location = static_cast<int32_t>(layout.root_start * 64 + index);
      return true;
    }
  }
  // Then, in CP/M's root, a folder for each other user that has files.
  while (!cursor.ended && kind == FileSystemKind::kCpm && cursor.user == 0 &&
         cursor.entry < layout.directory_entries + 16) {
    const int user = cursor.entry++ - layout.directory_entries;
    if (user > 0 && CpmUserHasFiles(directory, layout, user)) {
      ClearEntry(entry);
      entry.name_length =
          snprintf(reinterpret_cast<char*>(entry.name), sizeof entry.name, "%d", user);
      entry.directory = true;
      entry.first_cluster = user;
      entry.location = static_cast<int32_t>(-user);
      return true;
    }
  }
  cursor.ended = true;
  return false;
}

bool FileSystem::StartChain(int first, int32_t owner, RunCursor& cursor, ChainDamage& damage) {
  cursor.owner = owner;
  cursor.first = first;
  cursor.cluster = -1;
  memset(cursor.passed, 0, sizeof cursor.passed);
  return Claim(first, owner, damage);
}

bool FileSystem::LocateFile(const DirectoryEntry& entry, ChainDamage& damage) {
  units.count = 0;
  if (kind == FileSystemKind::kCpm) {
    LocateCpmFile(directory, layout, entry, units, damage);
  } else {
    LocateMzBasicFile(layout, entry, units, damage);
  }
  return units.count > 0;
}

bool FileSystem::NextRun(RunCursor& cursor, SectorRun& run, ChainDamage& damage) {
  if (kind == FileSystemKind::kCpm || kind == FileSystemKind::kMzBasic) {
    if (cursor.unit >= units.count) return false;
    const int i = cursor.unit++;
    run.first = units.first_sector[i];
    run.count = i == units.count - 1 ? units.last_unit_sectors : units.unit_sectors;
    if (run.first >= 0) {
      const int64_t cluster =
          layout.first_cluster + (run.first - layout.cluster_start) / layout.sectors_per_cluster;
      Claim(static_cast<int>(cluster), cursor.owner, damage);
    }
    return true;
  }
  if (cursor.cluster < 0) {
    cursor.cluster = cursor.first;
  } else {
    // The link of the cluster read last is followed only once its sectors are read.
    const int16_t mark = table[cursor.cluster];
    if (!LinksOn(mark, damage)) return false;
    if (mark < layout.first_cluster || mark >= layout.first_cluster + layout.cluster_count) {
      damage.leaves_disk = true;
      return false;
    }
    if (Passed(cursor.passed, mark)) {
      damage.loops = true;
      return false;
    }
    Claim(mark, cursor.owner, damage);
    cursor.cluster = mark;
  }
  MarkPassed(cursor.passed, cursor.cluster);
  run.first = FirstSectorOf(cursor.cluster);
  run.count = SectorsUsed(cursor.cluster);
  return true;
}

int64_t FileSystem::ReadRuns(RunCursor& cursor, unsigned char* dest, int64_t capacity,
                             ChainDamage& damage, int64_t* end_of_file) {
  const VolumeLayout& l = layout;
  if (end_of_file != nullptr) *end_of_file = -1;
  unsigned char sector[1024];
  const int sector_size = l.numbering.sector_size;
  const int64_t budget = int64_t{kReadBudget} * l.cluster_count * l.sectors_per_cluster + 4096;
  int64_t length = 0;
  for (SectorRun run; NextRun(cursor, run, damage);) {
    if (sectors_read + run.count > budget) {
      damage.over_budget = true;
      break;
    }
    sectors_read += run.count;
    for (int s = 0; s < run.count; ++s) {
      const bool wanted = dest != nullptr && length < capacity;
      const bool searched = end_of_file != nullptr && *end_of_file < 0;
      if (run.first < 0) {
        memset(sector, 0, sizeof sector);
      } else {
        const int64_t logical = run.first + s;
        CountSectorRead(wanted || searched ? ReadLogicalSector(*map, l.numbering, logical, sector)
                                           : ProbeLogicalSector(*map, l.numbering, logical),
                        damage);
      }
      if (wanted) {
        const int64_t room = capacity - length;
        memcpy(dest + length, sector, static_cast<size_t>(room < sector_size ? room : sector_size));
      }
      if (searched) {
        const void* mark_at = memchr(sector, 0x1A, static_cast<size_t>(sector_size));
        if (mark_at != nullptr) {
          *end_of_file = length + (static_cast<const unsigned char*>(mark_at) - sector);
        }
      }
      length += sector_size;
    }
  }
  return length;
}

int64_t FileSystem::ReadFile(const DirectoryEntry& entry, unsigned char* dest, int64_t capacity,
                             ChainDamage& damage) {
  damage = ChainDamage{};
  const bool fat = kind == FileSystemKind::kFat12 || kind == FileSystemKind::kHuman68k;
  const bool located = kind == FileSystemKind::kCpm || kind == FileSystemKind::kMzBasic;
  if (fat && entry.first_cluster == 0) {
    // An empty file has no chain.
    damage.size_beyond_chain = entry.size > 0;
    return 0;
  }
  // Where the length ends at the first 0x1A, a read that copies nothing looks for it (a Hu-BASIC
  // size beyond the chain is known only once the chain is: it is then followed again).
  const bool may_cut = entry.ascii || (kind == FileSystemKind::kHuBasic && entry.size <= 0);
  int64_t end_of_file = -1;
  const int32_t owner = entry.location + 1;
  RunCursor cursor;
  cursor.owner = owner;
  cursor.unit = 0;
  int64_t chain = 0;
  if (located ? LocateFile(entry, damage)
              : StartChain(entry.first_cluster, owner, cursor, damage)) {
    chain = ReadRuns(cursor, dest, capacity, damage,
                     may_cut && dest == nullptr ? &end_of_file : nullptr);
  }
  if (dest == nullptr && !may_cut && kind == FileSystemKind::kHuBasic && entry.size > chain) {
    ChainDamage again;
    RunCursor again_cursor;
    if (StartChain(entry.first_cluster, owner, again_cursor, again)) {
      ReadRuns(again_cursor, nullptr, 0, again, &end_of_file);
    }
  }
  damage.size_beyond_chain = entry.size > chain && !damage.storage_unknown;
  bool cut_at_end_of_file = entry.ascii;
  int64_t length = chain;
  if (fat || located) {
    length = entry.size < chain ? entry.size : chain;
  } else if (kind == FileSystemKind::kHuBasic) {
    if (entry.size > 0 && entry.size <= chain && !entry.ascii) {
      length = entry.size;
    } else {
      cut_at_end_of_file = true;
    }
  }
  if (cut_at_end_of_file && dest != nullptr) {
    const int64_t held = length < capacity ? length : capacity;
    const void* end = memchr(dest, 0x1A, static_cast<size_t>(held));
    if (end != nullptr) length = static_cast<const unsigned char*>(end) - dest;
  } else if (cut_at_end_of_file && end_of_file >= 0 && end_of_file < length) {
    length = end_of_file;
  }
  return length;
}

}  // namespace diskimage
