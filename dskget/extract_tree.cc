// The tree of a disk's file system, listed and written.
#include "dskget/extract_tree.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "extraction/file_time.h"
#include "extraction/save_file.h"
#include "extraction/working_directory.h"

namespace {

using diskimage::ChainDamage;
using diskimage::DirectoryEntry;
using diskimage::FileSystemKind;

// The entry's type and attributes in at most 7 characters.
void FormatType(FileSystemKind kind, const DirectoryEntry& e, char* type) {
  const int a = e.attributes;
  switch (kind) {
    case FileSystemKind::kFat12:
    case FileSystemKind::kHuman68k:
      snprintf(type, 8, "%c%c%c%c%c", e.directory ? 'd' : '-', a & 0x01 ? 'r' : '-',
               a & 0x02 ? 'h' : '-', a & 0x04 ? 's' : '-', a & 0x20 ? 'a' : '-');
      break;
    case FileSystemKind::kN88Basic:
      snprintf(type, 8, "%s%s%s",
               a & 0x80   ? "bas"
               : a & 0x01 ? "bin"
                          : "asc",
               a & 0x10 ? " r" : "", a & 0x40 ? "v" : "");
      break;
    case FileSystemKind::kHuBasic:
      snprintf(type, 8, "%s%s%s",
               e.directory ? "dir"
               : e.ascii   ? "asc"
               : a & 0x02  ? "bas"
                           : "bin",
               a & 0x40 ? " r" : "", a & 0x10 ? "h" : "");
      break;
    case FileSystemKind::kFBasic:
      snprintf(type, 8, "%s%s", a == 0 ? "bas" : a == 1 ? "dat" : "bin", e.ascii ? " a" : "");
      break;
    case FileSystemKind::kCpm:
      if (e.directory) {
        snprintf(type, 8, "user");
      } else {
        snprintf(type, 8, "%c%c%c", a & 0x01 ? 'r' : '-', a & 0x02 ? 's' : '-',
                 a & 0x04 ? 'a' : '-');
      }
      break;
    case FileSystemKind::kMzBasic:
      snprintf(type, 8, "%s", a == 1 ? "obj" : a == 2 ? "btx" : a == 3 ? "bsd" : "brd");
      break;
    default:
      snprintf(type, 8, "?");
  }
}

// Says what `damage` holds, as a list of phrases.
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

void PrintLine(const char* type, const DirectoryEntry& e, int64_t size, const char* path,
               const char* name) {
  char date[32] = "-";
  if (e.has_date) {
    snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", e.date.year % 10000, e.date.month % 100,
             e.date.day % 100, e.date.hour % 100, e.date.minute % 100);
  }
  if (size >= 0) {
    printf("%10" PRId64 "  %-7s %-16s  %s%s%s\n", size, type, date, path, name,
           e.directory ? "/" : "");
  } else {
    printf("%10s  %-7s %-16s  %s%s/\n", "-", type, date, path, name);
  }
}

void SetTime(TreeRun& tree, const char* name, const DirectoryEntry& e, const char* shown) {
  if (!e.has_date || tree.run->list_only) return;
  const int error = SetModificationTime(name, !tree.raw_names, e.date.year, e.date.month,
                                        e.date.day, e.date.hour, e.date.minute, e.date.second);
  if (error != 0) {
    tree.run->diagnostics.Report(shown, "its date could not be set: %s", strerror(error));
  }
}

// Reads the file, lists it with the bytes it gets, reports its damage and writes it.
void ExtractFile(TreeRun& tree, const DirectoryEntry& e, const char* name, const char* shown,
                 const char* type) {
  ChainDamage damage;
  const int64_t length = tree.file_system->ReadFile(e, tree.buffer, tree.capacity, damage);
  const int64_t written = length < tree.capacity ? length : tree.capacity;
  PrintLine(type, e, written, tree.path, name);
  if (damage.Any()) {
    char text[512];
    DescribeDamage(damage, e.size, text, sizeof text);
    tree.run->diagnostics.Report(shown, "damaged: %s; %" PRId64 " bytes written", text, written);
  }
  if (tree.run->list_only) return;
  const FilePiece piece = {tree.buffer, static_cast<size_t>(written)};
  const int error = SaveFile(name, &piece, 1, tree.run->image, !tree.raw_names);
  if (error == kSaveWouldReplaceKeptFile) {
    tree.run->diagnostics.Report(shown, "is the image being read; not overwritten");
  } else if (error != 0) {
    tree.run->diagnostics.Report(shown, "cannot be written: %s", strerror(error));
  } else {
    SetTime(tree, name, e, shown);
  }
}

