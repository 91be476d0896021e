// diskimage: the standard file systems of the disks (FAT12, Human68k, N88-BASIC, Hu-BASIC,
// F-BASIC, CP/M, MZ DISK BASIC) opened from a disk's sector map: their directory trees and their
// files' bytes, found as runs of sectors (from a cluster chain, CP/M's extents or an MZ file's
// start), with everything wrong on the way reported instead of guessed.
#ifndef DISKIMAGE_FILE_SYSTEM_H_
#define DISKIMAGE_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>

#include "diskimage/containers/sector_table.h"
#include "diskimage/disk_map.h"

namespace diskimage {

// What a disk holds. kFat12 to kFBasic, kHuman68k, kCpm and kMzBasic are the file systems
// FileSystem reads; kDskcut and kDskpull the two game layouts this project's programs of those
// names read.
enum class FileSystemKind {
  kFat12,
  kN88Basic,
  kHuBasic,
  kFBasic,
  kDskcut,
  kDskpull,
  kUnformatted,
  kUnknown,
  kHuman68k,  // the X68000's FAT12 with names of 18 + 3 characters (new kinds last, to keep the
  kCpm,       // values)
  kMzBasic,   // Sharp MZ-80B/2000/2500 DISK BASIC
};

// "fat12", "n88-basic", "hu-basic", "f-basic", "dskcut", "dskpull", "unformatted", "unknown",
// "human68k", "cpm", "mz-basic"; "unknown" for a value that is none of these.
DISKIMAGE_API const char* FileSystemName(FileSystemKind kind);

// True for the kinds FileSystem mounts (not the game layouts, kUnformatted or kUnknown).
DISKIMAGE_API bool IsFileSystem(FileSystemKind kind);

// The file systems FileSystem mounts, in the order Identify tries them: the `index`-th (from 0),
// or kUnknown past the last.
DISKIMAGE_API FileSystemKind NthFileSystem(int index);

// Where a file system keeps its clusters (CP/M and MZ: blocks), its allocation table and its root
// directory.
struct VolumeLayout {
  SectorNumbering numbering;
  int first_cluster;        // the lowest cluster number that holds data (FAT12: 2, others: 0)
  int cluster_count;        // cluster numbers first_cluster .. first_cluster + cluster_count - 1
  int sectors_per_cluster;  // logical sectors
  int64_t cluster_start;    // logical sector of cluster first_cluster
  int64_t root_start;       // logical sector of the root directory
  int root_sectors;
  int entry_size;             // bytes of a directory entry: 16 (N88-BASIC) or 32
  const char* variant;        // "2D", "2DD", "2HD", CP/M's format name or, for FAT12 and Human68k,
                              // "" (the boot says)
  int allocation_mismatches;  // data clusters the allocation table marks otherwise than the
                              // directory's files use them, where the file system checks it at
                              // the mount (MZ): a warning, not damage
};

// A date and time as a directory records it (local time, no zone).
struct FileDate {
  int year, month, day, hour, minute, second;
};

// True for a date the calendar has: month 1-12, a day of that month (29 February in leap years),
// hour 0-23, minute and second 0-59. Directories record others (a month 0, a second 60), which
// are no day to normalise into another.
DISKIMAGE_API bool PossibleDate(const FileDate& date);

// One entry of a directory: a file or a subdirectory.
struct DirectoryEntry {
  static constexpr int kMaxLongName = 255;

