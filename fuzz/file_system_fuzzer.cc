// Fuzz target for container recognition, the sector map, identification and the file systems:
// any bytes as an image in memory, in whatever container they are taken for; every disk (the first
// eight) is mapped, summarised and identified, then opened as each file system whose structures it
// holds, its tree walked and every file read; where the file system takes new entries, a folder
// and a file are added to a copy of the image and the tree walked again. Checks that lengths stay
// within what was asked and that a second identification agrees with the first.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "diskimage/disk_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/file_system.h"
#include "diskimage/identify.h"
#include "fuzz/fuzz_scratch.h"

namespace {

using namespace diskimage;

unsigned char file_bytes[1 << 20];
unsigned char image_copy[1 << 20];  // the image that entries are added to

// Adds a folder and, into it, a file of a few clusters, as far as they fit.
void AddEntries(FileSystem& fs, size_t image_size) {
  NewEntry entry = {};
  memcpy(entry.name, "FOLDER     ", 11);
  entry.directory = true;
  DirectoryEntry folder;
  AddRefusal refusal;
  const bool added = fs.AddEntry(image_copy, image_size, nullptr, entry, folder, refusal);
  if (!added && refusal.reason == AddRefusal::kNone) FuzzFail("a refusal without a reason");
  memcpy(entry.name, "FILE    BIN", 11);
  entry.directory = false;
  entry.data = file_bytes;
  entry.size = 5000;
  DirectoryEntry file;
  fs.AddEntry(image_copy, image_size, added ? &folder : nullptr, entry, file, refusal);
}

// The file systems opened: all of them, or one where the target is built for one
// (FUZZED_FILE_SYSTEM), so that its reader gets every input's time.
FileSystemKind MountedKind(int index) {
#ifdef FUZZED_FILE_SYSTEM
  return index == 0 ? FileSystemKind::FUZZED_FILE_SYSTEM : FileSystemKind::kUnknown;
#else
  return diskimage::NthFileSystem(index);
#endif
}

void ReadTree(FileSystem& fs, DirectoryCursor& cursor, int depth) {
  DirectoryEntry entry;
  while (fs.NextEntry(cursor, entry)) {
    if (entry.name_length < 0 || entry.name_length >= static_cast<int>(sizeof entry.name) ||
        entry.long_name_length < 0 || entry.long_name_length > DirectoryEntry::kMaxLongName) {
      FuzzFail("a name longer than its room");
    }
    if (entry.directory) {
      if (depth + 1 >= kMaxFolderDepth) continue;
      static DirectoryCursor cursors[kMaxFolderDepth];
      fs.Subdirectory(entry, cursors[depth + 1]);
      ReadTree(fs, cursors[depth + 1], depth + 1);
      continue;
    }
    ChainDamage damage;
    const int64_t length = fs.ReadFile(entry, file_bytes, sizeof file_bytes, damage);
    if (length < 0) FuzzFail("a negative file length");
    ChainDamage checked;
    if (fs.ReadFile(entry, nullptr, 0, checked) < 0) FuzzFail("a negative chain length");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static DiskImage image;
  static DiskMap map;
  static FileSystem fs;
  if (size > sizeof image_copy) return 0;
  memcpy(image_copy, data, size);
  image.OpenMemory(image_copy, size);
  for (int disk = 0; disk < image.DiskCount() && disk < 8; ++disk) {
    image.SelectDisk(disk);
    map.Load(image.Disk());
    const DiskGeometry geometry = map.Summarize();
    if (geometry.total_sectors < 0 || geometry.heads < 0 || geometry.heads > 2) {
      FuzzFail("a geometry out of range");
    }
    Identification first, second;
    Identify(map, fs, first);
    Identify(map, fs, second);
    if (first.kind != second.kind || first.files != second.files ||
        strcmp(first.evidence, second.evidence) != 0) {
      FuzzFail("identification differs from one call to the next");
    }
    for (int i = 0; MountedKind(i) != FileSystemKind::kUnknown; ++i) {
      if (!fs.Mount(map, MountedKind(i))) continue;
      static DirectoryCursor root;
      fs.Root(root);
      ReadTree(fs, root, 0);
      AddEntries(fs, size);
      fs.ForgetClaims();
      fs.Root(root);
      ReadTree(fs, root, 0);
    }
  }
  image.Open(nullptr);
  return 0;
}
