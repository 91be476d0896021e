// What the file systems share, whichever driver mounted the disk: directory cursors over the root
// and over subdirectory chains, the claims that find shared clusters, and reading a file run by
// run, wherever its driver locates the runs.
#include "diskimage/file_system.h"

#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

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

bool FileSystem::Mount(const DiskMap& disk, FileSystemKind wanted) {
  driver = nullptr;
  kind = FileSystemKind::kUnknown;
  volume.map = &disk;
  volume.layout = VolumeLayout{};
  for (int16_t& value : volume.table) value = kClusterReserved;
  sectors_read = 0;
  const FileSystemDriver* wanted_driver = FindFileSystemDriver(wanted);
  if (wanted_driver == nullptr || !wanted_driver->mount(volume)) return false;
  driver = wanted_driver;
  kind = wanted;
  ForgetClaims();
  return true;
}

void FileSystem::VolumeLabel(char* label) const {
  label[0] = '\0';
  if (driver != nullptr && driver->label != nullptr) driver->label(volume, label);
}

void FileSystem::DescribeMount(char* text, size_t size) const {
  if (size > 0) text[0] = '\0';
  if (driver != nullptr) driver->describe(volume, text, size);
}

void FileSystem::EntryType(const DirectoryEntry& entry, char* type) const {
  if (driver != nullptr) {
    driver->entry_type(entry, type);
  } else {
    snprintf(type, 8, "?");
  }
}

int FileSystem::FreeClusters() const {
  const VolumeLayout& layout = volume.layout;
  int free = 0;
  for (int c = layout.first_cluster; c < layout.first_cluster + layout.cluster_count; ++c) {
    if (volume.table[c] == kClusterFree) ++free;
  }
  return free;
}

int FileSystem::UsedClusters() const {
  const VolumeLayout& layout = volume.layout;
  int used = 0;
  for (int c = layout.first_cluster; c < layout.first_cluster + layout.cluster_count; ++c) {
    if (volume.table[c] >= 0 || IsEndMark(volume.table[c])) ++used;
  }
  return used;
}

bool FileSystem::AddEntry(unsigned char* image, size_t image_size, const DirectoryEntry* folder,
                          const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal) {
  refusal = AddRefusal{AddRefusal::kNone, 0, 0};
  if (driver == nullptr || driver->add_entry == nullptr) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  ClearEntry(added);
  const bool done = driver->add_entry(volume, image, image_size, folder, entry, added, refusal);
  ForgetClaims();
  return done;
}

bool FileSystem::RemoveEntry(unsigned char* image, size_t image_size, const DirectoryEntry& entry,
                             AddRefusal& refusal) {
  refusal = AddRefusal{AddRefusal::kNone, 0, 0};
  if (driver == nullptr || driver->remove_entry == nullptr) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  const bool done = driver->remove_entry(volume, image, image_size, entry, refusal);
  ForgetClaims();
  return done;
}

void FileSystem::ForgetClaims() {
  // Only the mounted disk's clusters are ever claimed (or asked about).
  memset(owners, 0,
         sizeof owners[0] *
             static_cast<size_t>(volume.layout.first_cluster + volume.layout.cluster_count));
}

bool FileSystem::Claim(int cluster, int32_t owner, ChainDamage& damage) {
  const VolumeLayout& layout = volume.layout;
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
  const int16_t next = volume.table[cluster];
  if (!LinksOn(next, damage)) return -1;
  return Claim(next, owner, damage) ? next : -1;
}

int FileSystem::SectorsUsed(int cluster) const {
  const int16_t mark = volume.table[cluster];
  const int used = IsEndMark(mark) ? UsedSectors(mark) : 0;
  const int whole = volume.layout.sectors_per_cluster;
  return used > 0 && used < whole ? used : whole;
}

int64_t FileSystem::FirstSectorOf(int cluster) const {
  const VolumeLayout& layout = volume.layout;
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
  cursor.ended = driver == nullptr;
}

