// Human68k (X68000): FAT12 with 68000 boot code, its own big-endian boot-sector fields where the
// MS-DOS parameter block is missing, and names of 18 + 3 characters.
#include <cstddef>
#include <cstdint>

#include "diskimage/file_systems/fat_volume.h"

namespace diskimage {
namespace {

// A Human68k boot sector without a little-endian parameter block: 1024-byte sectors, one
// reserved, two FATs of two sectors; the root directory is 192 entries or 32.
constexpr FatParameterBlock kHuman68kLayouts[] = {
    {1024, 1, 1, 2, 192, 1232, 0xFE, 2, 8, 2},
    {1024, 1, 1, 2, 32, 1232, 0xFE, 2, 8, 2},
};

constexpr int kHuman68kBranch = 0x60;  // a 68000 BRA: the boot code's first byte

int ReadBe16(const unsigned char* bytes) { return (bytes[0] << 8) | bytes[1]; }

// Human68k's own boot-sector fields, big-endian and in another order; the geometry is the disk's.
bool ReadHuman68kBlock(const unsigned char* boot, const DiskGeometry& disk, FatParameterBlock& p) {
  p.bytes_per_sector = ReadBe16(boot + 0x12);
  p.sectors_per_cluster = boot[0x14];
  p.fat_count = boot[0x15];
  p.reserved_sectors = ReadBe16(boot + 0x16);
  p.root_entries = ReadBe16(boot + 0x18);
  p.total_sectors = ReadBe16(boot + 0x1A);
  if (p.total_sectors == 0) {
    const uint32_t total = (uint32_t{boot[0x1E]} << 24) | (uint32_t{boot[0x1F]} << 16) |
                           (uint32_t{boot[0x20]} << 8) | boot[0x21];
    p.total_sectors = total > 65535 ? 0 : static_cast<int>(total);
  }
  p.media = boot[0x1C];
  p.sectors_per_fat = boot[0x1D];
  p.sectors_per_track = disk.sectors_per_track;
  p.heads = disk.heads;
  return ConsistentFatBlock(p);
}

// What Human68k's FORMAT makes of a 2HD disk, as a real formatted system disk shows it: a 68000
// branch to 3Eh, "X68IPL30", an MS-DOS parameter block.
constexpr unsigned char kBootStart[11] = {0x60, 0x3C, 0x90, 'X', '6', '8', 'I', 'P', 'L', '3', '0'};
constexpr unsigned char k68000Loop[2] = {0x60, 0xFE};
constexpr FatFormat kFormats[] = {
    {{"2hd", {77, 2, 8, 3, false}}, kHuman68kLayouts[0], kBootStart, false, k68000Loop},
};

const FormatVariant* Variant(int index) { return NthFormat(kFormats, index); }

void Format(int index, unsigned char* disk) { FormatFatVolume(kFormats[index], disk); }

bool Mount(Volume& volume) {
  const DiskMap& map = *volume.map;
  const SectorHeader* boot_sector = map.Find(0, 1);
  if (boot_sector == nullptr || boot_sector->data_size < 512) return false;
  unsigned char boot[1024] = {};
  map.Read(*boot_sector, boot, sizeof boot);
  if (boot[0] != kHuman68kBranch) return false;  // the 68000 boot code tells it from MS-DOS
  FatParameterBlock p;
  if (ReadFatParameterBlock(boot, p) || ReadHuman68kBlock(boot, map.Summarize(), p)) {
    return MountFatVolume(volume, p, true, boot_sector->data_size, true);
  }
  return MountFatByMediaByte(volume, kHuman68kLayouts,
                             sizeof kHuman68kLayouts / sizeof kHuman68kLayouts[0], true);
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kHuman68kNames = {
    18,   // name_bytes
    3,    // extension_bytes
    ' ',  // pad
    NameRule::kLongTail | NameRule::kFirstE5As05 | NameRule::kDoubleByte |
        NameRule::kFolders,  // flags
    "\"*+,./:;<=>?[\\]| ",   // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kHuman68kTypes[] = {{"file", 0x20, false}, {nullptr, 0, false}};

}  // namespace

extern const FileSystemDriver kHuman68kDriver = {
    FileSystemKind::kHuman68k,           // kind
    "human68k",                          // name
    FileSystemDriver::Evidence::kMount,  // a parameter block and a FAT are evidence enough
    FileLength::kRecorded,               // file_length
    kHuman68kNames,                      // names
    kHuman68kTypes,                      // file_types
    false,                               // records_addresses
    Mount,                               // mount
    DescribeFatVolume,                   // describe
    ParseFatEntry,                       // parse_entry
    nullptr,                             // next_entry
    nullptr,                             // locate
    ReadFatLabel,                        // label
    FatEntryType,                        // entry_type
    Variant,                             // format_variant
    Format,                              // format
    TakeFatBoot,                         // take_boot
    AddFatEntry,                         // add_entry
    RemoveFatEntry,                      // remove_entry
};

}  // namespace diskimage
