// What a file system's driver is to FileSystem: a row of operations on a mounted volume (mount
// with the evidence, read a directory, locate a file, name its types), and the helpers drivers
// share. Each driver is one file of this folder and one row of file_system_drivers.cc; the code
// that calls them names no file system. Not installed.
#ifndef DISKIMAGE_FILE_SYSTEMS_FILE_SYSTEM_DRIVER_H_
#define DISKIMAGE_FILE_SYSTEMS_FILE_SYSTEM_DRIVER_H_

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "diskimage/containers/sector_table.h"
#include "diskimage/file_system.h"

namespace diskimage {

// The allocation table as a volume holds it, by cluster number: the next cluster (0 and up) or
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

// How a file's length follows from its entry and the sectors its chain or location gives.
enum class FileLength {
  // The size the entry records, at most what the sectors hold. A chained file whose first
  // cluster is 0 has no chain: an empty file.
  kRecorded,
  // The recorded size where it is 1 or more, within the chain, and the file is not ASCII; else
  // the chain's used sectors, cut before the first 1Ah.
  kRecordedOrText,
  // The chain's used sectors.
  kChain,
};

// A geometry a file system formats a new disk in, as the system's own format command lays it out.
struct FormatVariant {
  const char* name;  // lower case: "2hd", "pc98-2hd"
  SectorGrid grid;
};

// How a file system names its entries, as FormEntryName forms a new one.
struct NameRule {
  // What the system does besides the parts' lengths, as flags.
  enum Flags : unsigned {
    kLongTail = 1,          // the name's bytes 9 on are stored after the extension, 00h-padded
    kUpperCase = 2,         // letters are stored in upper case
    kLowerCaseFlags = 4,    // a part all in lower case is recorded so in the byte after the parts
    kFirstE5As05 = 8,       // a first byte E5h (the deleted mark) is stored as 05h
    kDoubleByte = 16,       // Shift-JIS double-byte characters (else half-width katakana)
    kFolders = 32,          // the system has folders
    kNumberedFolders = 64,  // they are the user numbers 1 to 15
    kAsciiOnly = 128,       // no byte from 80h (the high bits are attributes)
  };
  int name_bytes;       // before the point
  int extension_bytes;  // after it; 0: no extension (a point is a character of the name)
  unsigned char pad;    // what fills the stored parts' rest
  unsigned flags;       // Flags
  const char* refused;  // the ASCII characters no name holds, besides controls

  bool Has(Flags flag) const { return (flags & flag) != 0; }
};

// A kind of file the system records, as a new file's type names it (the listing's type column).
struct FileType {
  const char* name;  // "bin", "asc", "bas"...; nullptr ends a driver's list
  int attributes;    // the attribute, mode or type byte stored
  bool ascii;        // text that ends before 1Ah (entry.ascii)
};

// One file system's operations. Every operation reads the image only through volume.map, checks
// every offset, count and link it takes from the disk, and gives an answer for any disk; those
// that are nullptr are not part of the file system. Write operations join them here.
struct FileSystemDriver {
  FileSystemKind kind;
  const char* name;  // as dskinfo names it: lower case, "-" between words
  // What identification takes as evidence besides the mount.
  enum class Evidence {
    kMount,      // the mount's checks
    kDirectory,  // the directory holding up too (every entry parsing, most chains ending on the
                 // disk): the file system's signature is a few bytes a foreign disk may carry
    kFiles,      // a file too: the empty disk is every formatter's
  } evidence;
  FileLength file_length;  // ASCII files (entry.ascii) are always cut before their first 1Ah
  NameRule names;
  // The types of file it records, the default for binaries first, then the default for text (the
  // first with ascii, where there is one).
  const FileType* file_types;
  bool records_addresses;  // a binary's load and execution addresses

  // Checks the disk at volume.map strictly and fills volume.layout and volume.table (clusters
  // layout.first_cluster to first_cluster + cluster_count - 1, at most kMaxClusterCount; a link
  // past the last cluster kept as it is, a value no table holds as kClusterInvalid; entries not
  // set stay kClusterReserved) and the driver's state. False when the disk is not of this kind
  // (the volume may then have changed).
  bool (*mount)(Volume& volume);
  // The evidence the mount found, one sentence, into `text` (`size` bytes).
  void (*describe)(const Volume& volume, char* text, size_t size);