void FileSystem::Subdirectory(const DirectoryEntry& entry, DirectoryCursor& cursor) {
  Root(cursor);
  if (cursor.ended) return;
  if (driver->next_entry != nullptr) {  // a folder of the one directory: no clusters of its own
    cursor.folder = entry.first_cluster;
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
  const VolumeLayout& l = volume.layout;
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
  CountSectorRead(ReadLogicalSector(*volume.map, l.numbering, logical, cursor.bytes),
                  cursor.damage);
  cursor.logical = logical;
  ++cursor.sector;
  ++cursor.sectors_read;
  cursor.entry = 0;
  return true;
}

bool FileSystem::NextEntry(DirectoryCursor& cursor, DirectoryEntry& entry) {
  if (cursor.ended) return false;
  if (driver->next_entry != nullptr) {
    ClearEntry(entry);
    if (driver->next_entry(volume, cursor, entry)) return true;
    cursor.ended = true;
    return false;
  }
  const VolumeLayout& layout = volume.layout;
  const int per_sector = layout.numbering.sector_size / layout.entry_size;
  while (!cursor.ended) {
    if (cursor.sectors_read == 0 || cursor.entry == per_sector) {
      if (!ReadDirectorySector(cursor)) break;
    }
    const unsigned char* raw = cursor.bytes + cursor.entry * layout.entry_size;
    const int64_t index = (cursor.sectors_read - 1) * per_sector + cursor.entry;
    ++cursor.entry;
    ClearEntry(entry);
    const EntryParse parsed = driver->parse_entry(volume, raw, index, entry, cursor);
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

bool FileSystem::StartChain(int first, int32_t owner, RunCursor& cursor, ChainDamage& damage) {
  cursor.owner = owner;
  cursor.first = first;
  cursor.cluster = -1;
  memset(cursor.passed, 0, sizeof cursor.passed);
  return Claim(first, owner, damage);
}

bool FileSystem::LocateFile(const DirectoryEntry& entry, ChainDamage& damage) {
  units.count = 0;
  driver->locate(volume, entry, units, damage);
  return units.count > 0;
}

bool FileSystem::NextRun(RunCursor& cursor, SectorRun& run, ChainDamage& damage) {
  const VolumeLayout& layout = volume.layout;
  if (driver->locate != nullptr) {
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
    const int16_t mark = volume.table[cursor.cluster];
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
  const VolumeLayout& l = volume.layout;
  const DiskMap& map = *volume.map;
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
        CountSectorRead(wanted || searched ? ReadLogicalSector(map, l.numbering, logical, sector)
                                           : ProbeLogicalSector(map, l.numbering, logical),
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
  if (driver == nullptr) return 0;
  const FileLength rule = driver->file_length;
  const bool located = driver->locate != nullptr;
  if (rule == FileLength::kRecorded && !located && entry.first_cluster == 0) {
    // An empty file has no chain.
    damage.size_beyond_chain = entry.size > 0;
    return 0;
  }
  // Where the length ends at the first 0x1A, a read that copies nothing looks for it (a recorded
  // size beyond the chain is known only once the chain is: it is then followed again).
  const bool may_cut = entry.ascii || (rule == FileLength::kRecordedOrText && entry.size <= 0);
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
  if (dest == nullptr && !may_cut && rule == FileLength::kRecordedOrText && entry.size > chain) {
    ChainDamage again;
    RunCursor again_cursor;
    if (StartChain(entry.first_cluster, owner, again_cursor, again)) {
      ReadRuns(again_cursor, nullptr, 0, again, &end_of_file);
    }
  }
  damage.size_beyond_chain = entry.size > chain && !damage.storage_unknown;
  bool cut_at_end_of_file = entry.ascii;
  int64_t length = chain;
  if (rule == FileLength::kRecorded) {
    length = entry.size < chain ? entry.size : chain;
  } else if (rule == FileLength::kRecordedOrText) {
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