  // The name as the file system forms it from the entry's bytes (code page 932 on Japanese
  // systems): FAT "NAME.EXT" (lower case where the entry's flags say so; Human68k up to 18
  // characters before the point, the 9th on from the bytes at 0x0C), Hu-BASIC and N88-BASIC
  // the name without trailing spaces, then "." and the extension without trailing spaces when it
  // is not empty, F-BASIC the 8 bytes without trailing spaces or NULs. It may hold NUL bytes
  // (`name_length` counts them); a NUL always follows.
  unsigned char name[24];
  int name_length;
  uint16_t long_name[kMaxLongName + 1];  // FAT: the VFAT long name in UTF-16, NUL-terminated
  int long_name_length;                  // 0 when there is none
  bool directory;
  bool ascii;      // an ASCII file, whose text ends before its first 0x1A
  int attributes;  // the entry's attribute, mode or type byte as stored
  int64_t size;    // the size the entry records; -1 when the file system records none
  bool has_date;
  FileDate date;
  int first_cluster;  // CP/M: the index of its first directory entry (a user folder: its number);
                      // MZ: the logical sector where its data begin
  int32_t location;   // where the entry lies (its directory sector * 64 + its place there): the
                      // clusters it claims are its own, however often it is read
};

// What went wrong while a chain was followed and its sectors read. A file with any of it was not
// read whole.
struct ChainDamage {
  bool loops;              // the chain comes back to a cluster it passed through
  bool leaves_disk;        // it names a cluster beyond the disk's clusters
  bool ends_early;         // it reaches a free, reserved or bad cluster instead of an end mark
  bool invalid_link;       // it reaches a table entry holding a value no table of its file
                           // system holds
  bool shared;             // a cluster already belonged to another file or folder (for a
                           // folder: also one the tree passed through, a loop of folders)
  bool size_beyond_chain;  // the recorded size is larger than the chain holds
  int missing_sectors;     // sectors not on the disk or shorter than they should be: zeros
  int error_sectors;       // sectors whose status records a CRC error or a missing mark
  bool over_budget;        // not read on: the disk's chains together read more than
                           // FileSystem::kReadBudget times its clusters' sectors
  bool outside_data;       // CP/M, MZ: a block it needs is none (CP/M: 0, the directory's or past
                           // the last; zeros in its place) or its data lie outside the data area
  bool extents_missing;    // CP/M: an entry of the file is missing or recorded twice
  bool storage_unknown;    // MZ: a data file (BSD, BRD) whose sectors no document locates: not
                           // read

