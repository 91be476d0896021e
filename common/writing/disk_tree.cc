// The walk of a disk's directory tree, with the names, types and damage that dskget lists.
#include "common/writing/disk_tree.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "diskimage/game_layouts.h"

namespace {

using diskimage::ChainDamage;
using diskimage::DirectoryEntry;
using diskimage::FileSystemKind;

}  // namespace

TreeBuffer::~TreeBuffer() { free(bytes); }

bool TreeBuffer::Reserve(int64_t size) {
  if (size <= capacity) return true;
  void* larger = realloc(bytes, static_cast<size_t>(size));
  if (larger == nullptr) return false;
  bytes = static_cast<unsigned char*>(larger);
  capacity = size;
  return true;
}

void DescribeDamage(const ChainDamage& d, int64_t recorded, char* text, size_t size) {
  size_t length = 0;
  const auto add = [&](const char* phrase) {
    if (length < size) {
      length += static_cast<size_t>(
          snprintf(text + length, size - length, "%s%s", length > 0 ? ", " : "", phrase));
    }
  };
  char phrase[96];
  if (d.loops) add("its chain loops");
  if (d.leaves_disk) add("its chain leaves the disk");
  if (d.ends_early) add("its chain ends before its end mark");
  if (d.invalid_link) add("its chain meets a table entry that holds no link");
  if (d.shared) add("it shares clusters with another file or folder");
  if (d.over_budget) add("the disk's chains read more than 8 times its size: not read on");
  if (d.outside_data) add("a block it needs lies outside the data area (zeros in its place)");
  if (d.extents_missing) add("an entry of its extents is missing or recorded twice");
  if (d.storage_unknown) add("a data file whose storage is not documented: not read");
  if (d.size_beyond_chain) {
    snprintf(phrase, sizeof phrase, "its recorded size (%" PRId64 ") is larger than its chain",
             recorded);
    add(phrase);
  }
  if (d.missing_sectors > 0) {
    snprintf(phrase, sizeof phrase, "%d sector%s missing (zeros in their place)", d.missing_sectors,
             d.missing_sectors == 1 ? "" : "s");
    add(phrase);
  }
  if (d.error_sectors > 0) {
    snprintf(phrase, sizeof phrase, "%d sector%s with a CRC error status", d.error_sectors,
             d.error_sectors == 1 ? "" : "s");
    add(phrase);
  }
}

namespace {

// Writes `label`, `path` and `name` one after another into `out` (kTreePathSize bytes), cut to
// fit; done for every entry, without printf's cost.
void Join(char* out, const char* label, const char* path, const char* name) {
  size_t length = 0;
  for (const char* part : {label, path, name}) {
    const size_t size = std::min(strlen(part), kTreePathSize - 1 - length);
    memcpy(out + length, part, size);
    length += size;
  }
  out[length] = '\0';
}

// Forms the output name of `entry` in the folder tree.path (`folder_key`) into `name`, made safe
// and kept apart from the names before it (each change said), and what diagnostics call it into
// `shown` (kTreePathSize bytes).
void NameItem(DiskTree& tree, const DirectoryEntry& entry, uint64_t folder_key, char* name,
              char* shown) {
  char formed[kOutputNameSize];
  const bool made_safe = FormOutputName(entry, tree.raw_names, formed, name);
  Join(shown, tree.disk_label, tree.path, formed);
  const char* verb = tree.list_only ? "would be written" : "written";
  if (made_safe && tree.diagnostics != nullptr) {
    tree.diagnostics->Report(shown, "%s as \"%s\" to stay a plain file name", verb, name);
  }
  if (tree.names->MakeUnique(folder_key, name) && tree.diagnostics != nullptr) {
    tree.diagnostics->Report(shown, "an earlier entry has this name; %s as \"%s\"", verb, name);
  }
  Join(shown, tree.disk_label, tree.path, name);
}

// Hands over the folder, and unless it is too deep, everything below it.
void WalkFolder(DiskTree& tree, const TreeItem& item, uint64_t parent_key, int depth) {
  tree.visitor->Folder(tree, item);
  if (depth + 1 >= diskimage::kMaxFolderDepth) {
    if (tree.diagnostics != nullptr)
      tree.diagnostics->Report(item.shown, "folders nested deeper than %d are not read",
                               diskimage::kMaxFolderDepth);
    return;
  }
  if (!tree.visitor->Enter(tree, item)) return;
  // The entry, the names and the diagnostic name are the caller's, which the folder's own
  // entries reuse: what is needed afterwards is kept here.
  const DirectoryEntry folder = *item.entry;
  char folder_name[kOutputNameSize];
  snprintf(folder_name, sizeof folder_name, "%s", item.name);
  const size_t path_length = strlen(tree.path);
  snprintf(tree.path + path_length, kTreePathSize - path_length, "%s/", item.name);
  diskimage::DirectoryCursor below;
  tree.file_system->Subdirectory(folder, below);
  WalkDirectory(tree, below, NameRegistry::FolderKey(parent_key, folder_name), depth + 1);
  tree.path[path_length] = '\0';
  char again[kTreePathSize];
  snprintf(again, sizeof again, "%s%s%s", tree.disk_label, tree.path, folder_name);
  tree.visitor->Leave(tree, folder, folder_name, again);
}

}  // namespace

