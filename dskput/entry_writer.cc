// Host files and folders added to a disk in memory, one entry at a time, each checked against
// the disk's name rules and the entries already there.
#include "dskput/entry_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/host/file_info.h"
#include "common/host/folder_listing.h"
#include "diskimage/names.h"
#include "dskput/host_file.h"

namespace {

using diskimage::AddRefusal;
using diskimage::DirectoryCursor;
using diskimage::DirectoryEntry;

constexpr size_t kPathSize = 4096;

// A file's bytes: more than any disk holds, and room for the 1Ah a text file is given.
constexpr size_t kMostFileBytes = size_t{4} << 20;
unsigned char file_bytes[kMostFileBytes + 1];

// The name of `entry` as a NUL-terminated string (names hold no NUL the rules let in).
const char* EntryName(const DirectoryEntry& entry) {
  return reinterpret_cast<const char*>(entry.name);
}

// `name` (code page 932) in UTF-8 for messages, into `utf8` (`size` bytes).
const char* Shown(const char* name, char* utf8, size_t size) {
  int columns;
  if (diskimage::ShiftJisToUtf8(name, utf8, size, columns) < 0) snprintf(utf8, size, "%s", name);
  return utf8;
}

}  // namespace

EntryWriter::EntryWriter(Diagnostics& diagnostics, diskimage::FileSystem& fs, unsigned char* image,
                         size_t image_size, int disk, const AddOptions& options)
    : diagnostics(diagnostics), fs(fs), image(image), image_size(image_size), options(options) {
  snprintf(where, sizeof where, "disk %d", disk);
}

bool EntryWriter::FindEntry(const DirectoryEntry* folder, const char* name, DirectoryEntry& found) {
  // A cursor holds a sector and a long name: kept off the stack of a deep tree's walk.
  static DirectoryCursor cursor;
  fs.ForgetClaims();
  if (folder == nullptr) {
    fs.Root(cursor);
  } else {
    fs.Subdirectory(*folder, cursor);
  }
  while (fs.NextEntry(cursor, found)) {
    if (diskimage::SameIgnoringAsciiCase(EntryName(found), name)) return true;
  }
  return false;
}

bool EntryWriter::FindFolder(const char* path, DirectoryEntry& folder) {
  const DirectoryEntry* parent = nullptr;
  char part[kPathSize], sjis[kPathSize];
  for (const char* at = path; *at != '\0';) {
    const char* end = strchr(at, '/');
    const size_t length = end != nullptr ? static_cast<size_t>(end - at) : strlen(at);
    if (length > 0) {
      snprintf(part, sizeof part, "%.*s", static_cast<int>(length), at);
      DirectoryEntry found;
      if (diskimage::Utf8ToShiftJis(part, sjis, sizeof sjis) < 0 ||
          !FindEntry(parent, sjis, found) || !found.directory) {
        diagnostics.Report(where, "has no folder %s", path);
        return false;
      }
      folder = found;
      parent = &folder;
    }
    at += length + (end != nullptr ? 1 : 0);
  }
  if (parent == nullptr) {
    diagnostics.Report(where, "--to names no folder: \"%s\"", path);
    return false;
  }
  return true;
}

void EntryWriter::SayRefusal(const AddRefusal& refusal, const char* name, int64_t size) {
  char shown[kPathSize];
  Shown(name, shown, sizeof shown);
  const diskimage::FileSystemKind kind = fs.Kind();
  switch (refusal.reason) {
    case AddRefusal::kNoRoom:
      diagnostics.Report(where, "%lld bytes free, %s needs %lld",
                         static_cast<long long>(refusal.bytes_free), shown,
                         static_cast<long long>(refusal.bytes_needed));
      stopped = true;
      break;
    case AddRefusal::kDirectoryFull:
      diagnostics.Report(where, "the folder of %s has no free entry", shown);
      stopped = true;
      break;
    case AddRefusal::kDamaged:
      diagnostics.Report(where, "the folder or table %s would go in is damaged", shown);
      stopped = true;
      break;
    case AddRefusal::kNotWritable:
      diagnostics.Report(where,
                         "a sector %s needs is missing or not stored as written (dskconv "
                         "converts the image into one that is)",
                         shown);
      stopped = true;
      break;
    case AddRefusal::kTooLarge:
      diagnostics.Report(where, "%s is %lld bytes, more than %s records", shown,
                         static_cast<long long>(size), diskimage::FileSystemName(kind));
      break;
    case AddRefusal::kNotSupported:
    case AddRefusal::kNone:
      diagnostics.Report(where, "%s adds no %s here", diskimage::FileSystemName(kind), shown);
      break;
  }
  ++refused;
}