  bool Any() const {
    return loops || leaves_disk || ends_early || invalid_link || shared || size_beyond_chain ||
           missing_sectors > 0 || error_sectors > 0 || over_budget || outside_data ||
           extents_missing || storage_unknown;
  }
};

// The most clusters a disk of these file systems has.
constexpr int kMaxClusterCount = 4096;

// Where a directory read stands: made by FileSystem::Root or FileSystem::Subdirectory and moved
// on by FileSystem::NextEntry.
struct DirectoryCursor {
  bool chained;     // a subdirectory, whose sectors follow a cluster chain
  int cluster;      // the chain's current cluster
  int64_t sector;   // logical sector being read (root) or sector within `cluster`
  int64_t logical;  // the logical sector in `bytes`
  int entry;        // next entry within the sector
  int32_t owner;    // what the folder's clusters are claimed for: its entry's location + 1
  uint8_t passed[kMaxClusterCount / 8];  // the folder's clusters so far, for a chain that loops
  int64_t sectors_read;
  bool ended;
  int invalid_entries;        // entries passed over because no entry of the file system holds them
  int folder;                 // a folder without clusters of its own (a view of a one-piece
                              // directory, as CP/M's user numbers): its number; 0 for the root
  ChainDamage damage;         // what went wrong with the directory's own chain and sectors
  unsigned char bytes[1024];  // the sector being read
  // A VFAT long name being gathered from the entries before its short entry.
  uint16_t long_name[DirectoryEntry::kMaxLongName + 1];
  int long_name_checksum;  // -1: none pending
  int long_name_next;      // the sequence number expected next
};

// How deep a tree the readers of this library and its programs follow: folders below this depth
// are not entered (a chain of folders costs a cursor each).
constexpr int kMaxFolderDepth = 16;

// Where a CP/M or MZ file lies: units of `unit_sectors` logical sectors (CP/M a block, MZ one
// sector), the last holding `last_unit_sectors`.
struct FileUnits {
  int32_t first_sector[kMaxClusterCount];  // -1 for a block the file lacks
  int count;
  int unit_sectors;
  int last_unit_sectors;
};

// A run of a file's logical sectors, as a file system locates its bytes.
struct SectorRun {
  int64_t first;  // logical sector; -1 for a block the file lacks (zeros in its place)
  int count;      // sectors
};

// A file or folder to add to a directory: its name as the directory stores it and, for a file,
// its bytes.
struct NewEntry {
  unsigned char name[24];  // the name field as stored, padded as the system pads it (FAT: 8 + 3
                           // bytes, spaces, then the case flags of the entry's byte 0Ch;
                           // Human68k: then the name's bytes 9-18, 00h-padded): FormEntryName's
  bool directory;
  int attributes;             // the attribute or mode byte as stored
  const unsigned char* data;  // a file's `size` bytes
  int64_t size;
  bool ascii;        // a text file, where the system records it apart from the type (F-BASIC)
  int load_address;  // where the system records them (Hu-BASIC, MZ): a binary's load and
  int exec_address;  // execution addresses
  bool has_date;
  FileDate date;
};

// Why an entry was not added; nothing was written then.
struct AddRefusal {
  enum Reason {
    kNone,
    kNoRoom,         // the clusters it needs are more than are free
    kDirectoryFull,  // the folder has no free entry and cannot grow
    kDamaged,        // the folder's chain or the table is damaged where the entry would go
    kNotWritable,    // a sector it would write is missing or not the image's own bytes
    kNotSupported,   // the file system adds no entries of this kind (yet)
    kTooLarge,       // larger than the file system records a file's size
  } reason;
  int64_t bytes_free;    // kNoRoom: the free clusters' bytes
  int64_t bytes_needed;  // kNoRoom: the clusters' bytes the entry needs
};

// What a mounted disk's driver works on: the disk, the layout and allocation table its mount
// found, and the driver's own state (a one-piece directory read at the mount, say), of which
// callers of FileSystem know nothing.
struct Volume {
  static constexpr int kDriverStateBytes = 8192 + 64;
  const DiskMap* map = nullptr;
  VolumeLayout layout = {};
  int16_t table[kMaxClusterCount] = {};  // by cluster number: the next cluster, or a mark
  // Written by the mount before it is read; left unset, so that an object in static storage
  // costs no page for it until a driver that keeps state mounts a disk.
  alignas(8) unsigned char driver_state[kDriverStateBytes];
};

// The name of a new entry, as FormEntryName forms it from a host name.
struct EntryName {
  unsigned char stored[24];  // NewEntry::name
  char shown[32];            // as DirectoryEntry::name will read (code page 932), NUL-terminated
  bool changed;              // shortened, characters replaced or letters put in upper case
};

// Forms the name of a new entry of `kind` from `name` (code page 932, NUL-terminated, one part of
// a path; `directory` for a folder) by the system's rule: the bytes before and after the last
// point (FAT12 8 + 3, Human68k 18 + 3, N88-BASIC 6 + 3, Hu-BASIC 13 + 3, CP/M 8 + 3; F-BASIC 8 and
// MZ 17, a point being one of them), the characters it refuses, upper case where it stores it
// (FAT12's all-lower-case parts recorded as such; CP/M), double-byte characters where it has them
// (FAT12, Human68k, N88-BASIC; else full-width kana and marks become half-width, CP/M holding
// ASCII only), folders where it has them (CP/M's are the user numbers "1" to "15"). False for a
// name that breaks the rule, with the rule in `rule` (`rule_size` bytes: "fat12 names have at most
// 8 bytes before the point and 3 after"); with `shorten`, such a name is made to fit as the
// systems' own tools make short names (parts cut, points before the last dropped, other refused
// characters "_"; `changed` set) and only an empty name or a folder the system cannot have is
// refused.
DISKIMAGE_API bool FormEntryName(FileSystemKind kind, const char* name, bool directory,
                                 bool shorten, EntryName& formed, char* rule, size_t rule_size);

// Sets entry.attributes and entry.ascii for a new file of `kind` named `name` (code page 932)
// holding the `size` bytes at `data`: of the type `type` names, as the listings' type column
// shows it (N88-BASIC and Hu-BASIC "bin", "asc", "bas"; F-BASIC those and "dat"; MZ "obj", "btx"),
// or with `type` nullptr by the name's extension: ".bas", ".asc" and ".txt" text, the system's
// ASCII type where it has one (text that ends before 1Ah, which the caller appends), unless its
// bytes are no text (control codes but tab, line and form feed, carriage return, a final 1Ah):
// then tokenised BASIC ("bas") where the system has it; other names binary. False for a type the
// system does not record, with the types it does in `rule` (`rule_size` bytes).
DISKIMAGE_API bool ChooseFileType(FileSystemKind kind, const char* type, const char* name,
                                  const unsigned char* data, int64_t size, NewEntry& entry,
                                  char* rule, size_t rule_size);

// True for the systems that record a binary's load and execution addresses (Hu-BASIC, MZ).
DISKIMAGE_API bool RecordsAddresses(FileSystemKind kind);

// The geometries `kind` formats a new disk in: the `index`-th (from 0), its name (lower case:
// "pc98-2hd") into `name` and its layout into `grid`. False past the last, or for a kind that
// formats no disk.
DISKIMAGE_API bool NthFormatVariant(FileSystemKind kind, int index, const char*& name,
                                    SectorGrid& grid);

// The index of `kind`'s format variant named `name` (in any case), or -1 for none.
DISKIMAGE_API int FindFormatVariant(FileSystemKind kind, const char* name);

// Writes the disk that `kind`'s own format command makes in the `index`-th variant into `disk`:
// `size` bytes, its grid's DiskBytes(), in the grid's order (as AddGridTrack reads them). False,
// nothing written, for another size or no such variant.
DISKIMAGE_API bool FormatDisk(FileSystemKind kind, int index, unsigned char* disk, size_t size);

// The bytes of the boot sector (cylinder 0, head 0, sector 1) of a disk of `grid`.
DISKIMAGE_API int64_t BootSectorBytes(const SectorGrid& grid);

// Copies the boot sector `boot` (`boot_size` bytes, at most the sector's; zeros after them) into
// the new disk `disk` that FormatDisk wrote for `kind`'s `index`-th variant: FAT12 and Human68k
// keep the new disk's parameter block (bytes 0Bh-1Dh), N88-BASIC reserves the cluster that holds
// it, as the system reserves its boot track, so that no file is written over it. False, nothing
// written, for a larger boot, another disk size or no such variant.
DISKIMAGE_API bool WriteBootSector(FileSystemKind kind, int index, const unsigned char* boot,
                                   size_t boot_size, unsigned char* disk, size_t disk_size);

struct FileSystemDriver;

// A disk opened as one of the file systems, through the driver of its kind. Holds its allocation
// table, which entry each cluster was read for (two entries' clusters are shared ones), and the
// driver's state (for CP/M and MZ a copy of the directory), about 48 KB. Not copyable.
class DISKIMAGE_API FileSystem {
 public:
  static constexpr int kMaxClusters = kMaxClusterCount;
  // The largest one-piece directory (CP/M, MZ) a disk may have: 256 entries of 32 bytes.
  static constexpr int kMaxDirectoryBytes = 8192;
  // Chains that share clusters read them again; all reads of a mounted disk stop at this many
  // times its clusters' sectors (plus 4096), so no disk costs time out of proportion to its size.
  static constexpr int kReadBudget = 8;

  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // Opens the disk that `map` holds as file system `kind` (kFat12 to kFBasic, kHuman68k, kCpm or
  // kMzBasic). Returns false when the disk lacks its structures, checked strictly: the geometry,
  // the allocation table at its place with its entries legal values (at most one in 16 of a BASIC
  // table damaged: a link past the last cluster or a value no table holds) and its reserved
  // clusters marked, for FAT12 a parameter block whose numbers agree with each other and with the
  // disk, for CP/M a known format whose directory holds only well-formed entries (an empty one
  // too, as a new disk's: Identify asks for a file as well), for MZ a bitmap and directory that
  // agree with the disk. The map must outlive the use of this object.
  bool Mount(const DiskMap& map, FileSystemKind kind);