  // Directories read sector by sector (the root's layout.root_sectors from layout.root_start,
  // a subdirectory along its chain from entry.first_cluster): the entry `raw`
  // (layout.entry_size bytes), the `index`-th of its directory, into `entry` (cleared). The
  // cursor carries what a parse keeps between entries (a long name being gathered).
  EntryParse (*parse_entry)(const Volume& volume, const unsigned char* raw, int64_t index,
                            DirectoryEntry& entry, DirectoryCursor& cursor);
  // Or one directory held in the driver's state: the next entry of cursor.folder (0: the root;
  // its subdirectories are folders of the same directory, numbered by their entries'
  // first_cluster), from cursor.entry on, with entry.location set; false at its end. The cursor's
  // invalid_entries counts entries passed over as no entry of the file system.
  bool (*next_entry)(const Volume& volume, DirectoryCursor& cursor, DirectoryEntry& entry);

  // Files whose sectors no chain gives: where `entry`'s units lie, into `units` (count 0: nothing
  // to read), with what is wrong into `damage`. nullptr: files follow the allocation table's
  // chain from entry.first_cluster.
  void (*locate)(const Volume& volume, const DirectoryEntry& entry, FileUnits& units,
                 ChainDamage& damage);
  // The volume label (up to 11 bytes as stored) into `label` (12 bytes, NUL-terminated), "" for
  // none. nullptr: the file system has no labels.
  void (*label)(const Volume& volume, char* label);
  // The entry's type and attributes as listings show them, at most 7 characters and a NUL.
  void (*entry_type)(const DirectoryEntry& entry, char* type);

