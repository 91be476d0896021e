// What each file system's reader gives the common chain and directory code: how it is mounted,
// how its allocation table is held, and how one directory entry is parsed. Not installed.
#ifndef DISKIMAGE_FILE_SYSTEM_FORMATS_H_
#define DISKIMAGE_FILE_SYSTEM_FORMATS_H_

#include <cstdint>

#include "diskimage/file_system.h"

namespace diskimage {

// The allocation table as FileSystem holds it, by cluster number: the next cluster (0 and up) or
// one of these.
constexpr int16_t kClusterFree = -1;
constexpr int16_t kClusterReserved = -2;  // the system's own, or marked bad
constexpr int16_t kClusterInvalid = -3;   // a value that no table of the file system holds
constexpr int16_t kClusterEnd = -100;     // the last cluster, all its sectors used
// The last cluster with `used` of its sectors used (1 and up).
constexpr int16_t EndMark(int used) { return static_cast<int16_t>(kClusterEnd - used); }
constexpr bool IsEndMark(int16_t value) { return value <= kClusterEnd; }
// The sectors of a last cluster that its mark says are used; 0 for the whole cluster.
constexpr int UsedSectors(int16_t value) { return kClusterEnd - value; }

// Whether an allocation table is still its file system's with `irregular` of its `cluster_count`
// entries damaged (a link past the last cluster, a value no table holds): at most one in 16, so
// that a damaged disk keeps its name and a foreign sector does not pass.
constexpr bool FewIrregularEntries(int irregular, int cluster_count) {
  return irregular * 16 <= cluster_count;
}

enum class EntryParse {
  kEnd,      // the directory ends here
  kSkip,     // deleted, a label, a subdirectory's "." and "..", a long-name piece
  kEntry,    // a file or a subdirectory
  kInvalid,  // bytes that no entry of this file system holds
};

// Each reader's mount: checks the disk strictly and fills the layout and the table (cluster
// numbers up to layout.first_cluster + layout.cluster_count - 1; a link past the last cluster is
// kept as it is, a value no table holds becomes kClusterInvalid, both found when followed). False
// when the disk is not of this kind.
bool MountFat12(const DiskMap& map, VolumeLayout& layout, int16_t* table);
bool MountHuman68k(const DiskMap& map, VolumeLayout& layout, int16_t* table);
// The volume label entry of a mounted FAT12 or Human68k root directory: its 11 bytes without
// trailing spaces into `label` (12 bytes, NUL-terminated); "" for none.
void ReadFatLabel(const DiskMap& map, const VolumeLayout& layout, char* label);
bool MountN88Basic(const DiskMap& map, VolumeLayout& layout, int16_t* table);
bool MountHuBasic(const DiskMap& map, VolumeLayout& layout, int16_t* table);
bool MountFBasic(const DiskMap& map, VolumeLayout& layout, int16_t* table);
// CP/M and MZ also copy their one directory (layout.directory_entries entries, at most
// FileSystem::kMaxDirectoryBytes) into `directory`.
bool MountCpm(const DiskMap& map, VolumeLayout& layout, int16_t* table, unsigned char* directory);
bool MountMzBasic(const DiskMap& map, VolumeLayout& layout, int16_t* table,
                  unsigned char* directory);

// Each reader's entry parser: `raw` is layout.entry_size bytes. The FAT12 and Human68k parsers
// are told the entry's position in its directory (0 for the first); FAT12's keeps a long name
// being gathered in `cursor`.
EntryParse ParseFat12Entry(const unsigned char* raw, int64_t index, DirectoryEntry& entry,
                           DirectoryCursor& cursor);
EntryParse ParseHuman68kEntry(const unsigned char* raw, int64_t index, DirectoryEntry& entry,
                              DirectoryCursor& cursor);
EntryParse ParseN88BasicEntry(const unsigned char* raw, DirectoryEntry& entry);
EntryParse ParseHuBasicEntry(const unsigned char* raw, DirectoryEntry& entry);
EntryParse ParseFBasicEntry(const unsigned char* raw, DirectoryEntry& entry);

// CP/M: entry `index` of the copied directory as a file of `user`, given once, at its first entry
// (kSkip for the file's other entries, other users' files, free and label entries); its size is
// the records its entries hold. True when `user` (1-15) has a file.
EntryParse ParseCpmEntry(const unsigned char* directory, const VolumeLayout& layout, int index,
                         int user, DirectoryEntry& entry);
bool CpmUserHasFiles(const unsigned char* directory, const VolumeLayout& layout, int user);
EntryParse ParseMzBasicEntry(const unsigned char* raw, DirectoryEntry& entry);

// Where the CP/M or MZ file `entry` lies, into `units` (count 0: nothing to read), with what is
// wrong with it (missing or doubled extents, blocks outside the data area, a data file whose
// storage is unknown) into `damage`.
void LocateCpmFile(const unsigned char* directory, const VolumeLayout& layout,
                   const DirectoryEntry& entry, FileUnits& units, ChainDamage& damage);
void LocateMzBasicFile(const VolumeLayout& layout, const DirectoryEntry& entry, FileUnits& units,
                       ChainDamage& damage);

// Sets entry.name from `name_length` name bytes and `extension_length` extension bytes: each
// without its trailing spaces (and NULs, with `trim_nuls`), joined by "." when the extension is
// not empty.
void FormName(const unsigned char* name, int name_length, const unsigned char* extension,
              int extension_length, bool trim_nuls, DirectoryEntry& entry);

// True when logical sector `logical` is on the disk with exactly numbering.sector_size bytes.
bool LogicalSectorHasSize(const DiskMap& map, const SectorNumbering& numbering, int64_t logical);

// Clears `entry` to a file without name, size, date or cluster.
void ClearEntry(DirectoryEntry& entry);

}  // namespace diskimage

#endif  // DISKIMAGE_FILE_SYSTEM_FORMATS_H_
