// FAT12 (MS-DOS, MSX-DOS, FM TOWNS): a boot sector's parameter block or, without one, the layout
// the FAT's media byte names; VFAT long names and lower-case flags.
#include <cstddef>

#include "diskimage/file_systems/fat_volume.h"

namespace diskimage {
namespace {

// Disks without a parameter block (old PC-98 disks, early MS-DOS media, the X1's LSX-Dodgers)
// are read by the standard layout their FAT's first byte, the media descriptor, names, where the
// disk's sectors are of that size and its tracks of that count.
constexpr FatParameterBlock kMediaLayouts[] = {
    {1024, 1, 1, 2, 192, 1232, 0xFE, 2, 8, 2},  // PC-98 1.2 MB
    {512, 1, 1, 2, 64, 320, 0xFE, 1, 8, 1},     // 160 KB
    {512, 1, 1, 2, 64, 360, 0xFC, 2, 9, 1},     // 180 KB
    {512, 2, 1, 2, 112, 640, 0xFF, 1, 8, 2},    // 320 KB
    {512, 2, 1, 2, 112, 720, 0xFD, 2, 9, 2},    // 360 KB
    {512, 2, 1, 2, 112, 1440, 0xF9, 3, 9, 2},   // 720 KB
    {512, 1, 1, 2, 224, 2400, 0xF9, 7, 15, 2},  // 1.2 MB of 15 sectors
    {512, 1, 1, 2, 224, 2880, 0xF0, 9, 18, 2},  // 1.44 MB
};

// What MS-DOS FORMAT makes of each: 1.2 MB PC-98, 1.44 MB, 720 KB (PC and MSX), 640 KB PC-98.
constexpr unsigned char kPcBootStart[11] = {0xEB, 0x3C, 0x90, 'D', 'S', 'K',
                                            'P',  'U',  'T',  ' ', ' '};
constexpr unsigned char kX86Loop[2] = {0xEB, 0xFE};
constexpr FatFormat kFormats[] = {
    {{"pc98-2hd", {77, 2, 8, 3, false}}, kMediaLayouts[0], kPcBootStart, true, kX86Loop},
    {{"2hd", {80, 2, 18, 2, false}}, kMediaLayouts[7], kPcBootStart, true, kX86Loop},
    {{"2dd", {80, 2, 9, 2, false}}, kMediaLayouts[5], kPcBootStart, true, kX86Loop},
    {{"pc98-2dd", {80, 2, 8, 2, false}},
     {512, 2, 1, 2, 112, 1280, 0xFB, 2, 8, 2},
     kPcBootStart,
     true,
     kX86Loop},
};

const FormatVariant* Variant(int index) { return NthFormat(kFormats, index); }

void Format(int index, unsigned char* disk) { FormatFatVolume(kFormats[index], disk); }

bool Mount(Volume& volume) {
  const DiskMap& map = *volume.map;
  const SectorHeader* boot_sector = map.Find(0, 1);
  if (boot_sector == nullptr) return false;
  unsigned char boot[1024] = {};
  map.Read(*boot_sector, boot, sizeof boot);
  FatParameterBlock p;
  if (boot_sector->data_size >= 512 && ReadFatParameterBlock(boot, p)) {
    return MountFatVolume(volume, p, true, boot_sector->data_size, false);
  }
  return MountFatByMediaByte(volume, kMediaLayouts, sizeof kMediaLayouts / sizeof kMediaLayouts[0],
                             false);
}

// What names hold: the parts' bytes, the characters refused, case and padding.
constexpr NameRule kFat12Names = {
    8,    // name_bytes
    3,    // extension_bytes
    ' ',  // pad
    NameRule::kUpperCase | NameRule::kLowerCaseFlags | NameRule::kFirstE5As05 |
        NameRule::kDoubleByte | NameRule::kFolders,  // flags
    "\"*+,./:;<=>?[\\]| ",                           // refused
};

// The types of file it records: binaries', then text's default first.
constexpr FileType kFat12Types[] = {{"file", 0x20, false}, {nullptr, 0, false}};

}  // namespace

extern const FileSystemDriver kFat12Driver = {
    FileSystemKind::kFat12,              // kind
    "fat12",                             // name
    FileSystemDriver::Evidence::kMount,  // a parameter block and a FAT are evidence enough
    FileLength::kRecorded,               // file_length
    kFat12Names,                         // names
    kFat12Types,                         // file_types
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