  // The geometries it formats a new disk in: the `index`-th, or nullptr past the last. nullptr:
  // the driver formats no disk.
  const FormatVariant* (*format_variant)(int index);
  // Writes the newly formatted disk of the `index`-th variant into `disk`, its grid's DiskBytes()
  // bytes in the grid's order: every byte, the format's filler where the system writes nothing
  // else.
  void (*format)(int index, unsigned char* disk);
  // Copies `sector` (as many bytes as the disk's first sector) into the first sector (cylinder 0,
  // head 0, sector 1) of `disk`, which format wrote for the `index`-th variant, keeping there what
  // the system's own structures need and reserving what a file could otherwise take. nullptr: a
  // plain copy.
  void (*take_boot)(int index, const unsigned char* sector, unsigned char* disk);
  // Adds an entry as FileSystem::AddEntry says, writing through WriteLogicalSector into `image`
  // and keeping volume.table as the disk's table now is. nullptr: the driver adds no entries.
  bool (*add_entry)(Volume& volume, unsigned char* image, size_t image_size,
                    const DirectoryEntry* folder, const NewEntry& entry, DirectoryEntry& added,
                    AddRefusal& refusal);
  // Removes a file as FileSystem::RemoveEntry says, keeping volume.table as the disk's table now
  // is. nullptr: the driver removes no entries.
  bool (*remove_entry)(Volume& volume, unsigned char* image, size_t image_size,
                       const DirectoryEntry& entry, AddRefusal& refusal);
};

// The driver of `kind`, or nullptr for a kind that is no file system.
const FileSystemDriver* FindFileSystemDriver(FileSystemKind kind);
// The drivers in the order identification tries them: the `index`-th, or nullptr past the last.
const FileSystemDriver* NthFileSystemDriver(int index);

// A driver's own state in volume.driver_state: begun by its mount (nothing is written), then
// taken as it is.
template <typename State>
State& BeginDriverState(Volume& volume) {
  static_assert(sizeof(State) <= sizeof volume.driver_state && alignof(State) <= 8 &&
                    std::is_trivially_default_constructible<State>::value &&
                    std::is_trivially_destructible<State>::value,
                "a driver's state fits the volume's room and needs no construction");
  return *new (volume.driver_state) State;
}
template <typename State>
const State& DriverState(const Volume& volume) {
  return *std::launder(reinterpret_cast<const State*>(volume.driver_state));
}
template <typename State>
State& DriverState(Volume& volume) {
  return *std::launder(reinterpret_cast<State*>(volume.driver_state));
}

// The format of the `index`-th of `rows` (each with a FormatVariant `format`), or nullptr past
// the last.
template <typename Row, size_t kCount>
const FormatVariant* NthFormat(const Row (&rows)[kCount], int index) {
  return index >= 0 && static_cast<size_t>(index) < kCount ? &rows[index].format : nullptr;
}

// Mounts the first of `variants` that `mount_variant` takes, the driver's state a pointer to it.
template <typename Variant, size_t kCount>
bool MountFirstVariant(Volume& volume, const Variant (&variants)[kCount],
                       bool (*mount_variant)(const DiskMap&, const Variant&, VolumeLayout&,
                                             int16_t*)) {
  for (const Variant& v : variants) {
    if (mount_variant(*volume.map, v, volume.layout, volume.table)) {
      BeginDriverState<const Variant*>(volume) = &v;
      return true;
    }
  }
  return false;
}

// Sets entry.name from `name_length` name bytes and `extension_length` extension bytes: each
// without its trailing spaces (and NULs, with `trim_nuls`), joined by "." when the extension is
// not empty.
void FormName(const unsigned char* name, int name_length, const unsigned char* extension,
              int extension_length, bool trim_nuls, DirectoryEntry& entry);

// True when logical sector `logical` is on the disk with exactly numbering.sector_size bytes.
bool LogicalSectorHasSize(const DiskMap& map, const SectorNumbering& numbering, int64_t logical);

// Clears `entry` to a file without name, size, date or cluster.
void ClearEntry(DirectoryEntry& entry);

// What the drivers' add_entry share: the volume's free clusters taken first-free, their sectors
// checked and written, their chain linked in volume.table.

// The logical sector where `cluster` begins.
int64_t FirstSectorOfCluster(const VolumeLayout& layout, int cluster);
// The clusters volume.table marks free.
int CountFreeClusters(const Volume& volume);
// Takes the first `count` free clusters into `taken`; false (refusal kNoRoom, with the free and
// needed bytes) when there are fewer.
bool TakeFreeClusters(const Volume& volume, int64_t count, int* taken, AddRefusal& refusal);
// True when every sector of the `count` clusters is one WriteLogicalSector writes into an image
// of `image_size` bytes.
bool ClustersWritable(const Volume& volume, const int* taken, int count, size_t image_size);
// Writes the `size` bytes at `data` over the `count` clusters, zeros after their end.
void WriteClusters(const Volume& volume, unsigned char* image, size_t image_size, const int* taken,
                   int count, const unsigned char* data, int64_t size);
// The first entry, of `entry_size` bytes, in the `sectors` logical sectors from `start` whose first
// byte is 00h or FFh (deleted or never used), as its sector and index there; false when none is.
bool FindFreeEntry(const Volume& volume, int64_t start, int sectors, int entry_size,
                   int64_t& slot_sector, int& slot);
// True when the `count` logical sectors are ones WriteLogicalSector writes.
bool SectorsWritable(const Volume& volume, const int64_t* sectors, int count, size_t image_size);
// Links the clusters in volume.table, the last one's mark saying `size` bytes of data in all
// (EndMark of its sectors used, or kClusterEnd with `whole_clusters`).
void LinkClusters(Volume& volume, const int* taken, int count, int64_t size, bool whole_clusters);

// The clusters of the chain from `first` in volume.table, in order, into `clusters`
// (kMaxClusterCount); their count (0 for `first` below layout.first_cluster: FAT's empty file), or
// -1 when the chain leaves the disk's clusters, comes back to one or ends without an end mark.
int ChainClusters(const Volume& volume, int first, int* clusters);

// Removes the chained file `entry` for a driver's remove_entry: its chain freed in volume.table and
// stored by `store_table`, its entry's first byte set to `deleted_mark`. Refuses (kNotSupported) a
// folder, (kDamaged) a chain ChainClusters does not follow, (kNotWritable) an entry sector or
// table sector (`table_writable`) that cannot be written, having written nothing.
bool RemoveChainedFile(Volume& volume, unsigned char* image, size_t image_size,
                       const DirectoryEntry& entry, unsigned char deleted_mark,
                       bool (*table_writable)(const Volume& volume, size_t image_size),
                       void (*store_table)(const Volume& volume, unsigned char* image,
                                           size_t image_size),
                       AddRefusal& refusal);

}  // namespace diskimage

#endif  // DISKIMAGE_FILE_SYSTEMS_FILE_SYSTEM_DRIVER_H_
