// Folders and archives walked for images.
#include "extraction/collection.h"

#include <cstdio>
#include <cstring>

#include "extraction/archive_walk.h"
#include "extraction/file_info.h"
#include "extraction/image_folder.h"

namespace {

constexpr size_t kNameSize = 8192;

// Hands the images of an archive over, under the archive's names.
class ArchiveImages final : public ArchiveVisitor {
 public:
  ArchiveImages(const char* path, const char* folder, CollectionVisitor& visitor)
      : path(path), folder(folder), visitor(visitor) {}

  void VisitMember(const char* member, const char* member_folder, const unsigned char* bytes,
                   size_t size) override {
    char shown[kNameSize];
    snprintf(shown, sizeof shown, "%s:%s", path, member);
    char full_folder[kNameSize];
    snprintf(full_folder, sizeof full_folder, "%s/%s", folder, member_folder);
    visitor.VisitImage({nullptr, shown, full_folder, bytes, size, path});
  }

 private:
  const char* path;
  const char* folder;
  CollectionVisitor& visitor;
};

// Walks the archive `path`, whose folder is `folder` with its extension.
void WalkArchiveImages(const char* path, const char* folder, Diagnostics& diagnostics,
                       CollectionVisitor& visitor) {
  char stem[kNameSize];
  snprintf(stem, sizeof stem, "%s", folder);
  const size_t length = strlen(stem);
  const size_t extension = ArchiveExtensionLength(stem);
  stem[extension < length ? length - extension : length] = '\0';
  ArchiveImages images(path, stem, visitor);
  WalkArchive(path, diagnostics, images);
}

// Hands over the images and archives found in a folder, under `root`.
class FolderImages final : public ImageVisitor {
 public:
  FolderImages(const char* root, Diagnostics& diagnostics, CollectionVisitor& visitor)
      : root(root), diagnostics(diagnostics), visitor(visitor) {}

  void Visit(const char* path, const char* relative) override {
    char folder[kNameSize];
    snprintf(folder, sizeof folder, "%s/%s", root, relative);
    if (ArchiveExtensionLength(relative) > 0) {
      WalkArchiveImages(path, folder, diagnostics, visitor);
    } else {
      visitor.VisitImage({path, path, folder, nullptr, 0, path});
    }
  }

 private:
  const char* root;
  Diagnostics& diagnostics;
  CollectionVisitor& visitor;
};

bool IsFolder(const char* path) {
  FileInfo info;
  return strcmp(path, "-") != 0 && GetFileInfo(path, info) && info.directory;
}

}  // namespace

bool IsCollection(const char* path) {
  return IsFolder(path) || (ArchivesAvailable() && ArchiveExtensionLength(path) > 0);
}

void WalkCollection(const char* path, Diagnostics& diagnostics, CollectionVisitor& visitor) {
  if (IsFolder(path)) {
    FolderImages images(BaseName(path)[0] != '\0' ? BaseName(path) : "images", diagnostics,
                        visitor);
    WalkImageFolder(path, diagnostics, images);
  } else if (ArchivesAvailable() && ArchiveExtensionLength(path) > 0) {
    WalkArchiveImages(path, BaseName(path), diagnostics, visitor);
  } else {
    visitor.VisitImage({path, path, BaseName(path), nullptr, 0, path});
  }
}
