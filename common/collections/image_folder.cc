// Walking a folder tree for disk images.
#include "common/collections/image_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/collections/archive_walk.h"
#include "common/host/folder_listing.h"

namespace {

constexpr const char* kImageExtensions[] = {"d88", "d77", "d68", "d98", "88d", "d8u", "1dd", "2d",
                                            "2dd", "2hd", "hdm", "xdf", "dup", "hdb", "ddb", "hd4",
                                            "hd5", "dd6", "dd9", "img", "ima", "dsk", "bin", "tfd",
                                            "dim", "fdi", "nfd", "dcp", "dcu", "imd", "fdd", "td0"};

constexpr size_t kPathSize = 4096;

void Walk(char* path, size_t path_length, size_t root_length, int depth, Diagnostics& diagnostics,
          ImageVisitor& visitor) {
  FolderNames names;
  if (!ListFolder(path, names)) {
    diagnostics.Report(path, "cannot read the folder: %s; passed over", strerror(errno));
    return;
  }
  names.Sort();
  for (size_t i = 0; i < names.count; ++i) {
    const char* name = names.Name(i);
    const size_t length = strlen(name);
    if (path_length + 1 + length >= kPathSize) {
      diagnostics.Report(path, "a name inside makes too long a path; passed over");
      continue;
    }
    path[path_length] = '/';
    memcpy(path + path_length + 1, name, length + 1);
    if (names.Folder(i)) {
      if (depth + 1 < kMaxImageFolderDepth) {
        Walk(path, path_length + 1 + length, root_length, depth + 1, diagnostics, visitor);
      } else {
        diagnostics.Report(path, "folders nested deeper than %d are not read",
                           kMaxImageFolderDepth);
      }
    } else if (HasImageExtension(name) || visitor.EveryFile() ||
               (ArchivesAvailable() && ArchiveExtensionLength(name) > 0)) {
      visitor.Visit(path, path + root_length + 1);
    } else {
      visitor.PassOver();
    }
    path[path_length] = '\0';
  }
}

}  // namespace

bool HasImageExtension(const char* name) {
  const char* dot = strrchr(name, '.');
  if (dot == nullptr || dot == name) return false;
  for (const char* extension : kImageExtensions) {
    size_t i = 0;
    while (extension[i] != '\0' && dot[1 + i] != '\0' && (dot[1 + i] | 0x20) == extension[i]) {
      ++i;
    }
    if (extension[i] == '\0' && dot[1 + i] == '\0') return true;
  }
  return false;
}

void WalkImageFolder(const char* root, Diagnostics& diagnostics, ImageVisitor& visitor) {
  char path[kPathSize];
  size_t length = strlen(root);
  if (length >= kPathSize) {
    diagnostics.Report(root, "too long a path; passed over");
    return;
  }
  memcpy(path, root, length + 1);
  while (length > 1 && path[length - 1] == '/') path[--length] = '\0';
  Walk(path, length, length, 0, diagnostics, visitor);
}