void EntryWriter::Add(const char* path, const DirectoryEntry* folder, const char* folder_path,
                      int depth, int listed) {
  if (stopped) return;
  FileInfo info;
  info.directory = listed == 1;
  if (listed < 0 && !HostFileInfo(path, info)) {
    diagnostics.Report(path, "cannot be read: %s", strerror(errno));
    ++refused;
    return;
  }
  // The name on the disk, from the host's (UTF-8) in code page 932 and the disk's rules.
  char trimmed[kPathSize], sjis[kPathSize], rule[160];
  snprintf(trimmed, sizeof trimmed, "%s", path);
  for (size_t n = strlen(trimmed); n > 1 && IsPathSeparator(trimmed[n - 1]);) {
    trimmed[--n] = '\0';  // "folder/"
  }
  const char* host_name = BaseName(trimmed);
  diskimage::EntryName formed;
  if (diskimage::Utf8ToShiftJis(host_name, sjis, sizeof sjis) < 0) {
    diagnostics.Report(path, "its name has a character code page 932 has not; not added");
    ++refused;
    return;
  }
  if (!diskimage::FormEntryName(fs.Kind(), sjis, info.directory, options.rename, formed, rule,
                                sizeof rule)) {
    diagnostics.Report(path, "%s%s; not added", rule,
                       options.rename || info.directory ? "" : " (--rename shortens it)");
    ++refused;
    return;
  }
  char disk_path[kPathSize], shown[kPathSize];
  snprintf(disk_path, sizeof disk_path, "%s%s", folder_path, formed.shown);
  if (formed.changed)
    diagnostics.Warn("%s: written as %s", path, Shown(disk_path, shown, sizeof shown));

  DirectoryEntry existing;
  const bool exists = FindEntry(folder, formed.shown, existing);
  if (info.directory) {
    if (exists && !existing.directory) {
      diagnostics.Report(path, "the disk has a file %s; not added",
                         Shown(disk_path, shown, sizeof shown));
      ++refused;
      return;
    }
    if (depth >= diskimage::kMaxFolderDepth) {
      diagnostics.Report(path, "folders nested deeper than %d are not added",
                         diskimage::kMaxFolderDepth);
      ++refused;
      return;
    }
    DirectoryEntry added_folder = existing;
    if (!exists) {
      diskimage::NewEntry entry = {};
      memcpy(entry.name, formed.stored, sizeof entry.name);
      entry.directory = true;
      entry.has_date = HostFileDate(path, entry.date);
      AddRefusal refusal = {};
      if (!fs.AddEntry(image, image_size, folder, entry, added_folder, refusal)) {
        SayRefusal(refusal, disk_path, 0);
        return;
      }
      ++added;
      printf("%s -> %s/\n", path, Shown(disk_path, shown, sizeof shown));
    }
    FolderNames names;
    if (!ListFolder(path, names, true)) {
      diagnostics.Report(path, "cannot read the folder: %s", strerror(errno));
      ++refused;
      return;
    }
    names.Sort();
    char below[kPathSize], below_disk[kPathSize + 1];
    snprintf(below_disk, sizeof below_disk, "%s/", disk_path);
    for (size_t i = 0; i < names.count && !stopped; ++i) {
      const size_t length = strlen(path);
      const bool separated = length > 0 && IsPathSeparator(path[length - 1]);
      if (snprintf(below, sizeof below, "%s%s%s", path, separated ? "" : "/", names.Name(i)) >=
          static_cast<int>(sizeof below)) {
        diagnostics.Report(path, "a name inside makes too long a path; not added");
        ++refused;
        continue;
      }
      Add(below, &added_folder, below_disk, depth + 1, names.Folder(i) ? 1 : 0);
    }
    return;
  }
  if (exists && !options.replace) {
    diagnostics.Report(path, "the disk has %s already; not added (--replace replaces it)",
                       Shown(disk_path, shown, sizeof shown));
    ++refused;
    return;
  }
  if (exists) {
    AddRefusal refusal = {};
    if (existing.directory || !fs.RemoveEntry(image, image_size, existing, refusal)) {
      diagnostics.Report(
          path, "the disk's %s %s; not replaced", Shown(disk_path, shown, sizeof shown),
          existing.directory                           ? "is a folder"
          : refusal.reason == AddRefusal::kDamaged     ? "is damaged"
          : refusal.reason == AddRefusal::kNotWritable ? "lies in sectors not stored as written"
                                                       : "cannot be removed");
      ++refused;
      return;
    }
  }
  diskimage::NewEntry entry = {};
  memcpy(entry.name, formed.stored, sizeof entry.name);
  size_t size = 0;
  const int error = ReadHostFile(path, file_bytes, kMostFileBytes, size, &entry.date);
  if (error == EFBIG) {
    const AddRefusal refusal = {AddRefusal::kNoRoom, fs.FreeClusters() * fs.ClusterBytes(),
                                static_cast<int64_t>(size)};
    SayRefusal(refusal, disk_path, static_cast<int64_t>(size));
    return;
  }
  if (error != 0) {
    diagnostics.Report(path, "cannot be read: %s", strerror(error));
    ++refused;
    return;
  }
  if (!diskimage::ChooseFileType(fs.Kind(), options.type, sjis, file_bytes,
                                 static_cast<int64_t>(size), entry, rule, sizeof rule)) {
    diagnostics.Report(path, "--type: %s; not added", rule);
    ++refused;
    return;
  }
  if (entry.ascii && (size == 0 || file_bytes[size - 1] != 0x1A)) file_bytes[size++] = 0x1A;
  entry.has_date = true;
  entry.data = file_bytes;
  entry.size = static_cast<int64_t>(size);
  entry.load_address = options.load_address;
  entry.exec_address = options.exec_address;
  DirectoryEntry added_file;
  AddRefusal refusal = {};
  if (!fs.AddEntry(image, image_size, folder, entry, added_file, refusal)) {
    SayRefusal(refusal, disk_path, static_cast<int64_t>(size));
    return;
  }
  ++added;
  printf("%s -> %s\n", path, Shown(disk_path, shown, sizeof shown));
}