  FileSystemKind Kind() const { return kind; }
  const VolumeLayout& Layout() const { return volume.layout; }
  int64_t ClusterBytes() const {
    return int64_t{volume.layout.sectors_per_cluster} * volume.layout.numbering.sector_size;
  }
  // Clusters the allocation table marks free, and those it gives to files and directories (the
  // system's reserved and bad clusters are neither).
  int FreeClusters() const;
  int UsedClusters() const;

  // FAT12 and Human68k: the root directory's volume label (up to 11 bytes as stored, code page
  // 932, trailing spaces removed) into `label` (12 bytes, NUL-terminated); "" where there is none
  // or for another file system.
  void VolumeLabel(char* label) const;

  // One sentence of the evidence the mount found (the structures and values that named the file
  // system) into `text` (`size` bytes, NUL-terminated); "" when no disk is mounted.
  void DescribeMount(char* text, size_t size) const;

  // The type and attributes of `entry`, one of this disk's, as listings show them ("-r--a",
  // "bas r", "user"...), in at most 7 characters and a NUL into `type` (8 bytes); "?" when no
  // disk is mounted.
  void EntryType(const DirectoryEntry& entry, char* type) const;

  // A cursor at the first entry of the root directory, or of the subdirectory `entry` names.
  void Root(DirectoryCursor& cursor) const;
  void Subdirectory(const DirectoryEntry& entry, DirectoryCursor& cursor);

