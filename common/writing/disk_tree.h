// Walking the directory tree of one mounted disk as dskget writes it: each entry's output name
// (made safe, kept apart from the names before it), its type and attributes, and each file's bytes
// and damage, handed to a visitor that writes, lists or hashes them.
#ifndef COMMON_WRITING_DISK_TREE_H_
#define COMMON_WRITING_DISK_TREE_H_

#include <cstddef>
#include <cstdint>

#include "common/console/diagnostics.h"
#include "common/writing/output_names.h"
#include "diskimage/file_system.h"

// Room for the path of a file below its disk's folder, as deep as the trees are followed.
constexpr size_t kTreePathSize = diskimage::kMaxFolderDepth * kOutputNameSize;

// One file or folder of the tree, as the walk hands it over.
struct TreeItem {
  const diskimage::DirectoryEntry* entry;
  const char* name;   // its output name in its folder
  const char* shown;  // the disk's label, the folder's path and the name, for diagnostics
  char type[8];       // type and attributes, as listed
  // Files only: the bytes read (at most the walk's capacity) and what was wrong with them.
  const unsigned char* bytes;
  int64_t length;
  diskimage::ChainDamage damage;
};

struct DiskTree;

// The memory a walk reads files into: grown to the largest disk's data area of the run, kept for
// the run (a disk's data area is at most a few MB).
class TreeBuffer {
 public:
  TreeBuffer() = default;
  ~TreeBuffer();
  TreeBuffer(const TreeBuffer&) = delete;
  TreeBuffer& operator=(const TreeBuffer&) = delete;

  // Makes the buffer hold `size` bytes; false, the buffer unchanged, when memory runs out.
  bool Reserve(int64_t size);
  unsigned char* Bytes() const { return bytes; }

 private:
  unsigned char* bytes = nullptr;
  int64_t capacity = 0;
};

// What is done with the tree's items, in the order of the disk's directories.
class TreeVisitor {
 public:
  virtual void File(DiskTree& tree, const TreeItem& file) = 0;
  // A folder's own item, before anything below it.
  virtual void Folder(DiskTree& tree, const TreeItem& folder) = 0;
  // Unless the folder is nested too deep: makes it current; false (said) when it is not read.
  virtual bool Enter(DiskTree& tree, const TreeItem& folder) = 0;
  // After everything below the folder `name`: leaves it.
  virtual void Leave(DiskTree& tree, const diskimage::DirectoryEntry& folder, const char* name,
                     const char* shown) = 0;

 protected:
  ~TreeVisitor() = default;
};

struct DiskTree {
  diskimage::FileSystem* file_system;
  NameRegistry* names;
  TreeVisitor* visitor;
  // Where renamed entries, folders too deep and damaged folders are said; nullptr: not said.
  Diagnostics* diagnostics;
  bool list_only;          // renames are said as "would be written"
  bool raw_names;          // -r: the disk's bytes, not UTF-8
  const char* disk_label;  // "000/" before the paths in diagnostics ("" with -d)
  unsigned char* buffer;   // room for the longest chain of the disk
  int64_t capacity;
  char* path;  // kTreePathSize bytes: the folder being read, "" or "SUB/"
};

// Walks the folder at `cursor` and its subfolders (to kMaxFolderDepth), handing every entry to
// tree.visitor. tree.path holds the folder's path from the disk's folder; `folder_key` is its key
// in the registry of names. Bad chains, loops and damaged directories end as the file system's
// cursor and reads say; nothing is read outside the disk.
void WalkDirectory(DiskTree& tree, diskimage::DirectoryCursor& cursor, uint64_t folder_key,
                   int depth);

// Hands every file of a disk in one of the game layouts (kDskcut or kDskpull; `map` its sector
// map) to tree.visitor, named as the layout's program names it (made safe and kept apart as
// WalkDirectory's names are), with its recorded size; sectors not on the disk are zeros and said
// as damage. tree.capacity must hold LayoutCapacity(layout) bytes; tree.file_system is not used.
void WalkLayout(DiskTree& tree, const diskimage::DiskMap& map, diskimage::FileSystemKind layout,
                uint64_t folder_key);

// True when the walks read the disk identified as `kind`: `file_system` is mounted on it, or it
// holds a game layout.
bool WalksDisk(const diskimage::FileSystem& file_system, diskimage::FileSystemKind kind);

// The bytes tree.capacity must hold for such a disk: its data area, or the layout's data tracks.
int64_t DiskDataBytes(const diskimage::FileSystem& file_system, diskimage::FileSystemKind kind);

// Walks such a disk from its root: WalkDirectory over tree.file_system, or WalkLayout over `map`.
void WalkDisk(DiskTree& tree, const diskimage::DiskMap& map, diskimage::FileSystemKind kind,
              uint64_t folder_key);

// Says what `damage` holds, as a list of phrases ("its chain loops, 2 sectors missing (...)");
// `recorded` is the file's recorded size, or -1 for a folder.
void DescribeDamage(const diskimage::ChainDamage& damage, int64_t recorded, char* text,
                    size_t size);

#endif  // COMMON_WRITING_DISK_TREE_H_