// Lists the folder, creates and enters it, extracts what it holds and comes back.
void ExtractFolder(TreeRun& tree, const DirectoryEntry& e, const char* name, const char* shown,
                   const char* type, uint64_t parent_key, int depth) {
  PrintLine(type, e, -1, tree.path, name);
  ExtractionRun& run = *tree.run;
  if (depth + 1 >= diskimage::kMaxFolderDepth) {
    run.diagnostics.Report(shown, "folders nested deeper than %d are not read",
                           diskimage::kMaxFolderDepth);
    return;
  }
  if (!run.list_only) {
    const int error = EnterSubfolder(name, !tree.raw_names);
    if (error != 0) {
      run.diagnostics.Report(shown, "cannot create or enter the folder: %s; not read",
                             strerror(error));
      return;
    }
  }
  // The entry, the names and the diagnostic name are the caller's, which the folder's own
  // entries reuse: what is needed afterwards is kept here.
  const DirectoryEntry folder = e;
  char folder_name[kOutputNameSize];
  snprintf(folder_name, sizeof folder_name, "%s", name);
  const size_t path_length = strlen(tree.path);
  snprintf(tree.path + path_length, kTreePathSize - path_length, "%s/", name);
  diskimage::DirectoryCursor below;
  tree.file_system->Subdirectory(folder, below);
  ExtractDirectory(tree, below, NameRegistry::FolderKey(parent_key, folder_name), depth + 1);
  tree.path[path_length] = '\0';
  if (run.list_only) return;
  char again[kTreePathSize];
  snprintf(again, sizeof again, "%s%s%s", tree.disk_label, tree.path, folder_name);
  const int error = LeaveSubfolder();
  if (error != 0) {
    run.diagnostics.Report(again, "cannot return from the folder: %s", strerror(error));
    return;
  }
  SetTime(tree, folder_name, folder, again);
}

}  // namespace

void ExtractDirectory(TreeRun& tree, diskimage::DirectoryCursor& cursor, uint64_t folder_key,
                      int depth) {
  ExtractionRun& run = *tree.run;
  DirectoryEntry entry;
  while (tree.file_system->NextEntry(cursor, entry)) {
    char formed[kOutputNameSize];
    char name[kOutputNameSize];
    const bool made_safe = FormOutputName(entry, tree.raw_names, formed, name);
    char shown[kTreePathSize];
    snprintf(shown, sizeof shown, "%s%s%s", tree.disk_label, tree.path, formed);
    const char* verb = run.list_only ? "would be written" : "written";
    if (made_safe) {
      run.diagnostics.Report(shown, "%s as \"%s\" to stay a plain file name", verb, name);
    }
    if (tree.names->MakeUnique(folder_key, name)) {
      run.diagnostics.Report(shown, "an earlier entry has this name; %s as \"%s\"", verb, name);
    }
    snprintf(shown, sizeof shown, "%s%s%s", tree.disk_label, tree.path, name);
    char type[8];
    FormatType(tree.file_system->Kind(), entry, type);
    if (entry.directory) {
      ExtractFolder(tree, entry, name, shown, type, folder_key, depth);
    } else {
      ExtractFile(tree, entry, name, shown, type);
    }
  }
  const ChainDamage& damage = cursor.damage;
  if (!damage.Any() && cursor.invalid_entries == 0) return;
  char folder[kTreePathSize];
  snprintf(folder, sizeof folder, "%s%s", tree.disk_label,
           tree.path[0] != '\0' ? tree.path : "(root)");
  if (cursor.invalid_entries > 0) {
    run.diagnostics.Report(folder, "%d directory entr%s not read: no file or folder of %s holds %s",
                           cursor.invalid_entries, cursor.invalid_entries == 1 ? "y" : "ies",
                           diskimage::FileSystemName(tree.file_system->Kind()),
                           cursor.invalid_entries == 1 ? "its bytes" : "their bytes");
  }
  if (damage.Any()) {
    char text[512];
    DescribeDamage(damage, -1, text, sizeof text);
    run.diagnostics.Report(folder, "folder damaged: %s; entries after the damage not read", text);
  }
}