  // Reads the next file or subdirectory of the cursor's directory into `entry`; false at the end
  // of the directory. Deleted entries, volume labels, long-name pieces and a subdirectory's own
  // first two entries "." and ".." are passed over; so are entries whose bytes no entry of the
  // file system holds, counted in cursor.invalid_entries. A subdirectory's clusters are claimed as
  // they are read: a chain that loops, leaves the disk or meets a cluster claimed for another
  // entry ends the directory, with the reason in cursor.damage. CP/M lists each file once (its
  // first entry), user 0's in the root, then a folder named "1" to "15" for each other user that
  // has files.
  bool NextEntry(DirectoryCursor& cursor, DirectoryEntry& entry);

  // Finds the sectors of the file `entry` names and writes its bytes into `dest` (at most
  // `capacity`; `dest` may be nullptr to check the file only). The bytes are: FAT12, Human68k
  // and Hu-BASIC the recorded size (Hu-BASIC ASCII files, and a Hu-BASIC size of 0 or beyond the
  // chain, the chain's used sectors cut before the first 0x1A); N88-BASIC and F-BASIC the chain's
  // used sectors, ASCII files cut before their first 0x1A; CP/M its records (the last one cut to
  // the byte count its last entry holds, where it holds one); MZ the recorded size from its first
  // sector on (a BSD or BRD data file: nothing, storage_unknown). Missing sectors give zeros.
  // Claims the file's clusters for the entry: a cluster claimed for another entry is `shared`,
  // one that the same entry claimed before is not, so an entry can be read again (its size
  // first, say). Returns the file's length (which may exceed `capacity`) and sets `damage`. With
  // `dest` nullptr the length is the one the bytes will have; only sectors where a 0x1A may end
  // the file are then read.
  int64_t ReadFile(const DirectoryEntry& entry, unsigned char* dest, int64_t capacity,
                   ChainDamage& damage);

  // Forgets which clusters were claimed, so that the tree can be read again.
  void ForgetClaims();