void WalkDirectory(DiskTree& tree, diskimage::DirectoryCursor& cursor, uint64_t folder_key,
                   int depth) {
  DirectoryEntry entry;
  while (tree.file_system->NextEntry(cursor, entry)) {
    char name[kOutputNameSize];
    char shown[kTreePathSize];
    NameItem(tree, entry, folder_key, name, shown);
    TreeItem item = {&entry, name, shown, {}, nullptr, 0, {}};
    tree.file_system->EntryType(entry, item.type);
    if (entry.directory) {
      WalkFolder(tree, item, folder_key, depth);
      continue;
    }
    const int64_t length =
        tree.file_system->ReadFile(entry, tree.buffer, tree.capacity, item.damage);
    item.bytes = tree.buffer;
    item.length = length < tree.capacity ? length : tree.capacity;
    tree.visitor->File(tree, item);
  }
  const ChainDamage& damage = cursor.damage;
  if (!damage.Any() && cursor.invalid_entries == 0) return;
  char folder[kTreePathSize];
  snprintf(folder, sizeof folder, "%s%s", tree.disk_label,
           tree.path[0] != '\0' ? tree.path : "(root)");
  if (cursor.invalid_entries > 0) {
    if (tree.diagnostics != nullptr)
      tree.diagnostics->Report(folder,
                               "%d directory entr%s not read: no file or folder of %s holds %s",
                               cursor.invalid_entries, cursor.invalid_entries == 1 ? "y" : "ies",
                               diskimage::FileSystemName(tree.file_system->Kind()),
                               cursor.invalid_entries == 1 ? "its bytes" : "their bytes");
  }
  if (damage.Any()) {
    char text[512];
    DescribeDamage(damage, -1, text, sizeof text);
    if (tree.diagnostics != nullptr)
      tree.diagnostics->Report(folder, "folder damaged: %s; entries after the damage not read",
                               text);
  }
}

void WalkLayout(DiskTree& tree, const diskimage::DiskMap& map, FileSystemKind layout,
                uint64_t folder_key) {
  diskimage::LayoutFile files[diskimage::kMaxLayoutFiles];
  const int count = diskimage::ReadLayoutDirectory(map, layout, files);
  for (int i = 0; i < count; ++i) {
    const diskimage::LayoutFile& file = files[i];
    DirectoryEntry entry = {};
    entry.name_length = static_cast<int>(strlen(file.name));
    memcpy(entry.name, file.name, static_cast<size_t>(entry.name_length) + 1);
    entry.size = file.size;
    char name[kOutputNameSize];
    char shown[kTreePathSize];
    NameItem(tree, entry, folder_key, name, shown);
    TreeItem item = {&entry, name, shown, "-", tree.buffer, 0, {}};
    if (file.size <= tree.capacity) {
      item.length =
          diskimage::ReadLayoutFile(map, layout, file, tree.buffer, item.damage.missing_sectors);
    }
    tree.visitor->File(tree, item);
  }
}

namespace {

bool IsLayout(const diskimage::FileSystem& file_system, FileSystemKind kind) {
  return file_system.Kind() == FileSystemKind::kUnknown &&
         (kind == FileSystemKind::kDskcut || kind == FileSystemKind::kDskpull);
}

}  // namespace

bool WalksDisk(const diskimage::FileSystem& file_system, FileSystemKind kind) {
  return file_system.Kind() != FileSystemKind::kUnknown || IsLayout(file_system, kind);
}

int64_t DiskDataBytes(const diskimage::FileSystem& file_system, FileSystemKind kind) {
  return IsLayout(file_system, kind)
             ? diskimage::LayoutCapacity(kind)
             : file_system.Layout().cluster_count * file_system.ClusterBytes();
}

void WalkDisk(DiskTree& tree, const diskimage::DiskMap& map, FileSystemKind kind,
              uint64_t folder_key) {
  if (IsLayout(*tree.file_system, kind)) {
    WalkLayout(tree, map, kind, folder_key);
    return;
  }
  diskimage::DirectoryCursor root;
  tree.file_system->Root(root);
  WalkDirectory(tree, root, folder_key, 0);
}
