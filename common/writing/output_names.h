// The names dskget writes: formed from a directory entry, made safe, and kept apart from every
// name already written in the same folder.
#ifndef COMMON_WRITING_OUTPUT_NAMES_H_
#define COMMON_WRITING_OUTPUT_NAMES_H_

#include <cstddef>
#include <cstdint>

#include "common/run/name_table.h"
#include "diskimage/file_system.h"

// Room for any output name: 255 UTF-16 units as UTF-8 or escapes, a suffix and a NUL.
constexpr size_t kOutputNameSize = 3 * 255 + 16;

// Forms the name of `entry` into `name`: the FAT long name (from UTF-16) where there is one,
// else the entry's name converted from Shift-JIS (a byte that is no character as %XX); with
// `raw`, the entry's bytes. '/' and bytes below 0x20 are written %XX either way. Then made safe
// as the other programs make names (".", "..", and on Windows reserved characters and device
// names). `formed` (kOutputNameSize bytes) gets the name before it was made safe. Returns true
// when the name had to be changed to be safe.
bool FormOutputName(const diskimage::DirectoryEntry& entry, bool raw, char* formed, char* name);

// The names written in each folder of a run, compared as Windows and macOS compare them (ASCII
// letters without regard to case), so that no file is written over another.
class NameRegistry {
 public:
  // Works in `slots`, `count` zeroed entries (a power of two) that the caller owns.
  constexpr NameRegistry(NameSlot* slots, size_t count) : table(slots, count) {}

  // Makes `name` unique in the folder `folder_key`: when taken, inserts ~2, ~3, ... before the
  // extension (NAME~2.EXT). Records it. Returns true when the name was changed.
  bool MakeUnique(uint64_t folder_key, char* name);
  // True once the registry is too full to tell names apart; names are then taken as they are.
  bool Full() const { return table.Full(); }
  // Forgets every name, for the next run in the same process.
  void Clear() { table.Clear(); }

  // The key of the folder `name` inside the folder `parent`.
  static uint64_t FolderKey(uint64_t parent, const char* name) {
    return NameTable::Key(parent * 31 + 7, name, true);
  }

 private:
  NameTable table;
};

// Room for an image's folder path: 32 parts of a folder walk and an archive's members.
constexpr size_t kImageFolderSize = 8192;

// Forms into `out` (kImageFolderSize bytes) the folder below the output folder that an image's
// disks go into, from `folder` ('/' between its parts, extensions kept, so that the folder is a
// function of the image's path alone): each part made safe as a file's name is, and the last,
// where an earlier image's folder took that name (two command-line PATHs of one base name), with
// ~2, ~3, ... (recorded in `names`). Sets `key` to the folder's key
// in `names`. Returns true when the last part was renamed so.
bool FormImageFolder(NameRegistry& names, const char* folder, char* out, uint64_t& key);

#endif  // COMMON_WRITING_OUTPUT_NAMES_H_