  // Adds `entry` to the folder `folder` names (nullptr: the root directory), writing its data,
  // the allocation table and the directory into `image` (`image_size` bytes), the bytes the
  // mounted map's source reads its sectors from. Clusters are taken first-free, as the systems'
  // own writers take them. Sets `added` to the entry as NextEntry gives it. Returns false with
  // `refusal` set, having written nothing, when the disk has not the room or the folder is full
  // or damaged. The name is taken as it is: checking it is the caller's.
  bool AddEntry(unsigned char* image, size_t image_size, const DirectoryEntry* folder,
                const NewEntry& entry, DirectoryEntry& added, AddRefusal& refusal);

  // Removes the file `entry`, one of this disk's as NextEntry gave it, writing into `image` as
  // AddEntry does: its entry marked deleted as the system marks one (CP/M: each of its entries),
  // its clusters freed in the table (MZ: the bitmap). Returns false with `refusal` set, having
  // written nothing: kNotSupported for a folder (or an MZ data file), kDamaged for an entry or
  // chain that does not hold together, kNotWritable for a sector it cannot write.
  bool RemoveEntry(unsigned char* image, size_t image_size, const DirectoryEntry& entry,
                   AddRefusal& refusal);

 private:
  // Where a file's runs stand: a chain's cluster, or the next of a located file's blocks.
  struct RunCursor {
    int32_t owner;
    int cluster;  // the chain's last cluster returned; -1 before the first
    int first;    // the chain's first cluster
    int unit;     // the next of file_units (CP/M, MZ)
    uint8_t passed[kMaxClusters / 8];
  };

  // The next run of the file at `cursor`, claiming its clusters; false at the file's end (the
  // reason, unless it ended as it should, in `damage`).
  bool NextRun(RunCursor& cursor, SectorRun& run, ChainDamage& damage);
  // Reads the file's runs from `cursor` on, appending their bytes to `dest` up to `capacity`.
  // With `end_of_file`, also finds the offset of the first 0x1A (-1: none), reading the sectors
  // for it where `dest` does not take them. Returns the runs' bytes.
  int64_t ReadRuns(RunCursor& cursor, unsigned char* dest, int64_t capacity, ChainDamage& damage,
                   int64_t* end_of_file);
  // A cursor at the start of the chain from `first`, claimed for `owner`; false when `first` is
  // no cluster of the disk.
  bool StartChain(int first, int32_t owner, RunCursor& cursor, ChainDamage& damage);
  // Lists where the located file `entry` lies in `units`; false when there is nothing to read.
  bool LocateFile(const DirectoryEntry& entry, ChainDamage& damage);
  // The next cluster of a chain after `cluster`, or -1 at its end (reporting why into `damage`
  // unless it is the end mark); claims it.
  int NextInChain(int cluster, int32_t owner, ChainDamage& damage);
  // Claims `cluster` for `owner`; false (leaves_disk) outside the disk's clusters, `shared` when
  // another owner has it.
  bool Claim(int cluster, int32_t owner, ChainDamage& damage);
  // The sectors of `cluster` that hold data: all of them, or fewer as its end mark says.
  int SectorsUsed(int cluster) const;
  // The logical sector where `cluster` begins.
  int64_t FirstSectorOf(int cluster) const;
  bool ReadDirectorySector(DirectoryCursor& cursor);

  const FileSystemDriver* driver = nullptr;
  FileSystemKind kind = FileSystemKind::kUnknown;
  Volume volume;
  int32_t owners[kMaxClusters] = {};  // by cluster number: 0, or the owner that claimed it
  int64_t sectors_read = 0;           // since the mount, against the read budget
  // Where the located file being read lies (a driver that locates files rather than chaining
  // them): the first logical sector of each of its units (-1 for a unit it lacks). Written as
  // each file is located; left unset, as the driver's state is.
  FileUnits units;
};

}  // namespace diskimage

#endif  // DISKIMAGE_FILE_SYSTEM_H_
