// What FAT12's and Human68k's drivers share: their parameter block, the mount of the volume it
// describes (or that the FAT's media byte names), their 32-byte directory entries, the volume
// label, the evidence and the entry types. Not installed.
#ifndef DISKIMAGE_FILE_SYSTEMS_FAT_VOLUME_H_
#define DISKIMAGE_FILE_SYSTEMS_FAT_VOLUME_H_

#include <cstddef>
#include <cstdint>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {

// An entry's byte 0Ch (FAT12, not Human68k): its name, its extension stored in upper case are
// lower case.
constexpr int kLowerCaseName = 0x08;
constexpr int kLowerCaseExtension = 0x10;

struct FatParameterBlock {
  int bytes_per_sector, sectors_per_cluster, reserved_sectors, fat_count, root_entries;
  int total_sectors, media, sectors_per_fat, sectors_per_track, heads;
};

// The state a FAT volume's mount leaves: whether no parameter block but the FAT's media byte
// named its layout, and whether the volume is Human68k's.
struct FatState {
  bool from_media_byte;
  bool human68k;
  int reserved_sectors;  // where the first FAT begins
  int fat_count;
  int sectors_per_fat;
};

// True when the block's numbers are ones a FAT12 volume can have.
bool ConsistentFatBlock(const FatParameterBlock& block);
// Reads the little-endian parameter block of the boot sector `boot` (at least 0x1C bytes); true
// when it is consistent.
bool ReadFatParameterBlock(const unsigned char* boot, FatParameterBlock& block);

// Mounts the volume `block` describes on volume.map. `boot_size` is the boot sector's bytes, which
// a parameter block (`from_block`) must agree with; the disk must hold at least half the sectors
// the block counts, the first FAT (beginning with the media byte) and the root directory's last
// sector. False otherwise. A `human68k` volume's entries are read as Human68k's.
bool MountFatVolume(Volume& volume, const FatParameterBlock& block, bool from_block, int boot_size,
                    bool human68k);
// Mounts the first of `count` standard layouts whose media byte the FAT's first byte is, on a disk
// of its sector size and track length, where the root directory's first sector parses.
bool MountFatByMediaByte(Volume& volume, const FatParameterBlock* layouts, size_t count,
                         bool human68k);

// The entry parser of both: Human68k names have 18 + 3 characters, the first 8 at 0x00 and the
// rest at 0x0C up to a 00h, and neither VFAT long names (FAT12 gathers them in `cursor`) nor
// lower-case flags.
EntryParse ParseFatEntry(const Volume& volume, const unsigned char* raw, int64_t index,
                         DirectoryEntry& entry, DirectoryCursor& cursor);

// The volume label entry of the mounted root directory: its 11 bytes without trailing spaces into
// `label` (12 bytes, NUL-terminated); "" for none.
void ReadFatLabel(const Volume& volume, char* label);
// The mount's evidence (for Human68k, beginning with the 68000 boot code).
void DescribeFatVolume(const Volume& volume, char* text, size_t size);
// "d" for a folder, then "r", "h", "s", "a" for the attributes set ("-" for each not).
void FatEntryType(const DirectoryEntry& entry, char* type);

// Removes the file `entry`: its entry marked deleted (E5h), its chain freed in every table copy.
bool RemoveFatEntry(Volume& volume, unsigned char* image, size_t image_size,
                    const DirectoryEntry& entry, AddRefusal& refusal);

// Adds an entry to a mounted FAT volume (the driver's add_entry): clusters first-free, the chain
// in every FAT copy, a folder's cluster with its "." and ".." entries, a subfolder grown by a
// cluster when it has no free entry.
bool AddFatEntry(Volume& volume, unsigned char* image, size_t image_size,
                 const DirectoryEntry* folder, const NewEntry& entry, DirectoryEntry& added,
                 AddRefusal& refusal);

// A new disk as a format command makes it: the grid, the parameter block, and the boot sector's
// first 11 bytes (a jump or branch to offset 3Eh and the OEM text).
struct FatFormat {
  FormatVariant format;
  FatParameterBlock block;
  const unsigned char* boot_start;  // 11 bytes
  bool extended_block;  // MS-DOS 4's extended block at 24h: signature 29h, label "NO NAME", "FAT12"
  const unsigned char* boot_loop;  // 2 bytes at 3Eh: a jump to itself (the disk boots nothing)
};

// A boot sector taken into a new FAT12 or Human68k disk: all but the parameter block of the DOS
// 3 boot sector (bytes 0Bh-1Dh), which stays the new disk's.
void TakeFatBoot(int index, const unsigned char* sector, unsigned char* disk);

// Writes the formatted volume `format` describes into `disk` (the grid's bytes, logical sectors
// in order): the boot sector with its parameter block and 55h AAh at 1FEh, the FATs (media byte,
// FFh FFh, then free clusters), an empty root directory, and F6h, MS-DOS FORMAT's filler, in the
// data area.
void FormatFatVolume(const FatFormat& format, unsigned char* disk);

}  // namespace diskimage

#endif  // DISKIMAGE_FILE_SYSTEMS_FAT_VOLUME_H_
