// Folders and archives walked for images.
#include "common/collections/collection.h"

#include <cstdio>
#include <cstring>

#include "common/collections/archive_walk.h"
#include "common/collections/image_folder.h"
#include "common/host/file_info.h"

namespace {

// What a walk met: the images handed over and the files passed over by their names.
struct WalkCounts {
  bool every_file;
  int64_t images;
  int64_t passed_over;
};

// Hands the images of an archive over, under the archive's names.
class ArchiveImages final : public ArchiveVisitor {
 public:
  ArchiveImages(const char* path, const char* folder, CollectionVisitor& visitor,
                WalkCounts& counts)
      : path(path), folder(folder), visitor(visitor), counts(counts) {}

  void VisitMember(const char* member, const char* member_folder, const unsigned char* bytes,
                   size_t size) override {
    char shown[kCollectionNameSize];
    snprintf(shown, sizeof shown, "%s:%s", path, member);
    char full_folder[kCollectionNameSize];
    snprintf(full_folder, sizeof full_folder, "%s/%s", folder, member_folder);
    ++counts.images;
    visitor.VisitImage({nullptr, shown, full_folder, bytes, size, path});
  }
  bool EveryFile() const override { return counts.every_file; }
  void PassOver() override { ++counts.passed_over; }

 private:
  const char* path;
  const char* folder;
  CollectionVisitor& visitor;
  WalkCounts& counts;
};

// Walks the archive `path`, whose folder is `folder`.
void WalkArchiveImages(const char* path, const char* folder, Diagnostics& diagnostics,
                       CollectionVisitor& visitor, WalkCounts& counts) {
  ArchiveImages images(path, folder, visitor, counts);
  WalkArchive(path, diagnostics, images);
}

// Hands over the images and archives found in a folder, under `root`.
class FolderImages final : public ImageVisitor {
 public:
  FolderImages(const char* root, Diagnostics& diagnostics, CollectionVisitor& visitor,
               WalkCounts& counts)
      : root(root), diagnostics(diagnostics), visitor(visitor), counts(counts) {}

  void Visit(const char* path, const char* relative) override {
    char folder[kCollectionNameSize];
    snprintf(folder, sizeof folder, "%s/%s", root, relative);
    if (ArchiveExtensionLength(relative) > 0) {
      WalkArchiveImages(path, folder, diagnostics, visitor, counts);
    } else {
      ++counts.images;
      visitor.VisitImage({path, path, folder, nullptr, 0, path});
    }
  }
  bool EveryFile() const override { return counts.every_file; }
  void PassOver() override { ++counts.passed_over; }

 private:
  const char* root;
  Diagnostics& diagnostics;
  CollectionVisitor& visitor;
  WalkCounts& counts;
};

bool IsFolder(const char* path) {
  FileInfo info;
  return strcmp(path, "-") != 0 && GetFileInfo(path, info) && info.directory;
}

}  // namespace

bool IsCollection(const char* path) {
  return IsFolder(path) || (ArchivesAvailable() && ArchiveExtensionLength(path) > 0);
}

int64_t WalkCollection(const char* path, bool every_file, Diagnostics& diagnostics,
                       CollectionVisitor& visitor) {
  WalkCounts counts = {every_file, 0, 0};
  if (IsFolder(path)) {
    FolderImages images(BaseName(path)[0] != '\0' ? BaseName(path) : "images", diagnostics, visitor,
                        counts);
    WalkImageFolder(path, diagnostics, images);
  } else if (ArchivesAvailable() && ArchiveExtensionLength(path) > 0) {
    WalkArchiveImages(path, BaseName(path), diagnostics, visitor, counts);
  } else {
    visitor.VisitImage({path, path, BaseName(path), nullptr, 0, path});
    return 0;
  }
  if (counts.images == 0 && counts.passed_over == 0) {
    diagnostics.Report(path, "holds no disk image");
  } else if (counts.images == 0) {
    diagnostics.Report(path,
                       "holds no disk image; %lld file%s passed over by %s name (--all tries "
                       "every file)",
                       static_cast<long long>(counts.passed_over),
                       counts.passed_over == 1 ? "" : "s",
                       counts.passed_over == 1 ? "its" : "their");
  }
  return counts.images > 0 ? counts.passed_over : 0;
}

void NotePassedOver(Diagnostics& diagnostics, int64_t passed_over) {
  if (passed_over == 0) return;
  diagnostics.Note("%lld file%s passed over as no disk image by %s name (--all tries every file)",
                   static_cast<long long>(passed_over), passed_over == 1 ? "" : "s",
                   passed_over == 1 ? "its" : "their");
}
